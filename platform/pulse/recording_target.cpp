#include "platform/pulse/recording_target.h"

#include "platform/pulse/program_levels.h"
#include "platform/wavein.h"

namespace platform::pulse {

bool IsLineDevice(UINT deviceId) {
    return deviceId == WAVE_MAPPER || deviceId == 0;
}

// A sequencer's own device records on the synthesizer line's levels, as the line does; the line
// carries the sequencer opened last, for a caller that opens the default device.
bool TargetOfDevice(UINT deviceId, const RecorderTable& recorders, RecordingTarget* target) {
    if (IsLineDevice(deviceId)) {
        target->line = ProgramLevels::Instance().Selected();
        if (target->line != kSynthesizerLine) {
            target->source = target->line;
            return true;
        }
        target->tap = recorders.Newest();
    } else {
        target->line = kSynthesizerLine;
        target->tap = recorders.Find(deviceId);
    }
    if (!target->tap) return false;
    target->source = target->tap->monitorSource();
    return true;
}

}  // namespace platform::pulse
