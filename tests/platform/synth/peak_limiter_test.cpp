#include "platform/synth/peak_limiter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using platform::synth::PeakLimiter;

// A constant level shows the gain itself: eight times the ceiling for 0.1 s, the right channel
// at 0.7 of the left.
TEST(PeakLimiter, RampsOverTheLookAheadHoldsAndComesBackToTheBit) {
    constexpr size_t kLag = PeakLimiter::kLookAhead, loudFrom = 10000, loudTo = 14410;
    constexpr size_t frames = 3 * 44100;
    std::vector<float> in(2 * frames);
    for (size_t i = 0; i < frames; ++i) {
        in[2 * i] = i >= loudFrom && i < loudTo ? 4.0f : 0.25f;
        in[2 * i + 1] = 0.7f * in[2 * i];
    }
    std::vector<float> out(in.size());
    PeakLimiter limiter, unlimited;
    limiter.SetCeiling(0.5f);
    for (size_t at = 0; at < frames; at += 1000)  // in pieces, as a stream asks
        limiter.Process(&in[2 * at], &out[2 * at], std::min<size_t>(1000, frames - at));
    auto gain = [&](size_t i) { return double(out[2 * i]) / in[2 * (i - kLag)]; };

    // Untouched up to the look-ahead before the step, then never a step in the gain.
    for (size_t i = kLag; i < loudFrom; ++i) ASSERT_EQ(out[2 * i], in[2 * (i - kLag)]) << i;
    double lowest = 1;
    for (size_t i = loudFrom; i < frames; ++i) {
        ASSERT_LE(std::fabs(gain(i) - gain(i - 1)), 1.0 / kLag) << "frame " << i;
        ASSERT_FLOAT_EQ(out[2 * i + 1], 0.7f * out[2 * i]) << "frame " << i;
        lowest = std::min(lowest, gain(i));
    }
    EXPECT_NEAR(lowest, 0.125, 1e-6);  // the loud part exactly at the ceiling
    // Held through a bass period after the loud part, then released within a second or so.
    EXPECT_NEAR(gain(loudTo + kLag + 1000), 0.125, 1e-6);
    EXPECT_GT(gain(loudTo + kLag + 44100 * 3 / 10), 0.5);
    for (size_t i = loudTo + kLag + 44100 * 3 / 2; i < frames; ++i)
        ASSERT_EQ(out[2 * i], in[2 * (i - kLag)]) << i;

    // Without a ceiling nothing is limited, however loud.
    unlimited.Process(in.data(), out.data(), frames);
    EXPECT_TRUE(std::equal(out.begin() + 2 * kLag, out.end(), in.begin()));
}
