#pragma once
// FluidSynth's objects behind MidiRenderer and LoadedSoundFont, for their own files only: the
// rest of the program never sees FluidSynth.
#include <fluidsynth.h>

namespace platform::synth {

// A synthesizer with a SoundFont it borrows. FluidSynth deletes the SoundFonts a synthesizer
// still holds when it deletes the synthesizer, so the borrowed one is taken back first.
struct LentSynth {
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    fluid_sfont_t* lent = nullptr;

    LentSynth() = default;
    ~LentSynth();
    LentSynth(const LentSynth&) = delete;
    LentSynth& operator=(const LentSynth&) = delete;
};

}  // namespace platform::synth
