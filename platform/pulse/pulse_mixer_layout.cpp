#include "platform/pulse/pulse_mixer_layout.h"

#include "platform/pulse/program_levels.h"

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

    void AddVolumeAndMute(MixerLine& line, PulseBinding::Kind volumeKind,
                          PulseBinding::Kind muteKind, const std::string& key = {}) {
        MixerControl volume;
        volume.id = nextId_++;
        volume.type = MIXERCONTROL_CONTROLTYPE_VOLUME;
        // One level for all channels: the program's streams have one volume each.
        volume.flags = MIXERCONTROL_CONTROLF_UNIFORM;
        volume.shortName = "Volume";
        volume.name = Cut(line.name + " Volume");
        volume.minimum = 0;
        volume.maximum = kVolumeMaximum;
        volume.steps = DWORD(kVolumeMaximum);
        layout_.bindings.emplace(volume.id, PulseBinding{volumeKind, key, {}});
        line.controls.push_back(volume);

        MixerControl mute;
        mute.id = nextId_++;
        mute.type = MIXERCONTROL_CONTROLTYPE_MUTE;
        mute.flags = MIXERCONTROL_CONTROLF_UNIFORM;
        mute.shortName = "Mute";
        mute.name = Cut(line.name + " Mute");
        mute.minimum = 0;
        mute.maximum = 1;
        layout_.bindings.emplace(mute.id, PulseBinding{muteKind, key, {}});
        line.controls.push_back(mute);
    }

    void AddSelector(MixerLine& line, const std::vector<MixerLine>& sources,
                     const std::vector<std::string>& keys) {
        MixerControl mux;
        mux.id = nextId_++;
        mux.type = MIXERCONTROL_CONTROLTYPE_MUX;
        mux.flags = MIXERCONTROL_CONTROLF_UNIFORM | MIXERCONTROL_CONTROLF_MULTIPLE;
        mux.shortName = "Select";
        mux.name = "Recording Source";
        for (const MixerLine& source : sources)
            mux.items.push_back({source.id, source.componentType, source.name});
        mux.minimum = 0;
        mux.maximum = mux.items.empty() ? 0 : LONG(mux.items.size() - 1);
        mux.steps = DWORD(mux.items.size());
        layout_.bindings.emplace(mux.id, PulseBinding{PulseBinding::Selection, {}, keys});
        line.controls.push_back(std::move(mux));
    }

  private:
    PulseMixerLayout& layout_;
    DWORD nextId_ = 1;
};

MixerLine SourceLine(size_t index, DWORD componentType, const std::string& name, DWORD channels) {
    MixerLine line;
    line.id = (DWORD(index) << 16) | kRecording;
    line.componentType = componentType;
    line.channels = channels;
    line.name = Cut(name);
    line.shortName = Cut(line.name, MIXER_SHORT_NAME_CHARS - 1);
    return line;
}

}  // namespace

DWORD SourceComponentType(const ServerDevice& source) {
    if (!source.monitorOf.empty()) return MIXERLINE_COMPONENTTYPE_SRC_ANALOG;
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
    speakers.line.name = "Speakers";
    if (const ServerDevice* sink = Find(server.sinks, server.defaultSink))
        speakers.line.name =
            Cut("Speakers (" + (sink->description.empty() ? sink->name : sink->description) + ")");
    speakers.line.shortName = Cut(speakers.line.name, MIXER_SHORT_NAME_CHARS - 1);
    builder.AddVolumeAndMute(speakers.line, PulseBinding::SpeakersVolume,
                             PulseBinding::SpeakersMute);

    MixerDestination recording;
    recording.line.id = kDestinationLine + kRecording;
    recording.line.componentType = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
    recording.line.targetType = MIXERLINE_TARGETTYPE_WAVEIN;
    recording.line.name = "Recording";
    recording.line.shortName = "Recording";
    std::vector<std::string> keys{kSynthesizerLine};
    recording.sources.push_back(
        SourceLine(0, MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER, "Synthesizer", 2));
    for (const ServerDevice& s : server.sources) {
        recording.sources.push_back(SourceLine(recording.sources.size(), SourceComponentType(s),
                                               s.description.empty() ? s.name : s.description,
                                               s.channels));
        keys.push_back(s.name);
    }
    for (size_t i = 0; i < recording.sources.size(); ++i)
        builder.AddVolumeAndMute(recording.sources[i], PulseBinding::LineVolume,
                                 PulseBinding::LineMute, keys[i]);
    builder.AddVolumeAndMute(recording.line, PulseBinding::RecordingVolume,
                             PulseBinding::RecordingMute);
    builder.AddSelector(recording.line, recording.sources, keys);

    t.destinations.push_back(std::move(speakers));
    t.destinations.push_back(std::move(recording));
    return layout;
}

}  // namespace platform::pulse
