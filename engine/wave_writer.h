#pragma once
// Writes one block of PCM bytes as a RIFF/WAVE file ("fmt " and "data" chunks only).
#include <cstdint>
#include <string>

#include "platform/mmio.h"

namespace engine {

// The largest data chunk a RIFF/WAVE file of this shape can hold: the RIFF size field
// (36 + data + pad) must fit in 32 bits.
constexpr uint64_t kLargestWaveData = 0xFFFFFFFFull - 36;

// True when the whole file was written and closed. An existing file is replaced. A path that
// cannot be created, or a length no RIFF file can hold, returns false and creates nothing; a
// write that fails part-way leaves what was written.
bool WriteWaveFile(const std::string& fileName, const void* data, uint64_t dataLength, bool stereo,
                   bool sixteenBit, uint32_t samplesPerSecond);

// The writer's two halves, shared with the file that is written while it is recorded, so that
// both make the same bytes for the same sound: the chunk headers up to the first data byte
// (the data chunk declared with declaredLength), and the ascents that write the true sizes
// and the pad byte after the last one.
struct WaveChunks {
    MMCKINFO riff{};
    MMCKINFO data{};
};
bool BeginWave(HMMIO file, WaveChunks* chunks, bool stereo, bool sixteenBit,
               uint32_t samplesPerSecond, uint64_t declaredLength);
bool EndWave(HMMIO file, WaveChunks* chunks);

}  // namespace engine
