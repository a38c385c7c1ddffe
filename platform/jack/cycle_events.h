#pragma once
// The events the shared schedule hands over during one process cycle, each written at its
// offset in the cycle. One whose frame has passed (the cycle came late) goes at offset 0: a late
// note is better than a lost one, and a lost note-off would hang. No allocation, no lock.
#include <cstddef>
#include <cstdint>

#include "platform/midi/event_schedule.h"

namespace platform::jack {

// The bytes of a channel voice message: 2 for program change and channel pressure, else 3.
inline size_t MidiMessageSize(uint8_t status) {
    const uint8_t kind = status & 0xF0;
    return (kind == 0xC0 || kind == 0xD0) ? 2 : 3;
}

// `write(offset, bytes, size)` puts one message into the cycle's MIDI buffer.
template <class Write>
class CycleEvents final : public platform::midi::EventSink {
  public:
    CycleEvents(uint64_t cycleStart, Write& write) : start_(cycleStart), write_(write) {}

    void Event(uint64_t frame, const platform::midi::MidiEvent& e) override {
        const uint8_t bytes[3] = {e.status, e.data1, e.data2};
        write_(uint32_t(frame > start_ ? frame - start_ : 0), bytes, MidiMessageSize(e.status));
    }

  private:
    const uint64_t start_;
    Write& write_;
};

}  // namespace platform::jack
