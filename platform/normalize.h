#pragma once
// One gain for a whole recording, applied to its WAV file in place: the loudest sample comes to
// a given level, everything else in proportion.
#include <string>

namespace platform {

// For the 16-bit PCM WAV file at `path`: the gain that brings its largest sample to `peakDbfs`
// (full scale 32768 = 0 dBFS), applied to every sample with rounding to the nearest value.
// *gainDb receives the gain; a file of silence is left as it is with a gain of 0 dB. False with
// the reason when the file cannot be read or written.
bool NormalizeWave(const std::string& path, double peakDbfs, double* gainDb, std::string* error);

}  // namespace platform
