#pragma once
// The wave-in devices that each record one sequencer's stream alone: the link between an open
// sequencer (which answers MCI_STATUS_RECORDER with its device ID) and a recording of it.
// One table per backend, shared by its MCI and wave-in services; any thread.
//
// IDs run from 1 to 0x0FFF: device 0 (and WAVE_MAPPER) is the line the mixer selected, and a
// JACK backend numbers its devices from 0x1000 on. A freed ID is taken again only after every
// other, so a recording opened with a stale ID does not quietly record another song.
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/mmtypes.h"
#include "platform/pulse/sequencer_tap.h"

namespace platform::pulse {

class RecorderTable {
  public:
    static constexpr UINT kFirstId = 1;
    static constexpr UINT kLastId = 0x0FFF;

    // The new device's ID; 0 when every ID is taken.
    UINT Add(std::shared_ptr<SequencerTap> tap);
    void Remove(UINT id);
    std::shared_ptr<SequencerTap> Find(UINT id) const;
    // The sequencer opened last: what the synthesizer line carries for a caller that opens the
    // default device rather than a sequencer's own.
    std::shared_ptr<SequencerTap> Newest() const;

  private:
    struct Entry {
        UINT id;
        std::shared_ptr<SequencerTap> tap;
    };
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;  // in the order they were added
    UINT next_ = kFirstId;
};

}  // namespace platform::pulse
