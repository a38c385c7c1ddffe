#pragma once
// The checks every conversion makes of its output before a note sounds, recorded or rendered:
// each a message naming the path and the reason, or an empty text when all is well.
#include <cstdint>
#include <string>

namespace app {

// The WAV path naming the MIDI file itself, or an output that cannot be written.
std::string OutputRefusal(const std::string& midi, const std::string& wav);
// Too little room for a piece of this length (or for as much as a WAV file holds).
std::string SpaceRefusal(const std::string& wav, int64_t lengthMs);

}  // namespace app
