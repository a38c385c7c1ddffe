#include "engine/mixer_routing.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "engine/mixer_state.h"

namespace engine::mixer {

MixerState& State() {
    static MixerState state;
    return state;
}

namespace {

void ClearState(MixerState& s) {
    s.handle = nullptr;
    s.value.dwValue = 0;
    s.minimum = 0;
    s.maximum = 0;
}

// The query shared by the lookups: the first control of the given type on a line.
bool QueryControl(DWORD lineId, DWORD controlType) {
    MixerState& s = State();
    s.lineControls.cbStruct = sizeof s.lineControls;
    s.lineControls.dwLineID = lineId;
    s.lineControls.dwControlType = controlType;
    s.lineControls.cControls = 1;
    s.lineControls.cbmxctrl = sizeof s.control;
    s.lineControls.pamxctrl = &s.control;
    if (mixerGetLineControlsA(s.handle, &s.lineControls, MIXER_GETLINECONTROLSF_ONEBYTYPE) !=
        MMSYSERR_NOERROR)
        return false;
    s.minimum = s.control.Bounds.lMinimum;
    s.maximum = s.control.Bounds.lMaximum;
    return true;
}

bool QueryDestinationLine(DWORD source, DWORD flags) {
    MixerState& s = State();
    s.line.cbStruct = sizeof s.line;
    s.line.dwDestination = 1;
    s.line.dwSource = source;
    return mixerGetLineInfoA(s.handle, &s.line, flags) == MMSYSERR_NOERROR;
}

void FillSelectorDetails(DWORD elementSize, void* array) {
    MixerState& s = State();
    s.details.cbStruct = sizeof s.details;
    s.details.dwControlID = s.control.dwControlID;
    s.details.cChannels = 1;
    s.details.cMultipleItems = SelectorItemCount();
    s.details.cbDetails = elementSize;
    s.details.paDetails = array;
}

bool NameMatches(const char (&name)[MIXER_LONG_NAME_CHARS]) {
    char upper[MIXER_LONG_NAME_CHARS];
    const size_t n = strnlen(name, sizeof name);
    for (size_t i = 0; i < n; ++i) {
        const char c = name[i];
        upper[i] = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
    }
    const std::string_view text(upper, n);
    return text.find("STEREO") != std::string_view::npos ||
           text.find("MIX") != std::string_view::npos;
}

}  // namespace

LONG PercentOfBounds(LONG minimum, LONG maximum, int percent) {
    const int64_t span = int64_t(maximum) - int64_t(minimum);
    return LONG(span * percent / 100 + minimum);
}

DWORD SelectorItemCount() {
    return std::min<DWORD>(State().control.cMultipleItems, kSelectorItems);
}

void OpenMixer() {
    MixerState& s = State();
    ClearState(s);
    mixerOpen(&s.handle, 0, 0, 0, 0);
}

void CloseMixer() {
    MixerState& s = State();
    mixerClose(s.handle);
    ClearState(s);
}

bool FindComponentControl(DWORD componentType, DWORD controlType) {
    MixerState& s = State();
    if (!s.handle) return false;
    s.line.cbStruct = sizeof s.line;
    s.line.dwComponentType = componentType;
    if (mixerGetLineInfoA(s.handle, &s.line, MIXER_GETLINEINFOF_COMPONENTTYPE) != MMSYSERR_NOERROR)
        return false;
    return QueryControl(s.line.dwLineID, controlType);
}

bool FindDestinationControl(DWORD controlType) {
    MixerState& s = State();
    if (!s.handle) return false;
    if (!QueryDestinationLine(0, MIXER_GETLINEINFOF_DESTINATION)) return false;
    return QueryControl(s.line.dwLineID, controlType);
}

bool FindSourceControl(DWORD source, DWORD controlType) {
    MixerState& s = State();
    if (!s.handle) return false;
    if (!QueryDestinationLine(source, MIXER_GETLINEINFOF_SOURCE)) return false;
    return QueryControl(s.line.dwLineID, controlType);
}

bool FindLineControl(DWORD lineId, DWORD controlType) {
    if (!State().handle) return false;
    return QueryControl(lineId, controlType);
}

bool FindSourceSelector() {
    MixerState& s = State();
    if (!s.handle) return false;
    if (!QueryDestinationLine(0, MIXER_GETLINEINFOF_DESTINATION)) return false;
    std::vector<MIXERCONTROLA> controls;
    try {
        controls.resize(s.line.cControls);
    } catch (const std::bad_alloc&) {
        return false;
    }
    s.lineControls.cbStruct = sizeof s.lineControls;
    s.lineControls.dwLineID = s.line.dwLineID;
    s.lineControls.cControls = s.line.cControls;
    s.lineControls.cbmxctrl = sizeof(MIXERCONTROLA);
    s.lineControls.pamxctrl = controls.data();
    const bool found =
        !controls.empty() && mixerGetLineControlsA(s.handle, &s.lineControls,
                                                   MIXER_GETLINECONTROLSF_ALL) == MMSYSERR_NOERROR;
    // The array is gone when this returns; the record must not point into it.
    s.lineControls.pamxctrl = &s.control;
    if (!found) return false;
    s.control = controls.front();
    for (const MIXERCONTROLA& c : controls) {
        if (c.dwControlType == MIXERCONTROL_CONTROLTYPE_MUX ||
            c.dwControlType == MIXERCONTROL_CONTROLTYPE_MIXER)
            s.control = c;
    }
    return true;
}

void ReadSelectorItems() {
    MixerState& s = State();
    if (!s.handle) return;
    FillSelectorDetails(sizeof(MIXERCONTROLDETAILS_LISTTEXTA), s.selectorItems.data());
    mixerGetControlDetailsA(s.handle, &s.details, MIXER_GETCONTROLDETAILSF_LISTTEXT);
}

void ReadSelectorValues() {
    MixerState& s = State();
    if (!s.handle) return;
    FillSelectorDetails(sizeof(MIXERCONTROLDETAILS_BOOLEAN), s.selectorValues.data());
    mixerGetControlDetailsA(s.handle, &s.details, MIXER_GETCONTROLDETAILSF_VALUE);
}

void WriteSelectorValues() {
    MixerState& s = State();
    if (!s.handle) return;
    FillSelectorDetails(sizeof(MIXERCONTROLDETAILS_BOOLEAN), s.selectorValues.data());
    mixerSetControlDetails(s.handle, &s.details, MIXER_SETCONTROLDETAILSF_VALUE);
}

void SetControlPercent(int percent) {
    MixerState& s = State();
    if (!s.handle || percent < 0 || percent > 100) return;
    WriteControlValue(PercentOfBounds(s.minimum, s.maximum, percent));
}

void SetRoutedVolume(int percent, long RoutedVolumes::*which) {
    MixerState& s = State();
    if (!s.handle || percent < 0 || percent > 100) return;
    WriteControlValue(LONG(RoutedVolumesFor(percent, s.minimum, s.maximum).*which));
}

void WriteControlValue(LONG value) {
    MixerState& s = State();
    s.value.dwValue = DWORD(value);
    s.details.cbStruct = sizeof s.details;
    s.details.dwControlID = s.control.dwControlID;
    s.details.cChannels = 1;
    s.details.cMultipleItems = 0;
    s.details.cbDetails = sizeof s.value;
    s.details.paDetails = &s.value;
    mixerSetControlDetails(s.handle, &s.details, MIXER_SETCONTROLDETAILSF_VALUE);
}

}  // namespace engine::mixer

namespace engine {

RoutedVolumes RoutedVolumesFor(int percent, long minimum, long maximum) {
    constexpr int kSpeakersPercent = 50;
    return {mixer::PercentOfBounds(LONG(minimum), LONG(maximum), kSpeakersPercent),
            mixer::PercentOfBounds(LONG(minimum), LONG(maximum), percent)};
}

void SetMixerBtnClick(int percent) {
    using namespace mixer;
    auto unmute = [] { SetControlPercent(0); };
    auto speakers = [percent] { SetRoutedVolume(percent, &RoutedVolumes::speakers); };
    auto recording = [percent] { SetRoutedVolume(percent, &RoutedVolumes::recording); };

    OpenMixer();

    if (FindComponentControl(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, MIXERCONTROL_CONTROLTYPE_MUTE))
        unmute();
    if (FindComponentControl(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, MIXERCONTROL_CONTROLTYPE_VOLUME))
        speakers();

    for (const DWORD source :
         {MIXERLINE_COMPONENTTYPE_SRC_DIGITAL, MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER}) {
        if (FindComponentControl(source, MIXERCONTROL_CONTROLTYPE_MUTE)) unmute();
        if (FindComponentControl(source, MIXERCONTROL_CONTROLTYPE_VOLUME)) recording();
    }

    if (FindDestinationControl(MIXERCONTROL_CONTROLTYPE_MUTE)) unmute();
    if (FindDestinationControl(MIXERCONTROL_CONTROLTYPE_VOLUME)) recording();

    MixerState& s = State();
    const DWORD sources = s.line.cConnections;
    for (DWORD i = 0; i < sources; ++i) {
        if (FindSourceControl(i, MIXERCONTROL_CONTROLTYPE_MUTE)) unmute();
        if (FindSourceControl(i, MIXERCONTROL_CONTROLTYPE_VOLUME)) recording();
    }

    FindSourceSelector();
    ReadSelectorItems();
    ReadSelectorValues();

    const DWORD items = SelectorItemCount();
    for (DWORD i = 0; i < items; ++i) s.selectorValues[i].fValue = 0;
    bool selected = false;
    for (DWORD i = 0; i < items && !selected; ++i) {
        if (s.selectorItems[i].dwParam2 == MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER) {
            s.selectorValues[i].fValue = 1;
            selected = true;
        }
    }
    if (!selected) {
        for (DWORD i = 0; i < items; ++i)
            if (NameMatches(s.selectorItems[i].szName)) s.selectorValues[i].fValue = 1;
    }
    DWORD recordingLine = 0;
    for (DWORD i = 0; i < items; ++i)
        if (s.selectorValues[i].fValue != 0) recordingLine = s.selectorItems[i].dwParam1;

    WriteSelectorValues();

    if (FindLineControl(recordingLine, MIXERCONTROL_CONTROLTYPE_VOLUME)) recording();

    CloseMixer();
}

}  // namespace engine
