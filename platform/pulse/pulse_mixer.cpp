// The sound server as mixer device 0. Its layout (which sources there are) is read once at
// open; a server that is gone or does not answer makes the open fail, never hang. The values
// are the program's own (ProgramLevels).
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>

#include "platform/mixer.h"
#include "platform/pulse/pulse_backend.h"
#include "platform/pulse/pulse_context.h"
#include "platform/pulse/pulse_mixer_layout.h"
#include "platform/pulse/program_levels.h"

namespace platform::pulse {

namespace {

constexpr std::chrono::milliseconds kConnectTimeout{3000};
constexpr std::chrono::milliseconds kCallTimeout{5000};

// A deadline for a server that is alive but does not answer; *timedOut tells a silent server
// from a refusal. Call with the lock held.
bool RunTimed(const PulseContext& ctx, pa_operation* op, bool* timedOut = nullptr) {
    return ctx.run(op, kCallTimeout, timedOut);
}

std::string Text(const char* s) {
    return s ? s : "";
}

PortKind KindOf(pa_device_port_type_t type) {
    switch (type) {
        case PA_DEVICE_PORT_TYPE_MIC:
        case PA_DEVICE_PORT_TYPE_HEADSET:
        case PA_DEVICE_PORT_TYPE_HANDSET:
        case PA_DEVICE_PORT_TYPE_HANDSFREE:
            return PortKind::Microphone;
        case PA_DEVICE_PORT_TYPE_UNKNOWN:
            return PortKind::Unknown;
        default:
            return PortKind::Line;
    }
}

struct Listing {
    const PulseContext* ctx;
    ServerSnapshot* snapshot;
    std::vector<std::pair<uint32_t, std::string>> sinkIndices;
    std::vector<uint32_t> monitorOf;  // per source
};

// What sinks and sources have in common.
template <class Info>
ServerDevice DeviceOf(const Info* i) {
    ServerDevice d;
    d.name = Text(i->name);
    d.description = Text(i->description);
    d.channels = i->channel_map.channels;
    return d;
}

bool ReadServer(const PulseContext& ctx, ServerSnapshot* snapshot) {
    Listing l{&ctx, snapshot, {}, {}};
    pa_context* c = ctx.context();
    const bool ok =
        RunTimed(ctx, pa_context_get_server_info(
                          c,
                          [](pa_context*, const pa_server_info* i, void* ud) {
                              auto* l = static_cast<Listing*>(ud);
                              if (i) {
                                  l->snapshot->serverName = Text(i->server_name);
                                  l->snapshot->defaultSink = Text(i->default_sink_name);
                                  l->snapshot->defaultSource = Text(i->default_source_name);
                              }
                              l->ctx->signal();
                          },
                          &l)) &&
        RunTimed(ctx, pa_context_get_sink_info_list(
                          c,
                          [](pa_context*, const pa_sink_info* i, int eol, void* ud) {
                              auto* l = static_cast<Listing*>(ud);
                              if (eol || !i) {
                                  l->ctx->signal();
                                  return;
                              }
                              ServerDevice d = DeviceOf(i);
                              l->snapshot->sinks.push_back(d);
                              l->sinkIndices.emplace_back(i->index, d.name);
                          },
                          &l)) &&
        RunTimed(ctx, pa_context_get_source_info_list(
                          c,
                          [](pa_context*, const pa_source_info* i, int eol, void* ud) {
                              auto* l = static_cast<Listing*>(ud);
                              if (eol || !i) {
                                  l->ctx->signal();
                                  return;
                              }
                              ServerDevice d = DeviceOf(i);
                              d.formFactor =
                                  Text(pa_proplist_gets(i->proplist, PA_PROP_DEVICE_FORM_FACTOR));
                              if (i->active_port) {
                                  d.activePort = Text(i->active_port->name);
                                  d.portKind = KindOf(pa_device_port_type_t(i->active_port->type));
                              }
                              l->snapshot->sources.push_back(d);
                              l->monitorOf.push_back(i->monitor_of_sink);
                          },
                          &l));
    if (!ok) return false;
    for (size_t s = 0; s < snapshot->sources.size(); ++s) {
        if (l.monitorOf[s] == PA_INVALID_INDEX) continue;
        for (const auto& [index, name] : l.sinkIndices)
            if (index == l.monitorOf[s]) snapshot->sources[s].monitorOf = name;
    }
    return true;
}

// The controls are the program's own settings: reading and writing them needs no server, and
// no write ever reaches a device of the user's.
class PulseMixerDevice : public MixerDevice {
  public:
    explicit PulseMixerDevice(PulseMixerLayout layout) : layout_(std::move(layout)) {}

    const MixerTopology& Topology() const override { return layout_.topology; }

    MMRESULT ReadValues(const MixerControl& control, DWORD count,
                        std::vector<LONG>* values) override {
        auto it = layout_.bindings.find(control.id);
        if (it == layout_.bindings.end()) return MIXERR_INVALCONTROL;
        const PulseBinding& b = it->second;
        ProgramLevels& levels = ProgramLevels::Instance();
        if (b.kind == PulseBinding::Selection) {
            const std::string selected = levels.Selected();
            values->clear();
            for (const auto& key : b.items) values->push_back(key == selected ? 1 : 0);
            values->resize(count, 0);
            return MMSYSERR_NOERROR;
        }
        const Level level = LevelOf(b);
        values->assign(count, IsMute(b) ? (level.mute ? 1 : 0) : LONG(level.volume));
        return MMSYSERR_NOERROR;
    }

    MMRESULT WriteValues(const MixerControl& control, DWORD count,
                         const std::vector<LONG>& values) override {
        auto it = layout_.bindings.find(control.id);
        if (it == layout_.bindings.end()) return MIXERR_INVALCONTROL;
        if (values.empty() || values.size() != count) return MMSYSERR_INVALPARAM;
        const PulseBinding& b = it->second;
        if (b.kind == PulseBinding::Selection) {
            // Of several selected items the last one wins; with none the selection stays.
            const std::string* chosen = nullptr;
            for (size_t i = 0; i < values.size() && i < b.items.size(); ++i)
                if (values[i] != 0) chosen = &b.items[i];
            if (chosen) ProgramLevels::Instance().Select(*chosen);
            return MMSYSERR_NOERROR;
        }
        Level level = LevelOf(b);
        if (IsMute(b))
            level.mute = values[0] != 0;
        else
            level.volume = *std::max_element(values.begin(), values.end());
        SetLevel(b, level);
        return MMSYSERR_NOERROR;
    }

  private:
    static bool IsMute(const PulseBinding& b) {
        return b.kind == PulseBinding::SpeakersMute || b.kind == PulseBinding::RecordingMute ||
               b.kind == PulseBinding::LineMute;
    }

    static Level LevelOf(const PulseBinding& b) {
        ProgramLevels& levels = ProgramLevels::Instance();
        switch (b.kind) {
            case PulseBinding::SpeakersVolume:
            case PulseBinding::SpeakersMute:
                return levels.Speakers();
            case PulseBinding::RecordingVolume:
            case PulseBinding::RecordingMute:
                return levels.Recording();
            default:
                return levels.Line(b.line);
        }
    }

    static void SetLevel(const PulseBinding& b, const Level& level) {
        ProgramLevels& levels = ProgramLevels::Instance();
        switch (b.kind) {
            case PulseBinding::SpeakersVolume:
            case PulseBinding::SpeakersMute:
                levels.SetSpeakers(level);
                break;
            case PulseBinding::RecordingVolume:
            case PulseBinding::RecordingMute:
                levels.SetRecording(level);
                break;
            default:
                levels.SetLine(b.line, level);
                break;
        }
    }

    PulseMixerLayout layout_;
};

class PulseMixerService : public MixerService {
  public:
    MMRESULT Open(UINT deviceId, std::unique_ptr<MixerDevice>* device) override {
        if (deviceId != 0) return MMSYSERR_BADDEVICEID;
        auto ctx = PulseContext::Connect("Tonvera mixer", kConnectTimeout);
        if (!ctx) return MMSYSERR_NODRIVER;
        ServerSnapshot snapshot;
        {
            PulseContext::Lock lock(*ctx);
            if (!ReadServer(*ctx, &snapshot)) return MMSYSERR_ERROR;
        }
        *device = std::make_unique<PulseMixerDevice>(BuildMixerLayout(snapshot));
        return MMSYSERR_NOERROR;
    }
};

}  // namespace

std::unique_ptr<MixerService> MakeMixer() {
    return std::make_unique<PulseMixerService>();
}

}  // namespace platform::pulse
