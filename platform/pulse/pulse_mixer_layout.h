#pragma once
// How the sound server appears as a mixer: destination 0 the default sink (speakers),
// destination 1 the default source (the recording side) with a MUX over every source, and
// one source line per server source. Pure: built from a snapshot of the server's state.
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

// What a control acts on.
struct PulseBinding {
    enum Kind { SinkVolume, SinkMute, SourceVolume, SourceMute, DefaultSource } kind;
    std::string device;              // sink or source name
    std::vector<std::string> items;  // DefaultSource: the source of each item
};

struct PulseMixerLayout {
    MixerTopology topology;
    std::map<DWORD, PulseBinding> bindings;  // by control ID
};

constexpr LONG kVolumeMaximum = 65535;

DWORD SourceComponentType(const ServerDevice& source, const std::string& defaultSink);
PulseMixerLayout BuildMixerLayout(const ServerSnapshot& server);

}  // namespace platform::pulse
