#include "platform/pulse/record_format.h"

#include <algorithm>

namespace platform::pulse {

bool RecordFormat(const WAVEFORMATEX& format, pa_sample_spec* spec, uint32_t* fragment) {
    if (format.wFormatTag != WAVE_FORMAT_PCM || format.nChannels < 1 || format.nChannels > 2 ||
        format.nSamplesPerSec == 0 || (format.wBitsPerSample != 8 && format.wBitsPerSample != 16) ||
        format.nBlockAlign != format.nChannels * format.wBitsPerSample / 8)
        return false;
    spec->format = format.wBitsPerSample == 16 ? PA_SAMPLE_S16LE : PA_SAMPLE_U8;
    spec->channels = uint8_t(format.nChannels);
    spec->rate = format.nSamplesPerSec;
    if (!pa_sample_spec_valid(spec)) return false;
    // 100 ms fragments: delivered promptly; the default size comes in 2 s late pieces.
    *fragment = std::max<uint32_t>(1, spec->rate / 10) * uint32_t(format.nBlockAlign);
    return true;
}

}  // namespace platform::pulse
