#pragma once
// The record stream a wave-input format asks for: its sample format and its fragment size.
#include <pulse/pulseaudio.h>

#include <cstdint>

#include "platform/wavein.h"

namespace platform::pulse {

// False for a format the device does not record: not PCM, not 8 or 16 bits, not mono or
// stereo, no rate, or a block alignment that does not match.
bool RecordFormat(const WAVEFORMATEX& format, pa_sample_spec* spec, uint32_t* fragment);

}  // namespace platform::pulse
