#include "app/output_checks.h"

#include <algorithm>

#include "app/file_identity.h"
#include "engine/capture_limit.h"
#include "platform/encode.h"
#include "platform/output_place.h"

namespace app {

namespace {

constexpr uint64_t kHeaderBytes = 44;

std::string Refused(const std::string& wav, const std::string& why) {
    const char* kind = platform::FormatTitle(platform::FormatOfName(wav));
    return why.empty() ? why
                       : std::string("The ") + kind + " file " + wav + " cannot be written: " + why;
}

}  // namespace

std::string OutputRefusal(const std::string& midi, const std::string& wav) {
    if (NamesSameFile(midi, wav)) return "The WAV file must not be the MIDI file itself: " + wav;
    return Refused(wav, platform::CheckOutputPlace(platform::ResolveTarget(wav)));
}

std::string SpaceRefusal(const std::string& wav, int64_t lengthMs) {
    const uint64_t longest = engine::kLargestCapture * 1000 / engine::kCaptureBytesPerSecond;
    const uint64_t length = std::min(uint64_t(std::max<int64_t>(lengthMs, 0)), longest);
    uint64_t bytes = length * engine::kCaptureBytesPerSecond / 1000 + kHeaderBytes;
    // The recording is made as a WAV file whatever the output, and a compressed file is
    // encoded from it beside it: both are on the disk at the end.
    const platform::OutputFormat format = platform::FormatOfName(wav);
    if (format != platform::OutputFormat::kWav)
        bytes += platform::EncodedBytesEstimate(format, length);
    return Refused(wav, platform::CheckFreeSpace(platform::ResolveTarget(wav), bytes));
}

}  // namespace app
