#include "app/output_checks.h"

#include <algorithm>

#include "app/file_identity.h"
#include "engine/capture_limit.h"
#include "platform/output_place.h"

namespace app {

namespace {

constexpr uint64_t kHeaderBytes = 44;

std::string Refused(const std::string& wav, const std::string& why) {
    return why.empty() ? why : "The WAV file " + wav + " cannot be written: " + why;
}

}  // namespace

std::string OutputRefusal(const std::string& midi, const std::string& wav) {
    if (NamesSameFile(midi, wav)) return "The WAV file must not be the MIDI file itself: " + wav;
    return Refused(wav, platform::CheckOutputPlace(platform::ResolveTarget(wav)));
}

std::string SpaceRefusal(const std::string& wav, int64_t lengthMs) {
    const uint64_t length = uint64_t(std::max<int64_t>(lengthMs, 0));
    const uint64_t bytes =
        std::min(length * engine::kCaptureBytesPerSecond / 1000, engine::kLargestCapture);
    return Refused(wav,
                   platform::CheckFreeSpace(platform::ResolveTarget(wav), bytes + kHeaderBytes));
}

}  // namespace app
