#pragma once
// Tells from the server's frame time at each cycle's start whether cycles were skipped in
// between: PipeWire skips them without an xrun callback, so the jump is the only sign.
// Pure and real-time safe.
#include <cstdint>

namespace platform::jack {

class FrameClock {
  public:
    // The frame time at this cycle's start and its length; returns the frames skipped since
    // the previous cycle (0 for the first one, and when the counter runs on as it should).
    uint64_t Cycle(uint32_t frameTime, uint32_t frames) {
        uint64_t skipped = 0;
        if (started_) {
            // Unsigned 32-bit difference: the server's counter wraps after 27 hours.
            const uint32_t moved = frameTime - expected_;
            // A counter that went back (a restarted server) is no skip of ours to count.
            if (moved != 0 && moved < 0x80000000u) skipped = moved;
        }
        started_ = true;
        expected_ = frameTime + frames;
        return skipped;
    }

  private:
    bool started_ = false;
    uint32_t expected_ = 0;
};

}  // namespace platform::jack
