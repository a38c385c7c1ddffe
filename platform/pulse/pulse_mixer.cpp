// The sound server as mixer device 0. Its layout is read once at open; control values are
// read from the server on every call and every write has reached the server before the
// call returns. A server that goes away or stops answering makes the calls fail, never hang.
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "platform/mixer.h"
#include "platform/pulse/pulse_backend.h"
#include "platform/pulse/pulse_context.h"
#include "platform/pulse/pulse_mixer_layout.h"

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

LONG ToValue(pa_volume_t v) {
    const double linear = pa_sw_volume_to_linear(v);
    return LONG(std::clamp(std::lround(linear * kVolumeMaximum), 0L, long(kVolumeMaximum)));
}

pa_volume_t FromValue(LONG value) {
    return pa_sw_volume_from_linear(double(value) / double(kVolumeMaximum));
}

struct DeviceState {
    const PulseContext* ctx;
    bool found = false;
    pa_cvolume volume{};
    int mute = 0;
};

class PulseMixerDevice : public MixerDevice {
  public:
    PulseMixerDevice(std::unique_ptr<PulseContext> ctx, PulseMixerLayout layout)
        : ctx_(std::move(ctx)), layout_(std::move(layout)) {}

    const MixerTopology& Topology() const override { return layout_.topology; }

    MMRESULT ReadValues(const MixerControl& control, DWORD count,
                        std::vector<LONG>* values) override {
        auto it = layout_.bindings.find(control.id);
        if (it == layout_.bindings.end()) return MIXERR_INVALCONTROL;
        const PulseBinding& b = it->second;
        PulseContext::Lock lock(*ctx_);
        if (silent_) return MMSYSERR_ERROR;
        if (b.kind == PulseBinding::DefaultSource) {
            std::string current;
            if (!ReadDefaultSource(&current)) return MMSYSERR_ERROR;
            values->clear();
            for (const auto& name : b.items) values->push_back(name == current ? 1 : 0);
            values->resize(count, 0);
            return MMSYSERR_NOERROR;
        }
        DeviceState d{ctx_.get()};
        const bool sink = b.kind == PulseBinding::SinkVolume || b.kind == PulseBinding::SinkMute;
        if (!ReadDevice(b.device, sink, &d)) return MMSYSERR_ERROR;
        if (b.kind == PulseBinding::SinkMute || b.kind == PulseBinding::SourceMute) {
            values->assign(count, d.mute ? 1 : 0);
            return MMSYSERR_NOERROR;
        }
        values->clear();
        for (DWORD i = 0; i < count; ++i) {
            const unsigned ch =
                std::min<unsigned>(i, d.volume.channels ? d.volume.channels - 1 : 0);
            values->push_back(d.volume.channels ? ToValue(d.volume.values[ch]) : 0);
        }
        return MMSYSERR_NOERROR;
    }

    MMRESULT WriteValues(const MixerControl& control, DWORD count,
                         const std::vector<LONG>& values) override {
        auto it = layout_.bindings.find(control.id);
        if (it == layout_.bindings.end()) return MIXERR_INVALCONTROL;
        if (values.empty() || values.size() != count) return MMSYSERR_INVALPARAM;
        const PulseBinding& b = it->second;
        PulseContext::Lock lock(*ctx_);
        if (silent_) return MMSYSERR_ERROR;
        bool ok = false;
        switch (b.kind) {
            case PulseBinding::SinkVolume:
            case PulseBinding::SourceVolume: {
                if (count > PA_CHANNELS_MAX) return MMSYSERR_INVALPARAM;
                pa_cvolume cv;
                pa_cvolume_init(&cv);
                cv.channels = uint8_t(count);
                for (DWORD i = 0; i < count; ++i) cv.values[i] = FromValue(values[i]);
                ok = Call(b.kind == PulseBinding::SinkVolume ? pa_context_set_sink_volume_by_name
                                                             : pa_context_set_source_volume_by_name,
                          b.device, &cv);
                break;
            }
            case PulseBinding::SinkMute:
            case PulseBinding::SourceMute:
                ok = Call(b.kind == PulseBinding::SinkMute ? pa_context_set_sink_mute_by_name
                                                           : pa_context_set_source_mute_by_name,
                          b.device, values[0] != 0 ? 1 : 0);
                break;
            case PulseBinding::DefaultSource: {
                // Of several selected items the last one wins; with none the default stays.
                const std::string* chosen = nullptr;
                for (size_t i = 0; i < values.size() && i < b.items.size(); ++i)
                    if (values[i] != 0) chosen = &b.items[i];
                if (!chosen) return MMSYSERR_NOERROR;
                PulseContext::SuccessWait w{ctx_.get()};
                ok = Run(pa_context_set_default_source(ctx_->context(), chosen->c_str(),
                                                       &PulseContext::OnSuccess, &w)) &&
                     w.success > 0;
                break;
            }
        }
        return ok ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
    }

  private:
    // A server that let one call run out of time is not asked again: a routing makes a few
    // dozen calls, and each would wait the full time.
    bool Run(pa_operation* op) {
        bool timedOut = false;
        const bool ok = RunTimed(*ctx_, op, &timedOut);
        if (timedOut) silent_ = true;
        return ok;
    }

    template <typename Setter, typename Arg>
    bool Call(Setter setter, const std::string& device, Arg arg) {
        PulseContext::SuccessWait w{ctx_.get()};
        return Run(setter(ctx_->context(), device.c_str(), arg, &PulseContext::OnSuccess, &w)) &&
               w.success > 0;
    }

    bool ReadDefaultSource(std::string* name) {
        struct Answer {
            const PulseContext* ctx;
            std::string* name;
        } answer{ctx_.get(), name};
        return Run(pa_context_get_server_info(
            ctx_->context(),
            [](pa_context*, const pa_server_info* i, void* ud) {
                auto* a = static_cast<Answer*>(ud);
                if (i) *a->name = Text(i->default_source_name);
                a->ctx->signal();
            },
            &answer));
    }

    template <typename Info>
    static void Take(const Info* i, int eol, void* ud) {
        auto* d = static_cast<DeviceState*>(ud);
        if (!eol && i) {
            d->found = true;
            d->volume = i->volume;
            d->mute = i->mute;
        }
        d->ctx->signal();
    }

    bool ReadDevice(const std::string& name, bool sink, DeviceState* d) {
        pa_operation* op = sink ? pa_context_get_sink_info_by_name(
                                      ctx_->context(), name.c_str(),
                                      [](pa_context*, const pa_sink_info* i, int eol, void* ud) {
                                          Take(i, eol, ud);
                                      },
                                      d)
                                : pa_context_get_source_info_by_name(
                                      ctx_->context(), name.c_str(),
                                      [](pa_context*, const pa_source_info* i, int eol, void* ud) {
                                          Take(i, eol, ud);
                                      },
                                      d);
        return Run(op) && d->found;
    }

    std::unique_ptr<PulseContext> ctx_;
    PulseMixerLayout layout_;
    bool silent_ = false;  // guarded by the mainloop lock
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
        *device = std::make_unique<PulseMixerDevice>(std::move(ctx), BuildMixerLayout(snapshot));
        return MMSYSERR_NOERROR;
    }
};

}  // namespace

std::unique_ptr<MixerService> MakeMixer() {
    return std::make_unique<PulseMixerService>();
}

}  // namespace platform::pulse
