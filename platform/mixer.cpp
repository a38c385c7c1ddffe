#include "platform/mixer.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

struct HMIXER__ {
    std::unique_ptr<platform::MixerDevice> device;
};

namespace {

using platform::MixerControl;
using platform::MixerDestination;
using platform::MixerLine;
using platform::MixerTopology;

struct Registry {
    std::mutex mutex;
    std::unique_ptr<platform::MixerService> service;
    std::map<HMIXER__*, std::unique_ptr<HMIXER__>> open;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

// Looks up an open handle; the registry's lock is held by the caller for the whole call,
// so a handle cannot be closed while another call uses it.
MMRESULT Resolve(Registry& r, HMIXER h, platform::MixerDevice** device) {
    if (!r.service) return MMSYSERR_NODRIVER;
    auto it = r.open.find(h);
    if (!h || it == r.open.end()) return MMSYSERR_INVALHANDLE;
    *device = it->second->device.get();
    return MMSYSERR_NOERROR;
}

bool ObjectBitsOk(DWORD flags, DWORD queryMask) {
    const DWORD object = flags & ~queryMask;
    return object == 0 || object == MIXER_OBJECTF_HMIXER;
}

// Copies a name into a fixed field, cut so that no UTF-8 sequence is split, NUL-filled.
void CopyName(char* field, size_t size, const std::string& text) {
    size_t n = std::min(text.size(), size - 1);
    if (n < text.size()) {
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    }
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), n);
}

struct LineHit {
    const MixerLine* line = nullptr;
    DWORD destination = 0;
    DWORD source = 0;
    DWORD connections = 0;
    bool isSource = false;
};

LineHit DestinationHit(const MixerTopology& t, size_t d) {
    const MixerDestination& dest = t.destinations[d];
    return {&dest.line, DWORD(d), 0, DWORD(dest.sources.size()), false};
}

LineHit SourceHit(const MixerTopology& t, size_t d, size_t s) {
    return {&t.destinations[d].sources[s], DWORD(d), DWORD(s), 0, true};
}

template <typename Pred>
LineHit FindLine(const MixerTopology& t, Pred pred) {
    for (size_t d = 0; d < t.destinations.size(); ++d)
        if (pred(t.destinations[d].line)) return DestinationHit(t, d);
    for (size_t d = 0; d < t.destinations.size(); ++d)
        for (size_t s = 0; s < t.destinations[d].sources.size(); ++s)
            if (pred(t.destinations[d].sources[s])) return SourceHit(t, d, s);
    return {};
}

LineHit FindLineById(const MixerTopology& t, DWORD id) {
    return FindLine(t, [id](const MixerLine& l) { return l.id == id; });
}

struct ControlHit {
    const MixerControl* control = nullptr;
    const MixerLine* line = nullptr;
};

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

// How many values the backend keeps for a control.
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

// The caller's side of a details call: which control, and how many elements of cbDetails
// bytes its array holds. Nothing past that count is ever read or written.
struct DetailsCall {
    ControlHit hit;
    DWORD channels = 0;  // as the caller gave them (1 = one value for all)
    DWORD items = 0;     // list controls: the first `items` entries
    DWORD elements = 0;
};

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

}  // namespace

namespace platform {

void InstallMixer(std::unique_ptr<MixerService> service) {
    Registry& r = TheRegistry();
    // Devices go before the service that made them, both outside the lock.
    std::unique_ptr<MixerService> previous;
    std::map<HMIXER__*, std::unique_ptr<HMIXER__>> closing;
    {
        std::lock_guard lock(r.mutex);
        closing.swap(r.open);
        previous = std::move(r.service);
        r.service = std::move(service);
    }
}

}  // namespace platform

MMRESULT mixerOpen(HMIXER* phmx, UINT uMxId, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                   DWORD fdwOpen) {
    (void)dwInstance;
    if (!phmx) return MMSYSERR_INVALPARAM;
    *phmx = nullptr;
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    if (!r.service) return MMSYSERR_NODRIVER;
    if (fdwOpen != MIXER_OBJECTF_MIXER) return MMSYSERR_INVALFLAG;
    if (dwCallback != 0) return MMSYSERR_NOTSUPPORTED;
    std::unique_ptr<platform::MixerDevice> device;
    const MMRESULT rc = r.service->Open(uMxId, &device);
    if (rc != MMSYSERR_NOERROR) return rc;
    if (!device) return MMSYSERR_ERROR;
    auto handle = std::make_unique<HMIXER__>();
    handle->device = std::move(device);
    HMIXER h = handle.get();
    r.open.emplace(h, std::move(handle));
    *phmx = h;
    return MMSYSERR_NOERROR;
}

MMRESULT mixerClose(HMIXER hmx) {
    Registry& r = TheRegistry();
    std::unique_ptr<HMIXER__> closing;
    std::lock_guard lock(r.mutex);
    platform::MixerDevice* device = nullptr;
    if (const MMRESULT rc = Resolve(r, hmx, &device)) return rc;
    auto it = r.open.find(hmx);
    closing = std::move(it->second);
    r.open.erase(it);
    return MMSYSERR_NOERROR;
}

MMRESULT mixerGetLineInfoA(HMIXER hmx, MIXERLINEA* pmxl, DWORD fdwInfo) {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    platform::MixerDevice* device = nullptr;
    if (const MMRESULT rc = Resolve(r, hmx, &device)) return rc;
    if (!ObjectBitsOk(fdwInfo, MIXER_GETLINEINFOF_QUERYMASK)) return MMSYSERR_INVALFLAG;
    if (!pmxl || pmxl->cbStruct < sizeof(MIXERLINEA)) return MMSYSERR_INVALPARAM;
    const MixerTopology& t = device->Topology();
    LineHit hit;
    switch (fdwInfo & MIXER_GETLINEINFOF_QUERYMASK) {
        case MIXER_GETLINEINFOF_DESTINATION:
            if (pmxl->dwDestination >= t.destinations.size()) return MIXERR_INVALLINE;
            hit = DestinationHit(t, pmxl->dwDestination);
            break;
        case MIXER_GETLINEINFOF_SOURCE:
            if (pmxl->dwDestination >= t.destinations.size() ||
                pmxl->dwSource >= t.destinations[pmxl->dwDestination].sources.size())
                return MIXERR_INVALLINE;
            hit = SourceHit(t, pmxl->dwDestination, pmxl->dwSource);
            break;
        case MIXER_GETLINEINFOF_LINEID:
            hit = FindLineById(t, pmxl->dwLineID);
            break;
        case MIXER_GETLINEINFOF_COMPONENTTYPE: {
            const DWORD type = pmxl->dwComponentType;
            hit = FindLine(t, [type](const MixerLine& l) { return l.componentType == type; });
            break;
        }
        case MIXER_GETLINEINFOF_TARGETTYPE: {
            const DWORD type = pmxl->Target.dwType;
            hit = FindLine(t, [type](const MixerLine& l) { return l.targetType == type; });
            break;
        }
        default:
            return MMSYSERR_INVALFLAG;
    }
    if (!hit.line) return MIXERR_INVALLINE;
    FillLine(*pmxl, hit, t.productName);
    return MMSYSERR_NOERROR;
}

MMRESULT mixerGetLineControlsA(HMIXER hmx, MIXERLINECONTROLSA* pmxlc, DWORD fdwControls) {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    platform::MixerDevice* device = nullptr;
    if (const MMRESULT rc = Resolve(r, hmx, &device)) return rc;
    if (!ObjectBitsOk(fdwControls, MIXER_GETLINECONTROLSF_QUERYMASK)) return MMSYSERR_INVALFLAG;
    if (!pmxlc || pmxlc->cbStruct < sizeof(MIXERLINECONTROLSA)) return MMSYSERR_INVALPARAM;
    if (!pmxlc->pamxctrl || pmxlc->cbmxctrl < sizeof(MIXERCONTROLA) || pmxlc->cControls == 0)
        return MMSYSERR_INVALPARAM;
    const MixerTopology& t = device->Topology();
    switch (fdwControls & MIXER_GETLINECONTROLSF_QUERYMASK) {
        case MIXER_GETLINECONTROLSF_ALL: {
            const LineHit hit = FindLineById(t, pmxlc->dwLineID);
            if (!hit.line) return MIXERR_INVALLINE;
            // The caller's array holds exactly the count it names; a different count means
            // the caller's idea of the line is out of date.
            if (pmxlc->cControls != hit.line->controls.size()) return MMSYSERR_INVALPARAM;
            auto* out = reinterpret_cast<unsigned char*>(pmxlc->pamxctrl);
            for (const MixerControl& c : hit.line->controls) {
                MIXERCONTROLA record;
                FillControl(record, c);
                std::memcpy(out, &record, sizeof record);
                out += pmxlc->cbmxctrl;
            }
            return MMSYSERR_NOERROR;
        }
        case MIXER_GETLINECONTROLSF_ONEBYID: {
            const ControlHit hit = FindControlById(t, pmxlc->dwControlID);
            if (!hit.control) return MIXERR_INVALCONTROL;
            pmxlc->dwLineID = hit.line->id;
            MIXERCONTROLA record;
            FillControl(record, *hit.control);
            std::memcpy(pmxlc->pamxctrl, &record, sizeof record);
            return MMSYSERR_NOERROR;
        }
        case MIXER_GETLINECONTROLSF_ONEBYTYPE: {
            const LineHit hit = FindLineById(t, pmxlc->dwLineID);
            if (!hit.line) return MIXERR_INVALLINE;
            for (const MixerControl& c : hit.line->controls) {
                if (c.type != pmxlc->dwControlType) continue;
                MIXERCONTROLA record;
                FillControl(record, c);
                std::memcpy(pmxlc->pamxctrl, &record, sizeof record);
                return MMSYSERR_NOERROR;
            }
            return MIXERR_INVALCONTROL;
        }
        default:
            return MMSYSERR_INVALFLAG;
    }
}

MMRESULT mixerGetControlDetailsA(HMIXER hmx, MIXERCONTROLDETAILS* pmxcd, DWORD fdwDetails) {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    platform::MixerDevice* device = nullptr;
    if (const MMRESULT rc = Resolve(r, hmx, &device)) return rc;
    if (!ObjectBitsOk(fdwDetails, MIXER_GETCONTROLDETAILSF_QUERYMASK)) return MMSYSERR_INVALFLAG;
    const MixerTopology& t = device->Topology();
    DetailsCall call;
    switch (fdwDetails & MIXER_GETCONTROLDETAILSF_QUERYMASK) {
        case MIXER_GETCONTROLDETAILSF_LISTTEXT: {
            if (const MMRESULT rc =
                    CheckDetails(t, pmxcd, sizeof(MIXERCONTROLDETAILS_LISTTEXTA), &call))
                return rc;
            if (!IsList(*call.hit.control)) return MMSYSERR_INVALPARAM;
            for (DWORD i = 0; i < call.elements; ++i) {
                const platform::MixerItem& item = call.hit.control->items[i];
                MIXERCONTROLDETAILS_LISTTEXTA text;
                text.dwParam1 = item.param1;
                text.dwParam2 = item.param2;
                CopyName(text.szName, sizeof text.szName, item.name);
                std::memcpy(Element(pmxcd, i), &text, sizeof text);
            }
            return MMSYSERR_NOERROR;
        }
        case MIXER_GETCONTROLDETAILSF_VALUE: {
            if (const MMRESULT rc = CheckDetails(t, pmxcd, sizeof(LONG), &call)) return rc;
            const MixerControl& c = *call.hit.control;
            const DWORD count = ValueCount(c, *call.hit.line);
            std::vector<LONG> values;
            if (const MMRESULT rc = device->ReadValues(c, count, &values)) return rc;
            if (values.size() != count) return MMSYSERR_ERROR;
            // One value for a control of several channels stands for the loudest of them.
            if (!IsList(c) && call.channels == 1 && count > 1)
                values.assign(1, *std::max_element(values.begin(), values.end()));
            for (DWORD i = 0; i < call.elements; ++i)
                std::memcpy(Element(pmxcd, i), &values[i], sizeof(LONG));
            return MMSYSERR_NOERROR;
        }
        default:
            return MMSYSERR_INVALFLAG;
    }
}

MMRESULT mixerSetControlDetails(HMIXER hmx, MIXERCONTROLDETAILS* pmxcd, DWORD fdwDetails) {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    platform::MixerDevice* device = nullptr;
    if (const MMRESULT rc = Resolve(r, hmx, &device)) return rc;
    if (!ObjectBitsOk(fdwDetails, MIXER_SETCONTROLDETAILSF_QUERYMASK)) return MMSYSERR_INVALFLAG;
    if ((fdwDetails & MIXER_SETCONTROLDETAILSF_QUERYMASK) != MIXER_SETCONTROLDETAILSF_VALUE)
        return MMSYSERR_NOTSUPPORTED;
    const MixerTopology& t = device->Topology();
    DetailsCall call;
    if (const MMRESULT rc = CheckDetails(t, pmxcd, sizeof(LONG), &call)) return rc;
    const MixerControl& c = *call.hit.control;
    const DWORD count = ValueCount(c, *call.hit.line);

    std::vector<LONG> given(call.elements);
    for (DWORD i = 0; i < call.elements; ++i) {
        std::memcpy(&given[i], Element(pmxcd, i), sizeof(LONG));
        given[i] = Clamp(c, given[i]);
    }
    std::vector<LONG> values;
    if (!IsList(c)) {
        values = call.channels == 1 ? std::vector<LONG>(count, given[0]) : given;
    } else if (call.items == count) {
        values = given;
    } else {
        // A shorter list sets the first items. Of a single-select list the rest is cleared,
        // so the selection is the caller's alone; a multiple-select list keeps the rest.
        if ((c.type & MIXERCONTROL_CT_SUBCLASS_MASK) == MIXERCONTROL_CT_SC_LIST_MULTIPLE) {
            if (const MMRESULT rc = device->ReadValues(c, count, &values)) return rc;
            if (values.size() != count) return MMSYSERR_ERROR;
        } else {
            values.assign(count, 0);
        }
        std::copy(given.begin(), given.end(), values.begin());
    }
    return device->WriteValues(c, count, values);
}
