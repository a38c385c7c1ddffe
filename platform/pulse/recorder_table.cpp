#include "platform/pulse/recorder_table.h"

#include <algorithm>

namespace platform::pulse {

UINT RecorderTable::Add(std::shared_ptr<SequencerTap> tap) {
    std::lock_guard lock(mutex_);
    const auto taken = [this](UINT id) {
        return std::any_of(entries_.begin(), entries_.end(),
                           [id](const Entry& e) { return e.id == id; });
    };
    for (UINT tries = 0; tries <= kLastId - kFirstId; ++tries) {
        const UINT id = next_;
        next_ = next_ == kLastId ? kFirstId : next_ + 1;
        if (taken(id)) continue;
        entries_.push_back({id, std::move(tap)});
        return id;
    }
    return 0;
}

void RecorderTable::Remove(UINT id) {
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [id](const Entry& e) { return e.id == id; });
}

std::shared_ptr<SequencerTap> RecorderTable::Find(UINT id) const {
    std::lock_guard lock(mutex_);
    for (const Entry& e : entries_)
        if (e.id == id) return e.tap;
    return nullptr;
}

std::shared_ptr<SequencerTap> RecorderTable::Newest() const {
    std::lock_guard lock(mutex_);
    return entries_.empty() ? nullptr : entries_.back().tap;
}

}  // namespace platform::pulse
