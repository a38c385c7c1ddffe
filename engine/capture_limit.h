#pragma once
// How large a capture may grow: the largest data a RIFF/WAVE file holds, in whole frames.
#include <cstdint>

#include "engine/wave_writer.h"

namespace engine {

// 44 100 stereo 16-bit frames a second.
constexpr uint64_t kCaptureBytesPerSecond = 44100 * 4;
constexpr uint64_t kLargestCapture = kLargestWaveData / 4 * 4;

// For tests, which cannot record 4 GB: the limit of the next captures (rounded down to whole
// frames); 0 restores kLargestCapture. Call only while no capture runs.
void SetCaptureLimitForTesting(uint64_t bytes);

}  // namespace engine
