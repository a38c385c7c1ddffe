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
constexpr int kBadBlocks = 3;           // blocks in a row that part before a search
constexpr size_t kWindowBlocks = 512;   // blocks compared per candidate shift (0.74 s)
constexpr double kNearer = 0.05;        // score per second of shift
constexpr int64_t kSearch = 5 * 44100;  // how far music may have moved, either way
constexpr int64_t kCoarseStep = 16;
// The recording may run this far ahead of the music it is checked against: after the program
// stood still, the stream hands over what the server recorded meanwhile before any more music
// is made.
constexpr uint64_t kLag = 45 * 44100;
constexpr uint64_t kKeptFrames = uint64_t(2 * kSearch) + 2 * kWindowBlocks * kBlock + kLag;
constexpr double kUnknown = std::numeric_limits<double>::infinity();
constexpr double kSilent = -std::numeric_limits<double>::infinity();

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
    if (frames)
        held_.insert(held_.end(), frames, frames + 2 * count);
    else
        held_.insert(held_.end(), 2 * count, 0);
    Check(false);
    Release(out, false);
}

// Once the music has ended, the file ends with it: what follows is the stream's silence. Until
// the last check, frames past the end are held back, since a hole found late moves the end.
void RecordingAligner::Release(const Sink& out, bool final) {
    uint64_t limit = outFrames_;
    if (const int64_t end = MusicEnd(); end >= 0) limit = std::min(limit, uint64_t(end));
    if (limit > emitted_) {
        const size_t n = size_t(limit - emitted_);
        out(held_.data(), n);
        held_.erase(held_.begin(), held_.begin() + std::ptrdiff_t(2 * n));
        emitted_ = limit;
    }
    if (!final) return;
    // Sound after the music's end means the music came later than the output has it.
    for (size_t i = 0; i < held_.size() / 2; ++i)
        if (held_[2 * i] != 0 || held_[2 * i + 1] != 0) soundPastEnd_ = i + 1;
    held_.clear();
}

int64_t RecordingAligner::MusicEnd() const {
    if (!tap_) return -1;
    const SequencerTap::Status status = tap_->Read();
    return status.ended ? std::max<int64_t>(int64_t(status.rendered) + shift_, 0) : -1;
}

void RecordingAligner::Emit(uint64_t silence, const Sink& out) {
    if (!silence) return;
    Keep(nullptr, size_t(silence));
    out(nullptr, size_t(silence));
    emitted_ += silence;
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
    Emit(silence, out);
}

void RecordingAligner::Finish(const Sink& out) {
    if (!anchored_) {
        // Nothing ever sounded: the file is the music's length of silence.
        const uint64_t played = tap_ ? tap_->Read().played : leadingZeros_;
        const uint64_t n = std::min(leadingZeros_, played);
        anchored_ = true;
        Emit(n, out);
    }
    Check(true);
    Release(out, true);
    CheckLength();
}

bool RecordingAligner::ReachedEnd() const {
    const int64_t end = MusicEnd();
    return anchored_ && end >= 0 && int64_t(outFrames_) >= end;
}

// A music that ended must be in the output to its last frame, but for the holes reported.
void RecordingAligner::CheckLength() {
    const int64_t end = MusicEnd();
    if (end < 0 || !tap_->Read().started) return;
    if (uint64_t(end) > emitted_) {
        const uint64_t shortBy = uint64_t(end) - emitted_;
        if (shortBy >= kShortestGap) gaps_.push_back({emitted_, shortBy, Gap::Kind::kEndsEarly});
    } else if (soundPastEnd_ >= kShortestShift) {
        // A resampler rings on for a few frames; more is music that the output lacks.
        gaps_.push_back({emitted_, soundPastEnd_, Gap::Kind::kEndsEarly});
    }
}

void RecordingAligner::Keep(const int16_t* frames, size_t count) {
    uint64_t sum = sums_.back();
    for (size_t i = 0; i < count; ++i) {
        const int64_t l = frames ? frames[2 * i] : 0, r = frames ? frames[2 * i + 1] : 0;
        sum += uint64_t(l * l + r * r);
        sums_.push_back(sum);
        if (l == 0 && r == 0) AddZeros(outFrames_ + i, 1);
    }
    outFrames_ += count;
    while (sums_.size() > kKeptFrames + 1) {
        sums_.pop_front();
        ++keptFrom_;
    }
    // A run of silence is kept whole, however long, while it reaches into the kept frames.
    while (!zeroRuns_.empty() && zeroRuns_.front().at + zeroRuns_.front().frames < keptFrom_)
        zeroRuns_.pop_front();
}

void RecordingAligner::AddZeros(uint64_t at, uint64_t frames) {
    if (!zeroRuns_.empty() && zeroRuns_.back().at + zeroRuns_.back().frames == at)
        zeroRuns_.back().frames += frames;
    else
        zeroRuns_.push_back({at, frames});
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

double RecordingAligner::Ratio(uint64_t block, int64_t shift, float expected) const {
    const int64_t from = int64_t(block * kBlock) + shift;
    if (from < int64_t(keptFrom_) || !Covered(uint64_t(from) + kBlock)) return kUnknown;
    const double recorded = double(RecordedEnergy(uint64_t(from), uint64_t(from) + kBlock));
    const double wanted = double(expected) * scale_;
    if (std::max(recorded, wanted) < 8 * floor_) return kSilent;
    return std::log((recorded + floor_) / (wanted + floor_));
}

bool RecordingAligner::CheckBlock(uint64_t block, bool final) {
    const SequencerTap::Status status = tap_->Read();
    if (status.rendered < (block + 1) * kBlock) return false;
    const int64_t from = int64_t(block * kBlock) + shift_;
    if (from >= 0 && !Covered(uint64_t(from) + kBlock)) return false;
    const std::vector<float> expected = tap_->Energies(block, 1);
    const double r = expected.empty() ? kUnknown : Ratio(block, shift_, expected[0]);
    if (r == kUnknown || r == kSilent) {
        ++nextBlock_;
        return true;
    }
    if (std::fabs(r - level_) <= kApart) {
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

double RecordingAligner::Score(uint64_t from, size_t blocks, int64_t shift, double* level) const {
    // The music blocks whose place in the output lies in [from, from + blocks * kBlock).
    const int64_t first = (int64_t(from) - shift + int64_t(kBlock) - 1) / int64_t(kBlock);
    if (first < 0) return kUnknown;
    const std::vector<float> expected = tap_->Energies(uint64_t(first), blocks);
    if (expected.size() < blocks) return kUnknown;
    std::vector<double> ratios;
    ratios.reserve(blocks);
    for (size_t i = 0; i < blocks; ++i) {
        const double r = Ratio(uint64_t(first) + i, shift, expected[i]);
        if (r == kUnknown) return kUnknown;
        if (r != kSilent) ratios.push_back(r);
    }
    if (ratios.size() < std::max<size_t>(blocks / 4, 4)) return kUnknown;
    std::vector<double> sorted = ratios;
    std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
    const double median = sorted[sorted.size() / 2];
    double total = 0;
    for (double r : ratios) total += std::fabs(r - median);
    if (level) *level = median;
    return total / double(ratios.size());
}

bool RecordingAligner::Resync(uint64_t block, bool final) {
    const uint64_t at = uint64_t(std::max<int64_t>(int64_t(block * kBlock) + shift_, 0));
    // Where the output resumes: after the silence the fault left, if it left any.
    const auto [silenceAt, silence] =
        ZeroRunNear(at > 4 * kBlock ? at - 4 * kBlock : 0, at + 4 * kBlock);
    const uint64_t resume = silence ? silenceAt + silence : at;
    size_t blocks = kWindowBlocks;
    if (!Covered(resume + blocks * kBlock)) {
        if (!final) return false;  // wait for the output to cover the window
        blocks = size_t((outFrames_ > resume ? outFrames_ - resume : 0) / kBlock);
    }
    if (blocks < 8) {
        nextBlock_ = block + kWindowBlocks;
        return true;
    }
    double level = level_;
    int64_t bestShift = shift_;
    double best = Score(resume, blocks, shift_, &level);
    if (!(best < kTogether / 2)) {
        // Music that went on after the silence where it stopped is the likeliest, then music
        // near where it was.
        best = kUnknown;
        for (const int64_t center : {shift_ + int64_t(silence), shift_}) {
            int64_t s = center;
            double l = level_;
            const double v = BestShift(resume, blocks, center, &s, &l);
            if (v < best) {
                best = v;
                bestShift = s;
                level = l;
            }
            if (!silence) break;
        }
    }
    if (!(best < kTogether)) {
        // Nothing explains it (a hole beyond the search, or too little music after it): the
        // silence heard is told, and the length check at the end tells what else is missing.
        if (silence >= kShortestGap) gaps_.push_back({silenceAt, silence, Gap::Kind::kMissing});
        nextBlock_ = block + kWindowBlocks;
        return true;
    }
    Tell(silence ? silenceAt : at, silence, bestShift - shift_);
    shift_ = bestShift;
    level_ = level;
    // Go on after the fault, never back before it (the old shift had found it there).
    const uint64_t after = uint64_t(std::max<int64_t>(int64_t(resume) - shift_, 0)) / kBlock + 1;
    nextBlock_ = std::max(after, block + 1);
    return true;
}

// The music resumes `moved` frames later (or earlier) than it was, after `silence` frames of
// silence: what went in later was silence put in; what the silence covered beyond that, and
// what came earlier, is music missing.
void RecordingAligner::Tell(uint64_t at, uint64_t silence, int64_t moved) {
    const uint64_t later = moved > 0 ? uint64_t(moved) : 0;
    const uint64_t missing =
        (silence > later ? silence - later : 0) + uint64_t(std::max<int64_t>(-moved, 0));
    if (later >= kShortestGap) gaps_.push_back({at, later, Gap::Kind::kSilenceInserted});
    // Energies place a shift to within a few ms only, and the quietest frames at the edges of
    // a silence put in are zeros too.
    const uint64_t least = silence > later && later < kShortestGap ? kShortestGap : kShortestShift;
    if (missing >= least) gaps_.push_back({at, missing, Gap::Kind::kMissing});
}

double RecordingAligner::BestShift(uint64_t from, size_t blocks, int64_t center, int64_t* shift,
                                   double* level) const {
    // Music repeats itself, and a farther match of a repeated bar is no better evidence.
    double best = kUnknown;
    auto consider = [&](int64_t s) {
        double l = 0;
        const double v =
            Score(from, blocks, s, &l) + kNearer * double(std::llabs(s - center)) / 44100.0;
        if (v < best) {
            best = v;
            *shift = s;
            *level = l;
        }
    };
    for (int64_t s = center - kSearch; s <= center + kSearch; s += kCoarseStep) consider(s);
    const int64_t coarse = *shift;
    for (int64_t s = coarse - kCoarseStep; s <= coarse + kCoarseStep; ++s) consider(s);
    return best - kNearer * double(std::llabs(*shift - center)) / 44100.0;
}

std::pair<uint64_t, uint64_t> RecordingAligner::ZeroRunNear(uint64_t from, uint64_t to) const {
    std::pair<uint64_t, uint64_t> best{0, 0};
    for (auto it = zeroRuns_.rbegin(); it != zeroRuns_.rend(); ++it) {
        if (it->at + it->frames <= from) break;
        if (it->at < to && it->frames > best.second) best = {it->at, it->frames};
    }
    return best;
}

}  // namespace platform::pulse
