#include "platform/pulse/peak_limiter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using platform::pulse::PeakLimiter;

namespace {

constexpr size_t kLag = PeakLimiter::kLookAhead;

// Stereo: a low and a high partial per channel, louder on the left, with the level following
// `level(frame)`.
template <typename Level>
std::vector<float> Music(size_t frames, Level level) {
    std::vector<float> out(2 * frames);
    for (size_t i = 0; i < frames; ++i) {
        const double t = double(i) / 44100;
        const double v = std::sin(2 * M_PI * 55 * t) + 0.4 * std::sin(2 * M_PI * 1234 * t);
        out[2 * i] = float(level(i) * v / 1.4);
        out[2 * i + 1] = float(0.7 * level(i) * v / 1.4);
    }
    return out;
}

std::vector<float> Limit(PeakLimiter& limiter, const std::vector<float>& in, size_t slice) {
    std::vector<float> out(in.size());
    const size_t frames = in.size() / 2;
    for (size_t at = 0; at < frames; at += slice)
        limiter.Process(in.data() + 2 * at, out.data() + 2 * at, std::min(slice, frames - at));
    return out;
}

std::vector<float> Limit(float ceiling, const std::vector<float>& in, size_t slice = 1024) {
    PeakLimiter limiter;
    limiter.SetCeiling(ceiling);
    return Limit(limiter, in, slice);
}

float Peak(const std::vector<float>& v) {
    float peak = 0;
    for (float x : v) peak = std::max(peak, std::fabs(x));
    return peak;
}

// The input delayed by the look-ahead, with silence before it.
std::vector<float> Delayed(const std::vector<float>& in) {
    std::vector<float> out(in.size(), 0.0f);
    std::copy(in.begin(), in.end() - 2 * kLag, out.begin() + 2 * kLag);
    return out;
}

}  // namespace

TEST(PeakLimiter, MusicUnderTheCeilingOnlyComesOutLaterToTheBit) {
    const auto quiet = Music(44100, [](size_t) { return 0.9; });
    ASSERT_LE(Peak(quiet), 0.9f);
    EXPECT_TRUE(Limit(0.9f, quiet) == Delayed(quiet));  // at the ceiling is not over it
    EXPECT_TRUE(Limit(0.0f, quiet) == Delayed(quiet));  // no ceiling: nothing limited
    const auto loud = Music(44100, [](size_t) { return 8.0; });
    EXPECT_TRUE(Limit(0.0f, loud) == Delayed(loud));
    EXPECT_TRUE(Limit(INFINITY, loud) == Delayed(loud));
}

TEST(PeakLimiter, NothingPassesTheCeilingAndItsPeaksReachIt) {
    // Swells from quiet to four times the ceiling and back, with a sudden burst on top.
    const auto in = Music(3 * 44100, [](size_t i) {
        const double swell = 0.2 + 3.8 * std::sin(M_PI * double(i) / (3 * 44100));
        return i >= 20000 && i < 20100 ? 6.0 : swell;
    });
    const float ceiling = 0.5f;
    const auto out = Limit(ceiling, in);
    EXPECT_LE(Peak(out), ceiling);
    EXPECT_GT(Peak(out), ceiling * 0.999f);
    // The same gain on both channels: the right stays 0.7 of the left.
    for (size_t i = 0; i < out.size(); i += 2)
        ASSERT_NEAR(out[i + 1], 0.7f * out[i], 1e-6f) << "frame " << i / 2;
}

TEST(PeakLimiter, TheGainRampsOverTheLookAheadAndRecoversToUnity) {
    // A constant level shows the gain itself: a step to eight times the ceiling for 0.1 s.
    const size_t loudFrom = 10000, loudTo = 14410, frames = 3 * 44100;
    std::vector<float> in(2 * frames, 0.25f);
    for (size_t i = 2 * loudFrom; i < 2 * loudTo; ++i) in[i] = 4.0f;
    const auto out = Limit(0.5f, in);
    double lowest = 1;
    for (size_t i = kLag + 1; i < frames; ++i) {
        const double before = out[2 * (i - 1)] / in[2 * (i - 1 - kLag)];
        const double now = out[2 * i] / in[2 * (i - kLag)];
        lowest = std::min(lowest, now);
        // No step: the deepest cut (7/8) spread over at least the look-ahead.
        ASSERT_LE(std::fabs(now - before), 1.0 / kLag) << "frame " << i;
    }
    EXPECT_NEAR(lowest, 0.125, 1e-6);
    // Only the look-ahead's worth of quiet music before the step is brought down.
    EXPECT_EQ(out[2 * (loudFrom - 1)], 0.25f);
    EXPECT_LT(out[2 * loudFrom], 0.25f);
    // Held after the loud part, then released: half-way back within 0.3 s, whole within 1.5 s.
    EXPECT_LT(out[2 * (loudTo + kLag + 1000)], 0.25f * 0.2f);
    EXPECT_GT(out[2 * (loudTo + kLag + 44100 * 3 / 10)], 0.25f * 0.5f);
    const size_t whole = loudTo + kLag + 44100 * 3 / 2;
    EXPECT_TRUE(std::equal(out.begin() + 2 * whole, out.end(), in.begin() + 2 * (whole - kLag)));
}

TEST(PeakLimiter, TheSlicingOfTheCallsAndAResetChangeNothing) {
    const auto in = Music(50000, [](size_t i) { return i % 9000 < 3000 ? 3.0 : 0.4; });
    const auto whole = Limit(1.0f, in, 50000);
    ASSERT_LT(Peak(whole), Peak(in));
    for (size_t slice : {size_t(1), size_t(37), size_t(1024)})
        EXPECT_TRUE(Limit(1.0f, in, slice) == whole) << slice;

    PeakLimiter limiter;
    limiter.SetCeiling(1.0f);
    Limit(limiter, in, 999);
    limiter.Reset();
    EXPECT_TRUE(Limit(limiter, in, 4410) == whole);
}
