#pragma once
// Turns the record stream of the synthesizer line into the file's frames and finds its holes.
//
// Start: the stream carries silence before the music; the first frame the recording shows as
// non-zero is the music's first audible frame (the tap knows which one that is), so everything
// before the music's time 0 is dropped and sample 0 of the output is the music's sample 0.
//
// End: once the music has ended, the output ends with its last frame.
//
// Holes: the server may insert silence (the stream ran dry, a scheduling delay, the program
// stopped), drop music (a catch-up) or both, with or without telling. The output is compared,
// 64-frame block by block, with the energy of what the sequencer played; where they part, the
// shift that makes them meet again tells how much went missing or was put in. Holes shorter
// than kShortestGap are not reported: a resampling server shifts onsets by a few frames. At
// the end the output's length is checked against the music's: what no hole explains is
// reported as the output ending early.
//
// One thread at a time (the record stream's mainloop thread).
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "platform/pulse/sequencer_tap.h"

namespace platform::pulse {

class RecordingAligner {
  public:
    struct Gap {
        enum class Kind {
            kMissing,          // music is missing there
            kSilenceInserted,  // the music is whole, with silence put in between
            kEndsEarly,        // the output ends that much before the music
        };
        uint64_t frame;   // where in the output
        uint64_t frames;  // how much is missing or inserted there
        Kind kind = Kind::kMissing;
    };
    // Output frames: data, or null for that many frames of silence.
    using Sink = std::function<void(const int16_t* frames, size_t count)>;

    static constexpr uint64_t kShortestGap = 88;     // 2 ms
    static constexpr uint64_t kShortestShift = 441;  // 10 ms

    // gain: what the recording applies to the tap's floats, in steps of the output.
    RecordingAligner(std::shared_ptr<SequencerTap> tap, double gain);

    // Recorded stereo frames in order; null data for frames the stream lost (a hole).
    void Feed(const int16_t* frames, size_t count, const Sink& out);
    // At the end of the recording: what is still held back, and the last comparisons.
    void Finish(const Sink& out);

    const std::vector<Gap>& gaps() const { return gaps_; }
    bool aligned() const { return anchored_; }
    uint64_t outputFrames() const { return outFrames_; }  // recorded from time 0 on
    // The music has ended and the output holds all of it, its tail included.
    bool ReachedEnd() const;

  private:
    void Wait(const int16_t* frames, size_t count, const Sink& out);
    void Release(const Sink& out, bool final);
    void Emit(uint64_t silence, const Sink& out);  // silence straight into the output
    int64_t MusicEnd() const;  // the output frame where the music ends; -1 while it plays
    void Anchor(uint64_t firstSound, const Sink& out);
    void Keep(const int16_t* frames, size_t count);
    void AddZeros(uint64_t at, uint64_t frames);
    void Check(bool final);
    bool CheckBlock(uint64_t block, bool final);
    // log of the energy ratio of a music block and its place in the output; kSilent when both
    // are silent, kUnknown when the output does not hold that place.
    double Ratio(uint64_t block, int64_t shift, float expected) const;
    // How well the output from `from` on follows the music at a shift: the mean distance of
    // the blocks' ratios from their median (a level change is no mismatch); *level the median.
    double Score(uint64_t from, size_t blocks, int64_t shift, double* level) const;
    bool Resync(uint64_t block, bool final);
    // The shift near `center` that best explains the output from `from` on, a little in
    // favour of nearer ones; its score, level and shift.
    double BestShift(uint64_t from, size_t blocks, int64_t center, int64_t* shift,
                     double* level) const;
    void CheckLength();
    void Tell(uint64_t at, uint64_t silence, int64_t moved);
    // The longest run of silent output frames that touches [from, to), however far it
    // reaches back: its start and length.
    std::pair<uint64_t, uint64_t> ZeroRunNear(uint64_t from, uint64_t to) const;
    bool Covered(uint64_t endFrame) const;  // output frames [0, endFrame) are kept
    uint64_t RecordedEnergy(uint64_t from, uint64_t to) const;

    std::shared_ptr<SequencerTap> tap_;
    const double scale_;  // tap energy to output energy
    const double floor_;  // a block's energy that counts as sound
    bool anchored_ = false;
    uint64_t leadingZeros_ = 0;  // recorded frames before the first sound
    uint64_t outFrames_ = 0;     // output frames so far
    // Per output frame l^2 + r^2, as running sums from keptFrom_ on.
    std::deque<uint64_t> sums_;  // sums_[i] = energy of output frames [keptFrom_, keptFrom_+i)
    struct Run {
        uint64_t at, frames;
    };
    std::deque<Run> zeroRuns_;  // the runs of silent output frames, in order
    uint64_t keptFrom_ = 0;
    int64_t shift_ = 0;       // output frame of music frame m: m + shift_
    double level_ = 0;        // log energy ratio of output and music where they agree
    uint64_t nextBlock_ = 0;  // next music block to compare
    int badRun_ = 0;
    uint64_t badFrom_ = 0;
    std::vector<Gap> gaps_;
    std::vector<int16_t> held_;  // output frames [emitted_, outFrames_), not yet handed on
    uint64_t emitted_ = 0;
    uint64_t soundPastEnd_ = 0;  // how far after the end the last non-silent frame came
};

}  // namespace platform::pulse
