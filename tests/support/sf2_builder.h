#pragma once
// A SoundFont of the test's own: one preset (bank 0, program 0) whose one instrument plays a
// looped sine on every key, a few kilobytes, loadable by FluidSynth. Music played with it sounds
// nothing like a General MIDI SoundFont's, and percussion (bank 128) stays silent.
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

std::vector<uint8_t> SineSoundFont();
// Writes it to `path`; false when the file cannot be written.
bool WriteSineSoundFont(const std::string& path);

}  // namespace testsupport
