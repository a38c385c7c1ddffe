#include "platform/synth/midi_renderer.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "platform/synth/lent_synth.h"
#include "platform/synth/loaded_soundfont.h"

namespace platform::synth {

namespace {

constexpr uint64_t kBlock = 64;                             // FluidSynth's internal block size
constexpr uint64_t kReverbTail = MidiRenderer::kRate / 10;  // reverb outlasts the voices ~65 ms
constexpr uint64_t kMaxTail = MidiRenderer::kMaxTailFrames;
constexpr int kSustain = 64, kSostenuto = 66, kAllNotesOff = 123;

// Says why no renderer could be made; null, for the caller to return.
std::nullptr_t Refuse(std::string* error, MidiRenderer::Failure* failure, const std::string& why,
                      MidiRenderer::Failure kind) {
    if (error) *error = why;
    if (failure) *failure = kind;
    return nullptr;
}

uint64_t SaturatingAdd(uint64_t a, uint64_t b) {
    return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

}  // namespace

std::unique_ptr<MidiRenderer> MidiRenderer::Create(
    std::shared_ptr<const platform::midi::SmfSong> song, const std::string& soundFont,
    std::string* error, Failure* failure) {
    if (!song) return Refuse(error, failure, "no MIDI song to render", Failure::kNoSong);
    auto font = LoadedSoundFont::Load(soundFont, error, failure);
    if (!font) return nullptr;
    return Create(std::move(song), std::move(font), error, failure);
}

std::unique_ptr<MidiRenderer> MidiRenderer::Create(
    std::shared_ptr<const platform::midi::SmfSong> song, std::shared_ptr<LoadedSoundFont> font,
    std::string* error, Failure* failure) {
    if (!song) return Refuse(error, failure, "no MIDI song to render", Failure::kNoSong);
    auto synth = font->NewSynth();
    if (!synth)
        return Refuse(error, failure, "cannot create the synthesizer", Failure::kSynthesizer);
    if (failure) *failure = Failure::kNone;
    return std::unique_ptr<MidiRenderer>(
        new MidiRenderer(std::move(song), std::move(font), std::move(synth)));
}

MidiRenderer::MidiRenderer(std::shared_ptr<const platform::midi::SmfSong> song,
                           std::shared_ptr<LoadedSoundFont> font, std::unique_ptr<LentSynth> synth)
    : song_(std::move(song)), schedule_(song_), font_(std::move(font)), synth_(std::move(synth)) {
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
    if (synthFrame_ == 0 && schedule_.AtStart()) {  // nothing has reached the synthesizer yet
        fluid_synth_reverb_on(synth_->synth, -1, 0);
        return;
    }
    const size_t rest = size_t((kBlock - synthFrame_ % kBlock) % kBlock);
    schedule_.Rewind();
    synthFrame_ = 0;
    quietSince_ = UINT64_MAX;
    primed_ = false;
    released_ = false;
    limiter_.Reset();
    // A reset synthesizer still differs from a new one in the last bits (voice and filter state),
    // so a fresh one is made, with the SoundFont already loaded.
    if (auto fresh = font_->NewSynth()) {
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
    const uint64_t end = song_->lengthFrames;
    while (frames > 0) {
        schedule_.HandOverBefore(synthFrame_ + 1, *this);
        if (!released_ && schedule_.Done() && synthFrame_ >= end) ReleaseHeld();
        uint64_t until = std::min(synthFrame_ + frames, schedule_.NextFrame());
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

void MidiRenderer::Event(uint64_t, const platform::midi::MidiEvent& e) {
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

}  // namespace platform::synth
