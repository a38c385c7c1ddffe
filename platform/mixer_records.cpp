#include "platform/mixer_records.h"

#include <algorithm>
#include <cstring>

namespace platform::mixer_records {

void CopyName(char* field, size_t size, const std::string& text) {
    size_t n = std::min(text.size(), size - 1);
    if (n < text.size()) {
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    }
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), n);
}

LineHit DestinationHit(const MixerTopology& t, size_t d) {
    const MixerDestination& dest = t.destinations[d];
    return {&dest.line, DWORD(d), 0, DWORD(dest.sources.size()), false};
}

LineHit SourceHit(const MixerTopology& t, size_t d, size_t s) {
    return {&t.destinations[d].sources[s], DWORD(d), DWORD(s), 0, true};
}

LineHit FindLineById(const MixerTopology& t, DWORD id) {
    return FindLine(t, [id](const MixerLine& l) { return l.id == id; });
}

ControlHit FindControlById(const MixerTopology& t, DWORD id) {
    ControlHit hit;
    FindLine(t, [&](const MixerLine& l) {
        for (const auto& c : l.controls) {
            if (c.id == id) {
                hit = {&c, &l};
                return true;
            }
        }
        return false;
    });
    return hit;
}

void FillLine(MIXERLINEA& out, const LineHit& hit, const std::string& product) {
    const MixerLine& l = *hit.line;
    out.dwDestination = hit.destination;
    out.dwSource = hit.source;
    out.dwLineID = l.id;
    out.fdwLine = l.flags | (hit.isSource ? MIXERLINE_LINEF_SOURCE : 0);
    out.dwUser = 0;
    out.dwComponentType = l.componentType;
    out.cChannels = l.channels;
    out.cConnections = hit.connections;
    out.cControls = DWORD(l.controls.size());
    CopyName(out.szShortName, sizeof out.szShortName, l.shortName);
    CopyName(out.szName, sizeof out.szName, l.name);
    out.Target.dwType = l.targetType;
    out.Target.dwDeviceID = 0;
    out.Target.wMid = 0;
    out.Target.wPid = 0;
    out.Target.vDriverVersion = 0;
    CopyName(out.Target.szPname, sizeof out.Target.szPname, product);
}

void FillControl(MIXERCONTROLA& out, const MixerControl& c) {
    std::memset(&out, 0, sizeof out);
    out.cbStruct = sizeof out;
    out.dwControlID = c.id;
    out.dwControlType = c.type;
    out.fdwControl = c.flags;
    out.cMultipleItems = (c.flags & MIXERCONTROL_CONTROLF_MULTIPLE) ? DWORD(c.items.size()) : 0;
    CopyName(out.szShortName, sizeof out.szShortName, c.shortName);
    CopyName(out.szName, sizeof out.szName, c.name);
    out.Bounds.lMinimum = c.minimum;
    out.Bounds.lMaximum = c.maximum;
    out.Metrics.cSteps = c.steps;
}

bool IsList(const MixerControl& c) {
    return (c.flags & MIXERCONTROL_CONTROLF_MULTIPLE) != 0;
}

DWORD ValueCount(const MixerControl& c, const MixerLine& line) {
    if (IsList(c)) return DWORD(c.items.size());
    if (c.flags & MIXERCONTROL_CONTROLF_UNIFORM) return 1;
    return std::max<DWORD>(line.channels, 1);
}

LONG Clamp(const MixerControl& c, LONG v) {
    const DWORD units = c.type & MIXERCONTROL_CT_UNITS_MASK;
    if (units == MIXERCONTROL_CT_UNITS_BOOLEAN) return v != 0 ? 1 : 0;
    if (units == MIXERCONTROL_CT_UNITS_UNSIGNED) {
        const DWORD lo = DWORD(c.minimum), hi = DWORD(c.maximum), u = DWORD(v);
        return lo <= hi ? LONG(std::clamp(u, lo, hi)) : v;
    }
    return c.minimum <= c.maximum ? std::clamp(v, c.minimum, c.maximum) : v;
}

MMRESULT CheckDetails(const MixerTopology& t, const MIXERCONTROLDETAILS* d, size_t elementSize,
                      DetailsCall* call) {
    if (!d || d->cbStruct < sizeof(MIXERCONTROLDETAILS)) return MMSYSERR_INVALPARAM;
    call->hit = FindControlById(t, d->dwControlID);
    if (!call->hit.control) return MIXERR_INVALCONTROL;
    if (!d->paDetails || d->cbDetails < elementSize) return MMSYSERR_INVALPARAM;
    const MixerControl& c = *call->hit.control;
    const DWORD count = ValueCount(c, *call->hit.line);
    if (IsList(c)) {
        if (d->cChannels != 1 || d->cMultipleItems == 0 || d->cMultipleItems > count)
            return MMSYSERR_INVALPARAM;
        call->channels = 1;
        call->items = d->cMultipleItems;
        call->elements = d->cMultipleItems;
    } else {
        if (d->cChannels != 1 && d->cChannels != count) return MMSYSERR_INVALPARAM;
        call->channels = d->cChannels;
        call->elements = d->cChannels;
    }
    return MMSYSERR_NOERROR;
}

unsigned char* Element(const MIXERCONTROLDETAILS* d, DWORD i) {
    return static_cast<unsigned char*>(d->paDetails) + size_t(i) * d->cbDetails;
}

}  // namespace platform::mixer_records
