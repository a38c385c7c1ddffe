#pragma once
// A SoundFont read once and lent to every synthesizer made with it. Reading a General MIDI
// SoundFont costs tens of milliseconds of CPU (FluidSynth parses it and scans every sample);
// a synthesizer that borrows one that is already loaded is ready in well under one. What it
// plays is the same to the bit.
//
// FluidSynth counts the uses of a SoundFont's samples without atomics: the font and every
// synthesizer made with it are used by one thread at a time. Each worker loads its own.
// Loading is the only work FluidSynth hands to OpenMP threads, so once a worker's font is
// loaded none of them spins between its files.
#include <memory>
#include <string>

#include "platform/synth/midi_renderer.h"

namespace platform::synth {

struct LentSynth;  // lent_synth.h

class LoadedSoundFont {
  public:
    // Loads `soundFont`, or where that is empty the machine's default (FindSoundFont); null
    // with the reason and (if asked) its kind, as MidiRenderer::Create tells them.
    static std::shared_ptr<LoadedSoundFont> Load(const std::string& soundFont, std::string* error,
                                                 MidiRenderer::Failure* failure = nullptr);
    ~LoadedSoundFont();
    LoadedSoundFont(const LoadedSoundFont&) = delete;
    LoadedSoundFont& operator=(const LoadedSoundFont&) = delete;

    const std::string& Path() const { return path_; }

    // A fresh synthesizer that plays with this SoundFont and gives it back when it goes; it
    // must go before the font does. Null when FluidSynth cannot make one.
    std::unique_ptr<LentSynth> NewSynth();

  private:
    struct Owner;
    LoadedSoundFont(std::string path, std::unique_ptr<Owner> owner);

    std::string path_;
    std::unique_ptr<Owner> owner_;
};

}  // namespace platform::synth
