#pragma once
// Walks the song's events cycle by cycle in the process callback: which events fall into the
// music frames [from, from + frames) and at which offset. No allocation, no lock; the song
// is immutable while the cursor lives.
#include <cstddef>
#include <cstdint>

#include "platform/midi/smf_reader.h"

namespace platform::jack {

class EventCursor {
  public:
    explicit EventCursor(const platform::midi::SmfSong& song) : song_(song) {}

    void Rewind() { next_ = 0; }
    // Calls emit(offset, event) for every event with from <= frame < from + frames, in order.
    // Events before `from` that were never emitted (the cursor fell behind) go out at offset 0:
    // a late note is better than a lost one, and a lost note-off would hang.
    template <class Emit>
    void Cycle(uint64_t from, uint32_t frames, Emit&& emit) {
        const auto& events = song_.events;
        while (next_ < events.size() && events[next_].frame < from + frames) {
            const auto& e = events[next_];
            emit(uint32_t(e.frame > from ? e.frame - from : 0), e);
            ++next_;
        }
    }
    bool Done() const { return next_ >= song_.events.size(); }

  private:
    const platform::midi::SmfSong& song_;
    size_t next_ = 0;
};

// The bytes of a channel voice message: 2 for program change and channel pressure, else 3.
inline size_t MidiMessageSize(uint8_t status) {
    const uint8_t kind = status & 0xF0;
    return (kind == 0xC0 || kind == 0xD0) ? 2 : 3;
}

}  // namespace platform::jack
