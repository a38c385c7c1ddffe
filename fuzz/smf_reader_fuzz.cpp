// Any bytes in: the reader either refuses them with a message or yields a song that keeps its
// promises (sorted channel messages, nothing after the end). Out-of-bounds reads are ASan's job.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/midi/smf_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string error;
    const auto song = platform::midi::ReadSmf(data, size, &error);
    if (!song) {
        if (error.empty()) __builtin_trap();
        return 0;
    }
    uint64_t previous = 0;
    for (const auto& e : song->events) {
        if (e.status < 0x80 || e.status > 0xEF || e.data1 > 0x7F || e.data2 > 0x7F)
            __builtin_trap();
        if (e.frame < previous || e.frame > song->lengthFrames) __builtin_trap();
        previous = e.frame;
    }
    if (song->format > 1) __builtin_trap();
    return 0;
}
