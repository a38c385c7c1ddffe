#pragma once
// Where the synthesizer's General MIDI SoundFont lives on this machine.
#include <string>

namespace platform::synth {

// TONVERA_SOUNDFONT when set (and then nothing else, even when it cannot be read), else the
// system default, else TimGM6mb. Returns the first readable file, or "" when none is; lookedFor
// (if given) receives every path tried, comma-separated, for the caller's error message.
std::string FindSoundFont(std::string* lookedFor);

}  // namespace platform::synth
