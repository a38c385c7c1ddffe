#pragma once
// What a wave-in device records, chosen when it opens: device 0 (or WAVE_MAPPER) the line the
// mixer selected, a sequencer's own device (RecorderTable) that sequencer's stream alone.
#include <memory>
#include <string>

#include "platform/mmtypes.h"
#include "platform/pulse/recorder_table.h"
#include "platform/pulse/sequencer_tap.h"

namespace platform::pulse {

struct RecordingTarget {
    std::string source;                 // the server source to record
    std::shared_ptr<SequencerTap> tap;  // a sequencer's stream alone, to record with its levels
    std::string line;                   // the line's key in ProgramLevels
};

// Device 0 and WAVE_MAPPER: the selected line, not one sequencer's device.
bool IsLineDevice(UINT deviceId);
// False when there is nothing to record: the synthesizer line, or a sequencer's own device,
// without its sequencer's stream.
bool TargetOfDevice(UINT deviceId, const RecorderTable& recorders, RecordingTarget* target);

}  // namespace platform::pulse
