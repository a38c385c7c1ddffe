#pragma once
// Level decisions on the recorded sound, in blocks of kBlock frames (10 ms): when the synth
// is quiet, what its noise floor is, where its answer to a note begins, and where the tail
// after the music has died away. Pure: the session feeds it frames in order.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace platform::jack {

constexpr size_t kBlock = 441;
// Quieter than this counts as silence whatever the floor (about -90 dBFS): a digital synth's
// release decays through every level down to denormals.
constexpr float kLeastThreshold = 3.2e-5f;

// The peak |sample| of interleaved frames.
float PeakOf(const float* interleaved, size_t values);

// "Sound" above the floor: twice its peak (+6 dB), never under kLeastThreshold.
inline float ThresholdOver(float noiseFloor) {
    return noiseFloor * 2 > kLeastThreshold ? noiseFloor * 2 : kLeastThreshold;
}

// Waits for the synth to fall quiet after a reset: quiet once `window` blocks in a row stay
// below `quietPeak` and no longer fall (within 6 dB of each other, or digital silence); the
// noise floor is the largest block peak of that window. Taken in the middle of a release, the
// floor would be the release's level, and the tail after the music would be cut there. A synth
// that never settles (a hissing line) is taken as it is after `patience` blocks.
class QuietWatch {
  public:
    QuietWatch(size_t window, size_t patience, float quietPeak = 1e-3f)
        : window_(window), patience_(patience), quietPeak_(quietPeak) {}
    // One block's peak; true once the decision is made.
    bool Block(float peak);
    float NoiseFloor() const;

  private:
    bool Steady() const;
    const size_t window_, patience_;
    const float quietPeak_;
    std::deque<float> recent_;
    size_t quietRun_ = 0, seen_ = 0;
};

// Index of the first value (frame-wise, over `channels`) whose |x| exceeds the threshold, or
// -1.
int64_t FirstOver(const float* interleaved, size_t frames, size_t channels, float threshold);

// After the music's last frame: keeps what sounds and drops the quiet end. Output is handed
// on only once it is known to come before a sound; the tail ends when `quietBlocks` blocks in
// a row stay below the threshold, or after `mostBlocks`.
class TailTrimmer {
  public:
    TailTrimmer(float threshold, size_t quietBlocks, size_t mostBlocks)
        : threshold_(threshold), quietBlocks_(quietBlocks), mostBlocks_(mostBlocks) {}
    // A block's peak and size; returns how many frames (before and with it) may be kept now.
    uint64_t Block(float peak, size_t frames);
    bool Done() const { return done_; }
    uint64_t kept() const { return kept_; }

  private:
    const float threshold_;
    const size_t quietBlocks_, mostBlocks_;
    uint64_t pending_ = 0, kept_ = 0;
    size_t quietRun_ = 0, blocks_ = 0;
    bool done_ = false;
};

}  // namespace platform::jack
