#pragma once
// The waveform of the newest capture buffer as line segments on a W x H surface: one sample of
// the left channel per pixel column, no averaging, screen y growing downwards.
#include <cstdint>
#include <vector>

namespace engine {

struct PreviewSegment {
    int x1, y1, x2, y2;
    bool operator==(const PreviewSegment&) const = default;
};

// bytes: interleaved s16le stereo. Nothing to draw when the surface is not narrower than the
// byte count, or has no width.
std::vector<PreviewSegment> PreviewSegments(const uint8_t* bytes, int64_t n, int width, int height);

// The row a sample lands on: half + (s * half) / 32767, truncated towards zero.
int PreviewRow(int16_t sample, int half);

}  // namespace engine
