#include "platform/synth/loaded_soundfont.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/synth/lent_synth.h"
#include "platform/synth/soundfont.h"

namespace platform::synth {

namespace {

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

// The settings every synthesizer of ours is made with, the one that holds the SoundFont too.
fluid_settings_t* NewSettings() {
    fluid_settings_t* settings = new_fluid_settings();
    if (!settings) return nullptr;
    fluid_settings_setnum(settings, "synth.sample-rate", MidiRenderer::kRate);
    // Reverb state depends on every sample it has seen; it comes on with the music (Start).
    fluid_settings_setint(settings, "synth.reverb.active", 0);
    fluid_settings_setint(settings, "synth.threadsafe-api", 0);
    fluid_settings_setint(settings, "synth.lock-memory", 0);
    // One thread per synthesizer: the parallel runs keep every core busy with one each, and a
    // second core saved a single long piece only 5-16 % of its time for 25 % more CPU.
    fluid_settings_setint(settings, "synth.cpu-cores", 1);
    // Headroom: dense General MIDI music stays below full scale at this gain (a typical piece
    // peaks near -8 dBFS), and the recording side, not the synthesizer, sets the level of the
    // file.
    fluid_settings_setnum(settings, "synth.gain", MidiRenderer::kSynthGain);
    return settings;
}

std::nullptr_t Refuse(std::string* error, MidiRenderer::Failure* failure, const std::string& why,
                      MidiRenderer::Failure kind) {
    if (error) *error = why;
    if (failure) *failure = kind;
    return nullptr;
}

}  // namespace

LentSynth::~LentSynth() {
    if (synth && lent) fluid_synth_remove_sfont(synth, lent);
    if (synth) delete_fluid_synth(synth);
    if (settings) delete_fluid_settings(settings);
}

// A synthesizer that never plays holds FluidSynth's SoundFont object, so that the ones that do
// can come and go.
struct LoadedSoundFont::Owner {
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    fluid_sfont_t* sfont = nullptr;
    ~Owner() {
        if (synth) delete_fluid_synth(synth);
        if (settings) delete_fluid_settings(settings);
    }
};

std::shared_ptr<LoadedSoundFont> LoadedSoundFont::Load(const std::string& soundFont,
                                                       std::string* error,
                                                       MidiRenderer::Failure* failure) {
    using Failure = MidiRenderer::Failure;
    std::string lookedFor;
    std::string path = soundFont.empty() ? FindSoundFont(&lookedFor) : soundFont;
    if (path.empty())
        return Refuse(error, failure, "no SoundFont found: looked for " + lookedFor,
                      Failure::kNoSoundFont);
    if (const std::string wrong = SoundFontHeadProblem(path); !wrong.empty())
        return Refuse(error, failure, "cannot load the SoundFont " + path + ": " + wrong,
                      Failure::kNoSoundFont);

    QuietenFluidSynth();
    auto owner = std::make_unique<Owner>();
    owner->settings = NewSettings();
    if (!owner->settings)
        return Refuse(error, failure, "cannot create the synthesizer's settings",
                      Failure::kSynthesizer);
    owner->synth = new_fluid_synth(owner->settings);
    if (!owner->synth)
        return Refuse(error, failure, "cannot create the synthesizer", Failure::kSynthesizer);
    const int id = fluid_synth_sfload(owner->synth, path.c_str(), 1);
    if (id != FLUID_FAILED) owner->sfont = fluid_synth_get_sfont_by_id(owner->synth, id);
    if (!owner->sfont)
        return Refuse(error, failure,
                      "cannot load the SoundFont " + path + ": FluidSynth cannot read it",
                      Failure::kNoSoundFont);
    if (failure) *failure = Failure::kNone;
    return std::shared_ptr<LoadedSoundFont>(new LoadedSoundFont(std::move(path), std::move(owner)));
}

LoadedSoundFont::LoadedSoundFont(std::string path, std::unique_ptr<Owner> owner)
    : path_(std::move(path)), owner_(std::move(owner)) {}

LoadedSoundFont::~LoadedSoundFont() = default;

std::unique_ptr<LentSynth> LoadedSoundFont::NewSynth() {
    auto s = std::make_unique<LentSynth>();
    s->settings = NewSettings();
    if (!s->settings) return nullptr;
    s->synth = new_fluid_synth(s->settings);
    if (!s->synth) return nullptr;
    if (fluid_synth_add_sfont(s->synth, owner_->sfont) == FLUID_FAILED) return nullptr;
    s->lent = owner_->sfont;
    return s;
}

}  // namespace platform::synth
