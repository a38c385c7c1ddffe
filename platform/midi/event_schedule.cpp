#include "platform/midi/event_schedule.h"

#include <algorithm>

namespace platform::midi {

EventSchedule::EventSchedule(std::shared_ptr<const SmfSong> song) : song_(std::move(song)) {}

size_t EventSchedule::HandOverBefore(uint64_t frame, EventSink& sink) {
    const auto& events = song_->events;
    const size_t first = next_;
    while (next_ < events.size() && events[next_].frame < frame) {
        const MidiEvent& e = events[next_++];
        sink.Event(e.frame, e);
    }
    return next_ - first;
}

uint64_t EventSchedule::NextFrame() const {
    return Done() ? kNever : song_->events[next_].frame;
}

void EventSchedule::Seek(uint64_t frame) {
    const auto& events = song_->events;
    next_ = size_t(std::lower_bound(events.begin(), events.end(), frame,
                                    [](const MidiEvent& e, uint64_t f) { return e.frame < f; }) -
                   events.begin());
}

}  // namespace platform::midi
