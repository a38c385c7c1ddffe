#pragma once
// The mixer's records as the free functions hand them out and take them in: lines and controls
// found in a device's topology, the records filled from them, and the caller's details arrays
// checked against them. Pure: nothing here touches a device.
#include <string>

#include "platform/mixer.h"

namespace platform::mixer_records {

// Copies a name into a fixed field, cut so that no UTF-8 sequence is split, NUL-filled.
void CopyName(char* field, size_t size, const std::string& text);

struct LineHit {
    const MixerLine* line = nullptr;
    DWORD destination = 0;
    DWORD source = 0;
    DWORD connections = 0;
    bool isSource = false;
};

LineHit DestinationHit(const MixerTopology& t, size_t d);
LineHit SourceHit(const MixerTopology& t, size_t d, size_t s);

// Destinations first, then every destination's sources; nothing when no line matches.
template <typename Pred>
LineHit FindLine(const MixerTopology& t, Pred pred) {
    for (size_t d = 0; d < t.destinations.size(); ++d)
        if (pred(t.destinations[d].line)) return DestinationHit(t, d);
    for (size_t d = 0; d < t.destinations.size(); ++d)
        for (size_t s = 0; s < t.destinations[d].sources.size(); ++s)
            if (pred(t.destinations[d].sources[s])) return SourceHit(t, d, s);
    return {};
}

LineHit FindLineById(const MixerTopology& t, DWORD id);

struct ControlHit {
    const MixerControl* control = nullptr;
    const MixerLine* line = nullptr;
};

ControlHit FindControlById(const MixerTopology& t, DWORD id);

void FillLine(MIXERLINEA& out, const LineHit& hit, const std::string& product);
void FillControl(MIXERCONTROLA& out, const MixerControl& c);

bool IsList(const MixerControl& c);
// How many values the backend keeps for a control.
DWORD ValueCount(const MixerControl& c, const MixerLine& line);
// A value held to the control's bounds (0 or 1 for a switch).
LONG Clamp(const MixerControl& c, LONG v);

// The caller's side of a details call: which control, and how many elements of cbDetails
// bytes its array holds. Nothing past that count is ever read or written.
struct DetailsCall {
    ControlHit hit;
    DWORD channels = 0;  // as the caller gave them (1 = one value for all)
    DWORD items = 0;     // list controls: the first `items` entries
    DWORD elements = 0;
};

MMRESULT CheckDetails(const MixerTopology& t, const MIXERCONTROLDETAILS* d, size_t elementSize,
                      DetailsCall* call);

// Element i of the caller's details array.
unsigned char* Element(const MIXERCONTROLDETAILS* d, DWORD i);

}  // namespace platform::mixer_records
