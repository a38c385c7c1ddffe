#include "platform/pulse/sequencer_tap.h"

#include <algorithm>
#include <cmath>

namespace platform::pulse {

namespace {

// A recorder looks back a few seconds at most; a stream nobody records keeps no more.
constexpr size_t kKeptBlocks = 30 * 44100 / SequencerTap::kBlockFrames;

}  // namespace

SequencerTap::SequencerTap(uint32_t sinkInput, std::string monitorSource)
    : sinkInput_(sinkInput), monitorSource_(std::move(monitorSource)) {}

void SequencerTap::MusicStarted() {
    std::lock_guard lock(mutex_);
    started_ = true;
}

void SequencerTap::MusicEnded() {
    std::lock_guard lock(mutex_);
    ended_ = true;
}

void SequencerTap::Music(const float* interleaved, size_t frames) {
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < frames; ++i) {
        const float l = interleaved[2 * i], r = interleaved[2 * i + 1];
        if (firstAudible_ < 0 && threshold_ > 0 &&
            (std::fabs(l) >= threshold_ || std::fabs(r) >= threshold_))
            firstAudible_ = int64_t(rendered_);
        pending_ += double(l) * l + double(r) * r;
        ++rendered_;
        if (rendered_ % kBlockFrames == 0) {
            energies_.push_back(float(pending_));
            pending_ = 0;
            if (energies_.size() > kKeptBlocks) {
                energies_.pop_front();
                ++firstKept_;
            }
        }
    }
}

void SequencerTap::PlayedFrames(uint64_t frames) {
    std::lock_guard lock(mutex_);
    played_ = std::max(played_, frames);
}

void SequencerTap::SetAudibleThreshold(float threshold) {
    std::lock_guard lock(mutex_);
    threshold_ = threshold;
}

SequencerTap::Status SequencerTap::Read() const {
    std::lock_guard lock(mutex_);
    return {started_, ended_, rendered_, played_, firstAudible_};
}

std::vector<float> SequencerTap::Energies(uint64_t first, size_t count) const {
    std::lock_guard lock(mutex_);
    std::vector<float> out;
    if (first < firstKept_) return out;
    const uint64_t from = first - firstKept_;
    for (uint64_t i = from; i < energies_.size() && out.size() < count; ++i)
        out.push_back(energies_[size_t(i)]);
    return out;
}

void SequencerTap::Forget(uint64_t before) {
    std::lock_guard lock(mutex_);
    while (firstKept_ < before && !energies_.empty()) {
        energies_.pop_front();
        ++firstKept_;
    }
}

}  // namespace platform::pulse
