#pragma once
// The benchmarks' piece: piano chords, bass, strings and drums on five tracks, at 120 bpm for
// the first half of its length and 150 bpm for the second, exactly `seconds` long by its tempo
// map.
#include <cstdint>
#include <vector>

namespace bench {

std::vector<uint8_t> BenchSong(uint32_t seconds);

}  // namespace bench
