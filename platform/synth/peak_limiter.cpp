#include "platform/synth/peak_limiter.h"

#include <algorithm>
#include <cmath>

namespace platform::synth {

namespace {

constexpr size_t kWindow = PeakLimiter::kLookAhead + 1;

// Closer to unity than this the envelope is unity: a step of -100 dB, and from then on the
// samples pass untouched again.
constexpr double kUnity = 1e-5;
constexpr double kUnder = 1 - 1e-6;

}  // namespace

PeakLimiter::PeakLimiter()
    : release_(std::exp(-1.0 / (kReleaseSeconds * 44100.0))),
      needs_(kWindow),
      delay_(2 * kLookAhead, 0.0f),
      cuts_(kWindow, 0.0) {}

void PeakLimiter::SetCeiling(float ceiling) {
    ceiling_ = ceiling > 0 && std::isfinite(ceiling) ? ceiling : 0.0f;
}

void PeakLimiter::Reset() {
    std::fill(delay_.begin(), delay_.end(), 0.0f);
    std::fill(cuts_.begin(), cuts_.end(), 0.0);
    frame_ = 0;
    needFirst_ = needCount_ = 0;
    delayAt_ = cutAt_ = 0;
    cutSum_ = 0;
    cutsActive_ = 0;
    envelope_ = 1;
    holdLeft_ = 0;
}

// The lowest gain that a frame in the window ending at this one needs: a queue of the gains
// that can still become the lowest, so each frame costs little more than a comparison.
double PeakLimiter::WindowNeed(float peak) {
    // A hair under the exact ratio, so that rounding the product to float stays at the ceiling.
    const double need =
        ceiling_ > 0 && peak > ceiling_ ? double(ceiling_) * kUnder / double(peak) : 1.0;
    auto at = [this](size_t i) -> Need& { return needs_[(needFirst_ + i) % kWindow]; };
    while (needCount_ > 0 && at(needCount_ - 1).gain >= need) --needCount_;
    if (needCount_ > 0 && at(0).frame + kWindow <= frame_) {
        needFirst_ = (needFirst_ + 1) % kWindow;
        --needCount_;
    }
    at(needCount_++) = {frame_++, need};
    return at(0).gain;
}

// Follows the window's need down at once; holds, then recovers, never above that need.
double PeakLimiter::Envelope(double need) {
    if (need <= envelope_) {
        envelope_ = need;
        holdLeft_ = kHoldFrames;
    } else if (holdLeft_ > 0) {
        --holdLeft_;
    } else {
        const double released = 1.0 - (1.0 - envelope_) * release_;
        envelope_ = std::min(need, 1.0 - released < kUnity ? 1.0 : released);
    }
    return envelope_;
}

// The mean envelope over the window that ends at this input frame. Every envelope in it is at
// or below what the window's first frame needs, and that frame is the one coming out now.
double PeakLimiter::Gain(double envelope) {
    const double cut = 1.0 - envelope, old = cuts_[cutAt_];
    cuts_[cutAt_] = cut;
    cutAt_ = cutAt_ + 1 == kWindow ? 0 : cutAt_ + 1;
    cutsActive_ += size_t(cut != 0.0);
    cutsActive_ -= size_t(old != 0.0);
    if (cutsActive_ == 0) {
        cutSum_ = 0;  // drops the rounding the running sum gathered
        return 1.0;
    }
    cutSum_ += cut - old;
    return 1.0 - cutSum_ / double(kWindow);
}

void PeakLimiter::Process(const float* in, float* out, size_t frames) {
    for (size_t i = 0; i < frames; ++i) {
        const float l = in[2 * i], r = in[2 * i + 1];
        const float peak = std::max(std::fabs(l), std::fabs(r));
        // At rest (unity everywhere in the window) a frame under the ceiling changes no state
        // that a later frame could tell apart, so it only passes through the delay.
        const bool rest =
            cutsActive_ == 0 && envelope_ == 1.0 && (ceiling_ == 0 || peak <= ceiling_);
        const double gain = rest ? 1.0 : Gain(Envelope(WindowNeed(peak)));
        float* slot = &delay_[2 * delayAt_];
        const float dl = slot[0], dr = slot[1];
        slot[0] = l;
        slot[1] = r;
        delayAt_ = delayAt_ + 1 == kLookAhead ? 0 : delayAt_ + 1;
        if (gain == 1.0) {
            out[2 * i] = dl;
            out[2 * i + 1] = dr;
        } else {
            const float g = float(gain);
            out[2 * i] = dl * g;
            out[2 * i + 1] = dr * g;
        }
    }
}

}  // namespace platform::synth
