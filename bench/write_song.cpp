// Writes the benchmarks' piece of the given length as a MIDI file, for the benchmark scripts.
//   write_song SECONDS FILE
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "bench/bench_song.h"

int main(int argc, char** argv) {
    if (argc != 3 || std::atoi(argv[1]) <= 0) {
        std::fprintf(stderr, "usage: write_song SECONDS FILE\n");
        return 2;
    }
    const auto song = bench::BenchSong(uint32_t(std::atoi(argv[1])));
    std::ofstream out(argv[2], std::ios::binary);
    out.write(reinterpret_cast<const char*>(song.data()), std::streamsize(song.size()));
    return out ? 0 : 1;
}
