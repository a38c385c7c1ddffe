#include "engine/preview.h"

#include <cstddef>

namespace engine {

int PreviewRow(int16_t sample, int half) {
    return half + int((int64_t(sample) * half) / 32767);
}

std::vector<PreviewSegment> PreviewSegments(const uint8_t* bytes, int64_t n, int width,
                                            int height) {
    std::vector<PreviewSegment> out;
    if (width >= n || width < 1 || !bytes) return out;
    const int64_t step = (n / 4) / width;
    const int half = height / 2;
    out.reserve(std::size_t(width));
    int previous = half;
    for (int x = 0; x < width; ++x) {
        // step * width <= n / 4 keeps the read inside the buffer; with step 0 every column
        // reads the first frame, and n > width >= 1 guarantees its two bytes.
        const int64_t at = int64_t(x) * step * 4;
        const auto s = int16_t(uint16_t(bytes[at]) | uint16_t(bytes[at + 1]) << 8);
        const int y = PreviewRow(s, half);
        out.push_back({x - 1, previous, x, y});
        previous = y;
    }
    return out;
}

}  // namespace engine
