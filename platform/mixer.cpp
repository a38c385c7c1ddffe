#include "platform/mixer.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/mixer_records.h"
#include "platform/service_slot.h"

struct HMIXER__ {
    std::unique_ptr<platform::MixerDevice> device;
};

namespace {

using namespace platform::mixer_records;
using platform::MixerControl;
using platform::MixerDevice;
using platform::MixerLine;
using platform::MixerTopology;

// One installed service with the handles opened through it, so that installing another
// closes them: the handles (and their devices) go first, then the service that made them.
struct OpenMixers {
    explicit OpenMixers(std::unique_ptr<platform::MixerService> s) : service(std::move(s)) {}
    const std::unique_ptr<platform::MixerService> service;
    std::mutex mutex;  // held for a whole call, so a handle cannot close while another uses it
    std::map<HMIXER__*, std::unique_ptr<HMIXER__>> open;
};

using Slot = platform::ServiceSlot<OpenMixers>;

bool ObjectBitsOk(DWORD flags, DWORD queryMask) {
    const DWORD object = flags & ~queryMask;
    return object == 0 || object == MIXER_OBJECTF_HMIXER;
}

struct HandleCall {
    OpenMixers& mixers;
    MixerDevice& device;
    DWORD query;  // the flags' query kind
};

// The steps every call on a handle starts with: a service installed, a handle opened through
// it, flags that name a handle object. `body` runs with the handles locked.
template <class Body>
MMRESULT OnHandle(HMIXER h, DWORD flags, DWORD queryMask, Body&& body) {
    const std::shared_ptr<OpenMixers> mixers = Slot::Instance().Get();
    if (!mixers) return MMSYSERR_NODRIVER;
    std::lock_guard lock(mixers->mutex);
    const auto it = mixers->open.find(h);
    if (!h || it == mixers->open.end()) return MMSYSERR_INVALHANDLE;
    if (!ObjectBitsOk(flags, queryMask)) return MMSYSERR_INVALFLAG;
    return body(HandleCall{*mixers, *it->second->device, flags & queryMask});
}

// The line a MIXERLINEA query names.
MMRESULT QueryLine(const MixerTopology& t, const MIXERLINEA& in, DWORD query, LineHit* hit) {
    switch (query) {
        case MIXER_GETLINEINFOF_DESTINATION:
            if (in.dwDestination >= t.destinations.size()) return MIXERR_INVALLINE;
            *hit = DestinationHit(t, in.dwDestination);
            break;
        case MIXER_GETLINEINFOF_SOURCE:
            if (in.dwDestination >= t.destinations.size() ||
                in.dwSource >= t.destinations[in.dwDestination].sources.size())
                return MIXERR_INVALLINE;
            *hit = SourceHit(t, in.dwDestination, in.dwSource);
            break;
        case MIXER_GETLINEINFOF_LINEID:
            *hit = FindLineById(t, in.dwLineID);
            break;
        case MIXER_GETLINEINFOF_COMPONENTTYPE:
            *hit = FindLine(
                t, [&](const MixerLine& l) { return l.componentType == in.dwComponentType; });
            break;
        case MIXER_GETLINEINFOF_TARGETTYPE:
            *hit =
                FindLine(t, [&](const MixerLine& l) { return l.targetType == in.Target.dwType; });
            break;
        default:
            return MMSYSERR_INVALFLAG;
    }
    return hit->line ? MMSYSERR_NOERROR : MIXERR_INVALLINE;
}

// Element i of the caller's control array, which holds cbmxctrl bytes a record.
void PutControl(const MIXERLINECONTROLSA& call, size_t i, const MixerControl& c) {
    MIXERCONTROLA record;
    FillControl(record, c);
    std::memcpy(reinterpret_cast<unsigned char*>(call.pamxctrl) + i * call.cbmxctrl, &record,
                sizeof record);
}

MMRESULT AllControls(const MixerTopology& t, const MIXERLINECONTROLSA& call) {
    const LineHit hit = FindLineById(t, call.dwLineID);
    if (!hit.line) return MIXERR_INVALLINE;
    // The caller's array holds exactly the count it names; a different count means the
    // caller's idea of the line is out of date.
    if (call.cControls != hit.line->controls.size()) return MMSYSERR_INVALPARAM;
    for (size_t i = 0; i < hit.line->controls.size(); ++i)
        PutControl(call, i, hit.line->controls[i]);
    return MMSYSERR_NOERROR;
}

MMRESULT ControlById(const MixerTopology& t, MIXERLINECONTROLSA& call) {
    const ControlHit hit = FindControlById(t, call.dwControlID);
    if (!hit.control) return MIXERR_INVALCONTROL;
    call.dwLineID = hit.line->id;
    PutControl(call, 0, *hit.control);
    return MMSYSERR_NOERROR;
}

MMRESULT ControlByType(const MixerTopology& t, const MIXERLINECONTROLSA& call) {
    const LineHit hit = FindLineById(t, call.dwLineID);
    if (!hit.line) return MIXERR_INVALLINE;
    for (const MixerControl& c : hit.line->controls) {
        if (c.type != call.dwControlType) continue;
        PutControl(call, 0, c);
        return MMSYSERR_NOERROR;
    }
    return MIXERR_INVALCONTROL;
}

MMRESULT ListTexts(const MixerTopology& t, const MIXERCONTROLDETAILS* pmxcd) {
    DetailsCall call;
    if (const MMRESULT rc = CheckDetails(t, pmxcd, sizeof(MIXERCONTROLDETAILS_LISTTEXTA), &call))
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

MMRESULT ReadValues(MixerDevice& device, const MIXERCONTROLDETAILS* pmxcd) {
    DetailsCall call;
    if (const MMRESULT rc = CheckDetails(device.Topology(), pmxcd, sizeof(LONG), &call)) return rc;
    const MixerControl& c = *call.hit.control;
    const DWORD count = ValueCount(c, *call.hit.line);
    std::vector<LONG> values;
    if (const MMRESULT rc = device.ReadValues(c, count, &values)) return rc;
    if (values.size() != count) return MMSYSERR_ERROR;
    // One value for a control of several channels stands for the loudest of them.
    if (!IsList(c) && call.channels == 1 && count > 1)
        values.assign(1, *std::max_element(values.begin(), values.end()));
    for (DWORD i = 0; i < call.elements; ++i)
        std::memcpy(Element(pmxcd, i), &values[i], sizeof(LONG));
    return MMSYSERR_NOERROR;
}

// The values a write leaves in the control: the caller's, held to the bounds and spread over
// every channel or item they stand for.
MMRESULT ValuesToWrite(MixerDevice& device, const MIXERCONTROLDETAILS* pmxcd,
                       const DetailsCall& call, std::vector<LONG>* values) {
    const MixerControl& c = *call.hit.control;
    const DWORD count = ValueCount(c, *call.hit.line);
    std::vector<LONG> given(call.elements);
    for (DWORD i = 0; i < call.elements; ++i) {
        std::memcpy(&given[i], Element(pmxcd, i), sizeof(LONG));
        given[i] = Clamp(c, given[i]);
    }
    if (!IsList(c)) {
        *values = call.channels == 1 ? std::vector<LONG>(count, given[0]) : given;
        return MMSYSERR_NOERROR;
    }
    if (call.items == count) {
        *values = given;
        return MMSYSERR_NOERROR;
    }
    // A shorter list sets the first items. Of a single-select list the rest is cleared, so the
    // selection is the caller's alone; a multiple-select list keeps the rest.
    if ((c.type & MIXERCONTROL_CT_SUBCLASS_MASK) == MIXERCONTROL_CT_SC_LIST_MULTIPLE) {
        if (const MMRESULT rc = device.ReadValues(c, count, values)) return rc;
        if (values->size() != count) return MMSYSERR_ERROR;
    } else {
        values->assign(count, 0);
    }
    std::copy(given.begin(), given.end(), values->begin());
    return MMSYSERR_NOERROR;
}

}  // namespace

namespace platform {

void InstallMixer(std::unique_ptr<MixerService> service) {
    Slot::Instance().Install(service ? std::make_unique<OpenMixers>(std::move(service)) : nullptr);
}

}  // namespace platform

MMRESULT mixerOpen(HMIXER* phmx, UINT uMxId, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                   DWORD fdwOpen) {
    (void)dwInstance;
    if (!phmx) return MMSYSERR_INVALPARAM;
    *phmx = nullptr;
    const std::shared_ptr<OpenMixers> mixers = Slot::Instance().Get();
    if (!mixers) return MMSYSERR_NODRIVER;
    if (fdwOpen != MIXER_OBJECTF_MIXER) return MMSYSERR_INVALFLAG;
    if (dwCallback != 0) return MMSYSERR_NOTSUPPORTED;
    std::lock_guard lock(mixers->mutex);
    std::unique_ptr<MixerDevice> device;
    if (const MMRESULT rc = mixers->service->Open(uMxId, &device)) return rc;
    if (!device) return MMSYSERR_ERROR;
    auto handle = std::make_unique<HMIXER__>();
    handle->device = std::move(device);
    HMIXER h = handle.get();
    mixers->open.emplace(h, std::move(handle));
    *phmx = h;
    return MMSYSERR_NOERROR;
}

MMRESULT mixerClose(HMIXER hmx) {
    std::unique_ptr<HMIXER__> closing;  // its device goes once the handles are unlocked
    return OnHandle(hmx, 0, 0, [&](const HandleCall& c) {
        const auto it = c.mixers.open.find(hmx);
        closing = std::move(it->second);
        c.mixers.open.erase(it);
        return MMSYSERR_NOERROR;
    });
}

MMRESULT mixerGetLineInfoA(HMIXER hmx, MIXERLINEA* pmxl, DWORD fdwInfo) {
    return OnHandle(hmx, fdwInfo, MIXER_GETLINEINFOF_QUERYMASK, [&](const HandleCall& c) {
        if (!pmxl || pmxl->cbStruct < sizeof(MIXERLINEA)) return MMSYSERR_INVALPARAM;
        const MixerTopology& t = c.device.Topology();
        LineHit hit;
        if (const MMRESULT rc = QueryLine(t, *pmxl, c.query, &hit)) return rc;
        FillLine(*pmxl, hit, t.productName);
        return MMSYSERR_NOERROR;
    });
}

MMRESULT mixerGetLineControlsA(HMIXER hmx, MIXERLINECONTROLSA* pmxlc, DWORD fdwControls) {
    return OnHandle(hmx, fdwControls, MIXER_GETLINECONTROLSF_QUERYMASK, [&](const HandleCall& c) {
        if (!pmxlc || pmxlc->cbStruct < sizeof(MIXERLINECONTROLSA)) return MMSYSERR_INVALPARAM;
        if (!pmxlc->pamxctrl || pmxlc->cbmxctrl < sizeof(MIXERCONTROLA) || pmxlc->cControls == 0)
            return MMSYSERR_INVALPARAM;
        const MixerTopology& t = c.device.Topology();
        switch (c.query) {
            case MIXER_GETLINECONTROLSF_ALL:
                return AllControls(t, *pmxlc);
            case MIXER_GETLINECONTROLSF_ONEBYID:
                return ControlById(t, *pmxlc);
            case MIXER_GETLINECONTROLSF_ONEBYTYPE:
                return ControlByType(t, *pmxlc);
            default:
                return MMSYSERR_INVALFLAG;
        }
    });
}

MMRESULT mixerGetControlDetailsA(HMIXER hmx, MIXERCONTROLDETAILS* pmxcd, DWORD fdwDetails) {
    return OnHandle(hmx, fdwDetails, MIXER_GETCONTROLDETAILSF_QUERYMASK, [&](const HandleCall& c) {
        switch (c.query) {
            case MIXER_GETCONTROLDETAILSF_LISTTEXT:
                return ListTexts(c.device.Topology(), pmxcd);
            case MIXER_GETCONTROLDETAILSF_VALUE:
                return ReadValues(c.device, pmxcd);
            default:
                return MMSYSERR_INVALFLAG;
        }
    });
}

MMRESULT mixerSetControlDetails(HMIXER hmx, MIXERCONTROLDETAILS* pmxcd, DWORD fdwDetails) {
    return OnHandle(hmx, fdwDetails, MIXER_SETCONTROLDETAILSF_QUERYMASK, [&](const HandleCall& c) {
        if (c.query != MIXER_SETCONTROLDETAILSF_VALUE) return MMSYSERR_NOTSUPPORTED;
        DetailsCall call;
        if (const MMRESULT rc = CheckDetails(c.device.Topology(), pmxcd, sizeof(LONG), &call))
            return rc;
        std::vector<LONG> values;
        if (const MMRESULT rc = ValuesToWrite(c.device, pmxcd, call, &values)) return rc;
        return c.device.WriteValues(*call.hit.control,
                                    ValueCount(*call.hit.control, *call.hit.line), values);
    });
}
