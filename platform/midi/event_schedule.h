#pragma once
// Which event of a song goes out at which frame: the one place that decides it, for every
// synthesizer a backend plays into (the built-in one between its renders, an external one from a
// real-time process callback).
//
// The schedule walks the song's events in order and hands each to an EventSink once, when the
// caller's clock passes its frame. However the caller slices its frames, every event is handed
// over exactly once, in the song's order, with its own frame. Handing over neither allocates nor
// locks, so it may run on a real-time thread; the song is shared and never changed.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/midi/smf_reader.h"

namespace platform::midi {

// Where the scheduled events go: an event sink at frame N.
class EventSink {
  public:
    virtual ~EventSink() = default;
    // `frame` is the event's own frame in the song (MidiEvent::frame).
    virtual void Event(uint64_t frame, const MidiEvent& event) = 0;
};

class EventSchedule {
  public:
    static constexpr uint64_t kNever = UINT64_MAX;

    explicit EventSchedule(std::shared_ptr<const SmfSong> song);

    // Hands every event not yet handed whose frame is before `frame` to `sink`, in order, and
    // returns how many it handed.
    size_t HandOverBefore(uint64_t frame, EventSink& sink);
    // The frame of the next event to hand over; kNever when every one has been.
    uint64_t NextFrame() const;
    bool Done() const { return next_ == song_->events.size(); }
    // Nothing handed over yet (at the start, or just rewound).
    bool AtStart() const { return next_ == 0; }

    // The next event handed over is the first at or after `frame`; the ones before it are
    // skipped, not handed over. A backend that cannot render its way to `frame` sends what it
    // needs of them itself.
    void Seek(uint64_t frame);
    void Rewind() { next_ = 0; }

    const SmfSong& Song() const { return *song_; }

  private:
    std::shared_ptr<const SmfSong> song_;
    size_t next_ = 0;  // index of the next event to hand over
};

}  // namespace platform::midi
