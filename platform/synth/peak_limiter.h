#pragma once
// Keeps the synthesizer's stereo output at or below a ceiling without clicks, and leaves music
// that stays below it untouched to the bit.
//
// The output lags the input by kLookAhead frames. The envelope is at most the gain that each of
// the last kLookAhead + 1 input frames needs; the gain applied is the mean of as many envelope
// values, so it ramps down over the look-ahead and is at its lowest when the peak comes out.
// After a peak the envelope holds for a period of a low bass note, so the gain does not follow
// the waveform, then recovers exponentially. Both channels get the same gain, which
// keeps the stereo image.
//
// All state is per frame: the output does not depend on how the caller slices its calls.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform::synth {

class PeakLimiter {
  public:
    static constexpr size_t kLookAhead = 128;    // 2.9 ms at 44.1 kHz
    static constexpr size_t kHoldFrames = 1323;  // 30 ms, a period at 33 Hz
    static constexpr double kReleaseSeconds = 0.1;

    PeakLimiter();

    // Magnitudes above it are brought down to it; 0 (or anything not positive and finite)
    // limits nothing.
    void SetCeiling(float ceiling);

    // Silence in the look-ahead and unity gain, as new.
    void Reset();

    // Takes `frames` interleaved stereo frames and gives back as many, each kLookAhead frames
    // older. `in` and `out` may be the same buffer.
    void Process(const float* in, float* out, size_t frames);

  private:
    struct Need {
        uint64_t frame;
        double gain;
    };
    double WindowNeed(float peak);
    double Envelope(double need);
    double Gain(double envelope);

    float ceiling_ = 0;
    double release_;
    uint64_t frame_ = 0;       // input frames taken
    std::vector<Need> needs_;  // rising gains, the window's lowest first (a ring)
    size_t needFirst_ = 0, needCount_ = 0;
    std::vector<float> delay_;  // the frames still to come out
    size_t delayAt_ = 0;
    std::vector<double> cuts_;  // 1 - envelope of the last kLookAhead + 1 frames
    size_t cutAt_ = 0;
    double cutSum_ = 0;
    size_t cutsActive_ = 0;  // of them not 0: none means a gain of exactly 1
    double envelope_ = 1;
    size_t holdLeft_ = 0;
};

}  // namespace platform::synth
