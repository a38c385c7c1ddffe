#include "platform/pulse/midi_renderer.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <numbers>
#include <vector>

#include "platform/pulse/soundfont.h"

namespace platform::pulse {

namespace {

constexpr uint64_t kBlock = 64;                             // FluidSynth's internal block size
constexpr uint64_t kReverbTail = MidiRenderer::kRate / 10;  // reverb outlasts the voices ~65 ms
constexpr uint64_t kMaxTail = MidiRenderer::kMaxTailFrames;
constexpr int kSustain = 64, kSostenuto = 66, kAllNotesOff = 123;

void LogError(int, const char* message, void*) {
    std::fprintf(stderr, "fluidsynth: %s\n", message);
}

// FluidSynth talks a lot on stderr by default; only real errors are worth a line.
void QuietenFluidSynth() {
    static std::once_flag once;
    std::call_once(once, [] {
        fluid_set_log_function(FLUID_PANIC, LogError, nullptr);
        fluid_set_log_function(FLUID_ERR, LogError, nullptr);
        fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
        fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
        fluid_set_log_function(FLUID_DBG, nullptr, nullptr);
    });
}

// Says why no renderer could be made; null, for the caller to return.
std::nullptr_t Refuse(std::string* error, MidiRenderer::Failure* failure, const std::string& why,
                      MidiRenderer::Failure kind) {
    if (error) *error = why;
    if (failure) *failure = kind;
    return nullptr;
}

// FluidSynth's DLS fallback answers a non-SoundFont with glib noise, and its own refusal gives
// no reason: look first. SF2 and SF3 files alike start "RIFF....sfbk".
std::string SoundFontHeadProblem(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return std::strerror(errno);
    char head[12] = {};
    const bool riff = std::fread(head, 1, sizeof head, f) == sizeof head &&
                      std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "sfbk", 4) == 0;
    std::fclose(f);
    return riff ? "" : "not an SF2 file";
}

uint64_t SaturatingAdd(uint64_t a, uint64_t b) {
    return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

}  // namespace

struct MidiRenderer::Synth {
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    ~Synth() {
        if (synth) delete_fluid_synth(synth);
        if (settings) delete_fluid_settings(settings);
    }

    static std::unique_ptr<Synth> Make(const std::string& soundFont, std::string* error,
                                       Failure* failure) {
        auto fail = [&](const std::string& what, Failure kind = Failure::kSynthesizer) {
            return Refuse(error, failure, what, kind);
        };
        if (const std::string wrong = SoundFontHeadProblem(soundFont); !wrong.empty())
            return fail("cannot load the SoundFont " + soundFont + ": " + wrong,
                        Failure::kNoSoundFont);

        QuietenFluidSynth();
        auto s = std::make_unique<Synth>();
        s->settings = new_fluid_settings();
        if (!s->settings) return fail("cannot create the synthesizer's settings");
        fluid_settings_setnum(s->settings, "synth.sample-rate", kRate);
        // Reverb state depends on every sample it has seen; it comes on with the music (Start).
        fluid_settings_setint(s->settings, "synth.reverb.active", 0);
        fluid_settings_setint(s->settings, "synth.threadsafe-api", 0);
        fluid_settings_setint(s->settings, "synth.lock-memory", 0);
        // Headroom: dense General MIDI music stays below full scale at this gain (a typical
        // piece peaks near -8 dBFS), and the recording side, not the synthesizer, sets the
        // level of the file.
        fluid_settings_setnum(s->settings, "synth.gain", kSynthGain);
        s->synth = new_fluid_synth(s->settings);
        if (!s->synth) return fail("cannot create the synthesizer");
        if (fluid_synth_sfload(s->synth, soundFont.c_str(), 1) == FLUID_FAILED)
            return fail("cannot load the SoundFont " + soundFont + ": FluidSynth cannot read it",
                        Failure::kNoSoundFont);
        return s;
    }
};

std::unique_ptr<MidiRenderer> MidiRenderer::Create(
    std::shared_ptr<const platform::midi::SmfSong> song, const std::string& soundFont,
    std::string* error, Failure* failure) {
    if (!song) return Refuse(error, failure, "no MIDI song to render", Failure::kNoSong);
    std::string lookedFor;
    std::string path = soundFont.empty() ? FindSoundFont(&lookedFor) : soundFont;
    if (path.empty())
        return Refuse(error, failure, "no SoundFont found: looked for " + lookedFor,
                      Failure::kNoSoundFont);
    auto synth = Synth::Make(path, error, failure);
    if (!synth) return nullptr;
    if (failure) *failure = Failure::kNone;
    return std::unique_ptr<MidiRenderer>(
        new MidiRenderer(std::move(song), std::move(path), std::move(synth)));
}

MidiRenderer::MidiRenderer(std::shared_ptr<const platform::midi::SmfSong> song,
                           std::string soundFont, std::unique_ptr<Synth> synth)
    : song_(std::move(song)), soundFont_(std::move(soundFont)), synth_(std::move(synth)) {
    SetRecordingGain(1.0);
}

MidiRenderer::~MidiRenderer() = default;

void MidiRenderer::SetRecordingGain(double gain) {
    limiter_.SetCeiling(gain > 0 ? float(kCeiling / gain) : 0.0f);
}

void MidiRenderer::Start() {
    if (playing_) return;
    playing_ = true;
    fluid_synth_reverb_on(synth_->synth, -1, 1);
    if (primed_) return;
    // What comes out of the look-ahead now is its initial silence, which is no music.
    float ahead[2 * PeakLimiter::kLookAhead];
    Advance(ahead, PeakLimiter::kLookAhead);
    limiter_.Process(ahead, ahead, PeakLimiter::kLookAhead);
    primed_ = true;
}

void MidiRenderer::Stop() {
    playing_ = false;
    fluid_synth_all_sounds_off(synth_->synth, -1);
}

void MidiRenderer::Rewind() {
    playing_ = false;
    if (synthFrame_ == 0 && next_ == 0) {  // nothing has reached the synthesizer yet
        fluid_synth_reverb_on(synth_->synth, -1, 0);
        return;
    }
    const size_t rest = size_t((kBlock - synthFrame_ % kBlock) % kBlock);
    next_ = 0;
    synthFrame_ = 0;
    quietSince_ = UINT64_MAX;
    primed_ = false;
    released_ = false;
    limiter_.Reset();
    // A reset synthesizer still differs from a new one in the last bits (voice and filter state),
    // so a fresh one is made; the old one, still alive, lends it its cached samples.
    if (auto fresh = Synth::Make(soundFont_, nullptr, nullptr)) {
        synth_ = std::move(fresh);
        return;
    }
    // Drop the rest of the current block, made before the reset, to start on a block boundary.
    if (rest) {
        float scratch[2 * kBlock];
        fluid_synth_write_float(synth_->synth, int(rest), scratch, 0, 2, scratch, 1, 2);
    }
    fluid_synth_system_reset(synth_->synth);
    fluid_synth_reverb_on(synth_->synth, -1, 0);
}

bool MidiRenderer::Playing() const {
    return playing_;
}

uint64_t MidiRenderer::MusicFrame() const {
    return primed_ ? synthFrame_ - PeakLimiter::kLookAhead : synthFrame_;
}

uint32_t MidiRenderer::LengthMs() const {
    return song_->lengthMs;
}

// Judged at the output's frame, which the synthesizer is ahead of, so the music ends where it
// would without the look-ahead. An event at the frame reached is not handed over yet.
bool MidiRenderer::Finished() const {
    const uint64_t at = MusicFrame(), end = song_->lengthFrames;
    const auto& events = song_->events;
    if ((!events.empty() && events.back().frame >= at) || at < end) return false;
    if (at >= SaturatingAdd(end, kMaxTail)) return true;
    return quietSince_ != UINT64_MAX && at >= SaturatingAdd(quietSince_, kReverbTail);
}

void MidiRenderer::Render(float* out, size_t frames) {
    if (!playing_) {
        std::fill(out, out + 2 * frames, 0.0f);
        return;
    }
    const uint64_t from = MusicFrame();
    Advance(out, frames);
    limiter_.Process(out, out, frames);
    FadeAtTheCap(out, from, frames);
}

// A raised cosine from 1 to exactly 0 on the cap's last frame; nothing after it sounds.
void MidiRenderer::FadeAtTheCap(float* out, uint64_t from, size_t frames) const {
    const uint64_t cap = SaturatingAdd(song_->lengthFrames, kMaxTail), fadeFrom = cap - kFadeFrames;
    if (from + frames <= fadeFrom) return;
    for (size_t i = 0; i < frames; ++i) {
        const uint64_t at = from + i;
        if (at < fadeFrom) continue;
        const double into = double(at - fadeFrom + 1) / double(kFadeFrames);
        const float gain =
            at >= cap - 1 ? 0.0f : float(0.5 * (1 + std::cos(std::numbers::pi * into)));
        out[2 * i] *= gain;
        out[2 * i + 1] *= gain;
    }
}

void MidiRenderer::Advance(float* out, size_t frames) {
    const auto& events = song_->events;
    const uint64_t end = song_->lengthFrames;
    while (frames > 0) {
        while (next_ < events.size() && events[next_].frame <= synthFrame_)
            Dispatch(events[next_++]);
        if (!released_ && next_ == events.size() && synthFrame_ >= end) ReleaseHeld();
        uint64_t until = synthFrame_ + frames;
        if (next_ < events.size()) until = std::min(until, events[next_].frame);
        // After the end the voices are counted on every block boundary, so the end is found at
        // the same frame however the caller slices its renders.
        if (synthFrame_ < end)
            until = std::min(until, end);
        else
            until = std::min(until, (synthFrame_ / kBlock + 1) * kBlock);
        const size_t n = size_t(until - synthFrame_);
        Pull(out, n);
        out += 2 * n;
        frames -= n;
        WatchTail();
    }
}

void MidiRenderer::Pull(float* out, size_t frames) {
    fluid_synth_write_float(synth_->synth, int(frames), out, 0, 2, out, 1, 2);
    synthFrame_ += frames;
}

void MidiRenderer::WatchTail() {
    if (quietSince_ != UINT64_MAX || synthFrame_ < song_->lengthFrames || synthFrame_ % kBlock)
        return;
    if (fluid_synth_get_active_voice_count(synth_->synth) == 0) quietSince_ = synthFrame_;
}

// Only what is still held is let go, so a song that ends cleanly sounds exactly as before: the
// pedals first, so that notes still on are released rather than sustained.
void MidiRenderer::ReleaseHeld() {
    released_ = true;
    fluid_synth_t* s = synth_->synth;
    const int channels = fluid_synth_count_midi_channels(s);
    std::vector<bool> notesOn(size_t(std::max(channels, 0)));
    std::vector<fluid_voice_t*> voices(size_t(fluid_synth_get_polyphony(s)) + 1, nullptr);
    fluid_synth_get_voicelist(s, voices.data(), int(voices.size()), -1);
    for (const fluid_voice_t* v : voices) {
        if (!v) break;  // the list ends with a null
        const int ch = fluid_voice_get_channel(v);
        if (fluid_voice_is_on(v) && ch >= 0 && ch < channels) notesOn[size_t(ch)] = true;
    }
    for (int ch = 0; ch < channels; ++ch) {
        for (int pedal : {kSustain, kSostenuto}) {
            int value = 0;
            if (fluid_synth_get_cc(s, ch, pedal, &value) == FLUID_OK && value >= 64)
                fluid_synth_cc(s, ch, pedal, 0);
        }
        if (notesOn[size_t(ch)]) fluid_synth_cc(s, ch, kAllNotesOff, 0);
    }
}

void MidiRenderer::Dispatch(const platform::midi::MidiEvent& e) {
    fluid_synth_t* s = synth_->synth;
    const int ch = e.status & 0x0F;
    switch (e.status & 0xF0) {
        case 0x80:
            fluid_synth_noteoff(s, ch, e.data1);
            break;
        case 0x90:  // velocity 0 is a note-off, which FluidSynth knows
            fluid_synth_noteon(s, ch, e.data1, e.data2);
            break;
        case 0xA0:
            fluid_synth_key_pressure(s, ch, e.data1, e.data2);
            break;
        case 0xB0:
            fluid_synth_cc(s, ch, e.data1, e.data2);
            break;
        case 0xC0:
            fluid_synth_program_change(s, ch, e.data1);
            break;
        case 0xD0:
            fluid_synth_channel_pressure(s, ch, e.data1);
            break;
        case 0xE0:
            fluid_synth_pitch_bend(s, ch, e.data1 | e.data2 << 7);
            break;
        default:
            break;
    }
}

std::vector<float> RenderOffline(std::shared_ptr<const platform::midi::SmfSong> song,
                                 std::string* error, double recordingGain,
                                 const std::string& soundFont) {
    auto renderer = MidiRenderer::Create(std::move(song), soundFont, error);
    if (!renderer) return {};
    renderer->SetRecordingGain(recordingGain);
    std::vector<float> out;
    renderer->Start();
    while (!renderer->Finished()) {
        const size_t at = out.size();
        out.resize(at + 2 * MidiRenderer::kChunkFrames);
        renderer->Render(out.data() + at, MidiRenderer::kChunkFrames);
    }
    return out;
}

}  // namespace platform::pulse
