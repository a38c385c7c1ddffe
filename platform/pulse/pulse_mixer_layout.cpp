#include "platform/pulse/pulse_mixer_layout.h"

#include <algorithm>
#include <cctype>

namespace platform::pulse {

namespace {

constexpr DWORD kDestinationLine = 0xFFFF0000;
constexpr DWORD kSpeakers = 0;
constexpr DWORD kRecording = 1;

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

// Names go into 64-byte fields: cut to 63 bytes without splitting a UTF-8 sequence.
std::string Cut(const std::string& s, size_t bytes = MIXER_LONG_NAME_CHARS - 1) {
    if (s.size() <= bytes) return s;
    size_t n = bytes;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    return s.substr(0, n);
}

const ServerDevice* Find(const std::vector<ServerDevice>& devices, const std::string& name) {
    for (const auto& d : devices)
        if (d.name == name) return &d;
    return nullptr;
}

class Builder {
  public:
    explicit Builder(PulseMixerLayout& layout) : layout_(layout) {}

    void AddVolumeAndMute(MixerLine& line, const std::string& device, bool sink) {
        MixerControl volume;
        volume.id = nextId_++;
        volume.type = MIXERCONTROL_CONTROLTYPE_VOLUME;
        volume.shortName = "Volume";
        volume.name = Cut(line.name + " Volume");
        volume.minimum = 0;
        volume.maximum = kVolumeMaximum;
        volume.steps = DWORD(kVolumeMaximum);
        layout_.bindings.emplace(
            volume.id,
            PulseBinding{sink ? PulseBinding::SinkVolume : PulseBinding::SourceVolume, device, {}});
        line.controls.push_back(volume);

        MixerControl mute;
        mute.id = nextId_++;
        mute.type = MIXERCONTROL_CONTROLTYPE_MUTE;
        mute.flags = MIXERCONTROL_CONTROLF_UNIFORM;
        mute.shortName = "Mute";
        mute.name = Cut(line.name + " Mute");
        mute.minimum = 0;
        mute.maximum = 1;
        layout_.bindings.emplace(
            mute.id,
            PulseBinding{sink ? PulseBinding::SinkMute : PulseBinding::SourceMute, device, {}});
        line.controls.push_back(mute);
    }

    void AddSelector(MixerLine& line, const std::vector<MixerLine>& sources,
                     const std::vector<ServerDevice>& serverSources) {
        MixerControl mux;
        mux.id = nextId_++;
        mux.type = MIXERCONTROL_CONTROLTYPE_MUX;
        mux.flags = MIXERCONTROL_CONTROLF_UNIFORM | MIXERCONTROL_CONTROLF_MULTIPLE;
        mux.shortName = "Select";
        mux.name = "Recording Source";
        PulseBinding binding{PulseBinding::DefaultSource, {}, {}};
        for (size_t i = 0; i < sources.size(); ++i) {
            mux.items.push_back({sources[i].id, sources[i].componentType, sources[i].name});
            binding.items.push_back(serverSources[i].name);
        }
        mux.minimum = 0;
        mux.maximum = mux.items.empty() ? 0 : LONG(mux.items.size() - 1);
        mux.steps = DWORD(mux.items.size());
        layout_.bindings.emplace(mux.id, std::move(binding));
        line.controls.push_back(std::move(mux));
    }

  private:
    PulseMixerLayout& layout_;
    DWORD nextId_ = 1;
};

}  // namespace

DWORD SourceComponentType(const ServerDevice& source, const std::string& defaultSink) {
    if (!source.monitorOf.empty())
        return source.monitorOf == defaultSink ? MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER
                                               : MIXERLINE_COMPONENTTYPE_SRC_ANALOG;
    static const char* const kMicForms[] = {"microphone", "headset", "webcam", "handset",
                                            "hands-free"};
    const std::string form = Lower(source.formFactor);
    for (const char* f : kMicForms)
        if (form == f) return MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
    if (source.portKind == PortKind::Microphone) return MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
    if (source.portKind == PortKind::Unknown &&
        Lower(source.activePort).find("mic") != std::string::npos)
        return MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
    return MIXERLINE_COMPONENTTYPE_SRC_LINE;
}

PulseMixerLayout BuildMixerLayout(const ServerSnapshot& server) {
    PulseMixerLayout layout;
    Builder builder(layout);
    MixerTopology& t = layout.topology;
    t.productName =
        Cut(server.serverName.empty() ? "Sound server" : server.serverName, MAXPNAMELEN - 1);

    MixerDestination speakers;
    speakers.line.id = kDestinationLine + kSpeakers;
    speakers.line.componentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
    speakers.line.targetType = MIXERLINE_TARGETTYPE_WAVEOUT;
    if (const ServerDevice* sink = Find(server.sinks, server.defaultSink)) {
        speakers.line.name = Cut(sink->description.empty() ? sink->name : sink->description);
        speakers.line.channels = sink->channels;
        builder.AddVolumeAndMute(speakers.line, sink->name, true);
    } else {
        speakers.line.name = "Speakers";
        speakers.line.flags = MIXERLINE_LINEF_DISCONNECTED;
    }
    speakers.line.shortName = Cut(speakers.line.name, MIXER_SHORT_NAME_CHARS - 1);

    MixerDestination recording;
    recording.line.id = kDestinationLine + kRecording;
    recording.line.componentType = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
    recording.line.targetType = MIXERLINE_TARGETTYPE_WAVEIN;
    recording.line.name = "Recording";
    for (size_t i = 0; i < server.sources.size(); ++i) {
        const ServerDevice& s = server.sources[i];
        MixerLine line;
        line.id = (DWORD(i) << 16) | kRecording;
        line.componentType = SourceComponentType(s, server.defaultSink);
        line.channels = s.channels;
        const std::string& description = s.description.empty() ? s.name : s.description;
        if (line.componentType == MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER) {
            const ServerDevice* sink = Find(server.sinks, s.monitorOf);
            const std::string& of =
                sink && !sink->description.empty() ? sink->description : s.monitorOf;
            line.name = Cut("Synthesizer (" + of + ")");
        } else {
            line.name = Cut(description);
        }
        line.shortName = Cut(line.name, MIXER_SHORT_NAME_CHARS - 1);
        builder.AddVolumeAndMute(line, s.name, false);
        recording.sources.push_back(std::move(line));
    }
    if (const ServerDevice* source = Find(server.sources, server.defaultSource)) {
        recording.line.name =
            Cut("Recording (" + (source->description.empty() ? source->name : source->description) +
                ")");
        recording.line.channels = source->channels;
        builder.AddVolumeAndMute(recording.line, source->name, false);
    }
    recording.line.shortName = Cut(recording.line.name, MIXER_SHORT_NAME_CHARS - 1);
    builder.AddSelector(recording.line, recording.sources, server.sources);

    t.destinations.push_back(std::move(speakers));
    t.destinations.push_back(std::move(recording));
    return layout;
}

}  // namespace platform::pulse
