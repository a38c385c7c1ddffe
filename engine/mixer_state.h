#pragma once
// The mixer routing's module storage and its steps, exposed for tests. The program calls
// only SetMixerBtnClick (engine/mixer_routing.h).
#include <array>

#include "engine/mixer_routing.h"
#include "platform/mixer.h"

namespace engine::mixer {

// The selector arrays hold 51 items; a selector reporting more is handled as its first 51.
constexpr DWORD kSelectorItems = 51;

struct MixerState {
    HMIXER handle = nullptr;
    MIXERLINEA line{};
    MIXERLINECONTROLSA lineControls{};
    MIXERCONTROLA control{};  // the current control: every write goes to it
    LONG minimum = 0;
    LONG maximum = 0;
    MIXERCONTROLDETAILS details{};
    MIXERCONTROLDETAILS_UNSIGNED value{};
    std::array<MIXERCONTROLDETAILS_LISTTEXTA, kSelectorItems> selectorItems{};
    std::array<MIXERCONTROLDETAILS_BOOLEAN, kSelectorItems> selectorValues{};
};

// The one routing state of the program (UI thread only).
MixerState& State();

void OpenMixer();
void CloseMixer();
bool FindComponentControl(DWORD componentType, DWORD controlType);
bool FindDestinationControl(DWORD controlType);
bool FindSourceControl(DWORD source, DWORD controlType);
bool FindLineControl(DWORD lineId, DWORD controlType);
bool FindSourceSelector();
void ReadSelectorItems();
void ReadSelectorValues();
void WriteSelectorValues();
void SetControlPercent(int percent);
// The current control's share of RoutedVolumesFor (mixer_routing.h) from its own bounds;
// nothing for a percent outside 0 to 100, as SetControlPercent.
void SetRoutedVolume(int percent, long RoutedVolumes::*which);
// Writes the current control's value; the steps above go through it.
void WriteControlValue(LONG value);

// ((maximum - minimum) * percent) div 100 + minimum, truncating toward zero. Wherever that
// fits in signed 32 bits it is the 32-bit result; where it would overflow it is the true
// value, which always lies between the bounds.
LONG PercentOfBounds(LONG minimum, LONG maximum, int percent);

// How many selector items the current control has, as far as the arrays hold them.
DWORD SelectorItemCount();

}  // namespace engine::mixer
