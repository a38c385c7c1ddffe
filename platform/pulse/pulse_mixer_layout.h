#pragma once
// How the sound server appears as a mixer whose every control is this program's own:
// destination 0 the speakers (the program's playback streams), destination 1 the recording
// side (the program's record stream) with a MUX over its lines: first the synthesizer (the
// program's own sequencer output), then one line per server source. Pure: built from a
// snapshot of the server's devices, which it only names.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/mixer.h"

namespace platform::pulse {

enum class PortKind { Unknown, Microphone, Line };

struct ServerDevice {
    std::string name, description;
    DWORD channels = 2;
    std::string monitorOf;   // sources: the sink this source monitors, empty if none
    std::string formFactor;  // device.form_factor
    std::string activePort;  // name of the active port, empty if none
    PortKind portKind = PortKind::Unknown;
};

struct ServerSnapshot {
    std::string serverName;
    std::string defaultSink, defaultSource;
    std::vector<ServerDevice> sinks, sources;
};

// What a control acts on (ProgramLevels).
struct PulseBinding {
    enum Kind {
        SpeakersVolume,
        SpeakersMute,
        RecordingVolume,
        RecordingMute,
        LineVolume,
        LineMute,
        Selection
    } kind;
    std::string line;                // LineVolume, LineMute: the line's key
    std::vector<std::string> items;  // Selection: the line key of each item
};

struct PulseMixerLayout {
    MixerTopology topology;
    std::map<DWORD, PulseBinding> bindings;  // by control ID
};

constexpr LONG kVolumeMaximum = 65535;

// Monitors are analog lines, microphones by form factor or port, anything else a line input.
DWORD SourceComponentType(const ServerDevice& source);
PulseMixerLayout BuildMixerLayout(const ServerSnapshot& server);

}  // namespace platform::pulse
