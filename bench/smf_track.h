#pragma once
// The benchmarks' MIDI files: a track takes its events in any order and writes them sorted by
// tick (events of one tick in the order given), none past the track's end.
#include <cstdint>
#include <vector>

namespace bench {

class SmfTrack {
  public:
    void Add(uint32_t tick, std::vector<uint8_t> bytes);
    void Note(uint32_t tick, uint32_t length, uint8_t channel, uint8_t key, uint8_t velocity);
    // The MTrk chunk, its end-of-track event at `end`.
    std::vector<uint8_t> Chunk(uint32_t end);

  private:
    struct Event {
        uint32_t tick;
        std::vector<uint8_t> bytes;
    };
    std::vector<Event> events_;
};

// A format 1 file of the given tracks, all ending at `end`.
std::vector<uint8_t> SmfFile(uint16_t division, std::vector<SmfTrack>& tracks, uint32_t end);

}  // namespace bench
