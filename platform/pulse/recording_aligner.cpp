#include "platform/pulse/recording_aligner.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace platform::pulse {

namespace {

constexpr uint64_t kBlock = SequencerTap::kBlockFrames;
// Two blocks out of step by more than this (natural log of the energy ratio, about 4 dB) part.
constexpr double kApart = 1.0;
// A shift explains the recording when the blocks differ on average by less than this.
constexpr double kTogether = 0.35;
constexpr int kBadBlocks = 3;              // blocks in a row that part before a search
constexpr size_t kWindowBlocks = 128;      // blocks compared per candidate shift (186 ms)
constexpr int64_t kSearch = 5 * 44100;     // how far music may have moved, either way
constexpr int64_t kCoarseStep = 16;
constexpr uint64_t kKeptFrames = uint64_t(2 * kSearch) + kWindowBlocks * kBlock + 44100;
constexpr double kNoSearch = std::numeric_limits<double>::infinity();

}  // namespace

RecordingAligner::RecordingAligner(std::shared_ptr<SequencerTap> tap, double gain)
    : tap_(std::move(tap)), scale_(gain * gain), floor_(double(kBlock) * 2 * 9) {
    sums_.push_back(0);
}

void RecordingAligner::Feed(const int16_t* frames, size_t count, const Sink& out) {
    if (!anchored_) {
        Wait(frames, count, out);
        return;
    }
    Keep(frames, count);
    out(frames, count);
    Check(false);
}

void RecordingAligner::Wait(const int16_t* frames, size_t count, const Sink& out) {
    size_t i = 0;
    if (frames) {
        while (i < count && frames[2 * i] == 0 && frames[2 * i + 1] == 0) ++i;
    } else {
        i = count;
    }
    if (i == count) {
        leadingZeros_ += count;
        return;
    }
    Anchor(leadingZeros_ + i, out);
    Feed(frames + 2 * i, count - i, out);
}

void RecordingAligner::Anchor(uint64_t firstSound, const Sink& out) {
    anchored_ = true;
    const int64_t audible = tap_ ? tap_->Read().firstAudible : 0;
    const int64_t start = int64_t(firstSound) - std::max<int64_t>(audible, 0);
    uint64_t silence = firstSound - uint64_t(std::max<int64_t>(start, 0));
    if (start < 0) {
        // The recording began after the music did: its beginning is missing.
        gaps_.push_back({0, uint64_t(-start)});
        shift_ = start;
        silence = firstSound;
    }
    if (silence) {
        Keep(nullptr, size_t(silence));
        out(nullptr, size_t(silence));
    }
}

void RecordingAligner::Finish(const Sink& out) {
    if (!anchored_) {
        // Nothing ever sounded: the file is the music's length of silence.
        const uint64_t played = tap_ ? tap_->Read().played : leadingZeros_;
        const uint64_t n = std::min(leadingZeros_, played);
        anchored_ = true;
        if (n) {
            Keep(nullptr, size_t(n));
            out(nullptr, size_t(n));
        }
    }
    Check(true);
}

void RecordingAligner::Keep(const int16_t* frames, size_t count) {
    uint64_t sum = sums_.back();
    for (size_t i = 0; i < count; ++i) {
        const int64_t l = frames ? frames[2 * i] : 0, r = frames ? frames[2 * i + 1] : 0;
        sum += uint64_t(l * l + r * r);
        sums_.push_back(sum);
        silent_.push_back(l == 0 && r == 0);
    }
    outFrames_ += count;
    while (silent_.size() > kKeptFrames) {
        sums_.pop_front();
        silent_.pop_front();
        ++keptFrom_;
    }
}

bool RecordingAligner::Covered(uint64_t endFrame) const {
    return endFrame <= outFrames_;
}

uint64_t RecordingAligner::RecordedEnergy(uint64_t from, uint64_t to) const {
    return sums_[size_t(to - keptFrom_)] - sums_[size_t(from - keptFrom_)];
}

void RecordingAligner::Check(bool final) {
    if (!tap_ || !anchored_) return;
    while (CheckBlock(nextBlock_, final)) {
    }
    if (nextBlock_ > kKeptFrames / kBlock) tap_->Forget(nextBlock_ - kKeptFrames / kBlock);
}

double RecordingAligner::Mismatch(uint64_t block, int64_t shift, float expected) const {
    const int64_t from = int64_t(block * kBlock) + shift;
    if (from < int64_t(keptFrom_) || !Covered(uint64_t(from) + kBlock)) return kNoSearch;
    const double recorded = double(RecordedEnergy(uint64_t(from), uint64_t(from) + kBlock));
    const double wanted = double(expected) * scale_;
    if (std::max(recorded, wanted) < 8 * floor_) return -1;  // silence on both sides
    return std::fabs(std::log((recorded + floor_) / (wanted + floor_)));
}

bool RecordingAligner::CheckBlock(uint64_t block, bool final) {
    const SequencerTap::Status status = tap_->Read();
    if (status.rendered < (block + 1) * kBlock) return false;
    const int64_t from = int64_t(block * kBlock) + shift_;
    if (from >= 0 && !Covered(uint64_t(from) + kBlock)) return false;
    const std::vector<float> expected = tap_->Energies(block, 1);
    const double d = expected.empty() ? kNoSearch : Mismatch(block, shift_, expected[0]);
    if (d == kNoSearch || d < 0) {
        ++nextBlock_;
        return true;
    }
    if (d <= kApart) {
        badRun_ = 0;
        ++nextBlock_;
        return true;
    }
    if (badRun_++ == 0) badFrom_ = block;
    if (badRun_ < kBadBlocks) {
        ++nextBlock_;
        return true;
    }
    if (!Resync(badFrom_, final)) return false;
    badRun_ = 0;
    return true;
}

double RecordingAligner::Score(uint64_t block, int64_t shift,
                               const std::vector<float>& expected) const {
    double total = 0;
    size_t sounding = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
        const double d = Mismatch(block + i, shift, expected[i]);
        if (d == kNoSearch) return kNoSearch;
        if (d < 0) continue;
        total += d;
        ++sounding;
    }
    if (sounding < std::max<size_t>(expected.size() / 4, 2)) return kNoSearch;
    return total / double(sounding);
}

bool RecordingAligner::Resync(uint64_t block, bool final) {
    const std::vector<float> expected = tap_->Energies(block, kWindowBlocks);
    const int64_t windowEnd = int64_t((block + expected.size()) * kBlock);
    // Wait for the recording to cover every shift of the search, unless it has ended.
    if (!final && !Covered(uint64_t(std::max<int64_t>(windowEnd + shift_ + kSearch, 0))))
        return false;
    double best = Score(block, shift_, expected);
    int64_t bestShift = shift_;
    auto consider = [&](int64_t s) {
        const double v = Score(block, s, expected);
        if (v < best) {
            best = v;
            bestShift = s;
        }
    };
    if (best >= kTogether) {
        for (int64_t s = shift_ - kSearch; s <= shift_ + kSearch; s += kCoarseStep) consider(s);
        const int64_t coarse = bestShift;
        for (int64_t s = coarse - kCoarseStep; s <= coarse + kCoarseStep; ++s) consider(s);
    }
    if (best >= kTogether) {
        // Nothing explains it (the level changed on the way, or a hole beyond the search):
        // go on past the window rather than report a length that is not known.
        nextBlock_ = block + std::max<size_t>(expected.size(), 1);
        return true;
    }
    const int64_t moved = bestShift - shift_;
    const uint64_t at = uint64_t(std::max<int64_t>(int64_t(block * kBlock) + shift_, 0));
    const uint64_t silence = ZeroRunNear(at > kBlock ? at - kBlock : 0,
                                         at + uint64_t(std::llabs(moved)) + 8 * kBlock);
    const uint64_t missing = std::max<uint64_t>(uint64_t(std::llabs(moved)), silence);
    if (missing >= kShortestGap) gaps_.push_back({at, missing});
    shift_ = bestShift;
    nextBlock_ = block + 1;
    return true;
}

uint64_t RecordingAligner::ZeroRunNear(uint64_t from, uint64_t to) const {
    from = std::max(from, keptFrom_);
    to = std::min(to, outFrames_);
    uint64_t best = 0, run = 0;
    for (uint64_t f = from; f < to; ++f) {
        run = silent_[size_t(f - keptFrom_)] ? run + 1 : 0;
        best = std::max(best, run);
    }
    return best;
}

}  // namespace platform::pulse
