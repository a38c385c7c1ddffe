#include "platform/jack/level_watch.h"

#include <algorithm>
#include <cmath>

namespace platform::jack {

float PeakOf(const float* interleaved, size_t values) {
    float peak = 0;
    for (size_t i = 0; i < values; ++i) peak = std::max(peak, std::fabs(interleaved[i]));
    return peak;
}

bool QuietWatch::Block(float peak) {
    ++seen_;
    recent_.push_back(peak);
    if (recent_.size() > window_) recent_.pop_front();
    quietRun_ = peak < quietPeak_ ? quietRun_ + 1 : 0;
    return (quietRun_ >= window_ && Steady()) || seen_ >= patience_;
}

// A release still dying away is not the floor: the window is steady once its loudest block is
// within 6 dB of its softest, or all of it is digital silence.
bool QuietWatch::Steady() const {
    const auto [least, most] = std::minmax_element(recent_.begin(), recent_.end());
    return *most < kLeastThreshold || *most <= 2 * *least;
}

float QuietWatch::NoiseFloor() const {
    float floor = 0;
    for (float p : recent_) floor = std::max(floor, p);
    return floor;
}

int64_t FirstOver(const float* interleaved, size_t frames, size_t channels, float threshold) {
    for (size_t f = 0; f < frames; ++f)
        for (size_t c = 0; c < channels; ++c)
            if (std::fabs(interleaved[f * channels + c]) > threshold) return int64_t(f);
    return -1;
}

uint64_t TailTrimmer::Block(float peak, size_t frames) {
    if (done_) return 0;
    ++blocks_;
    pending_ += frames;
    uint64_t release = 0;
    if (peak > threshold_) {
        release = pending_;
        pending_ = 0;
        quietRun_ = 0;
    } else {
        ++quietRun_;
    }
    kept_ += release;
    if (quietRun_ >= quietBlocks_ || blocks_ >= mostBlocks_) done_ = true;
    return release;
}

}  // namespace platform::jack
