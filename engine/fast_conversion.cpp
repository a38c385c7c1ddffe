#include "engine/fast_conversion.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/capture_limit.h"
#include "engine/mixer_routing.h"
#include "engine/recording_file.h"
#include "platform/offline_render.h"
#include "platform/output_place.h"

namespace engine {

namespace {

constexpr uint64_t kFrameBytes = 4;

// The mixer values a routing at this volume leaves on the sound server's controls (0 to 65535).
platform::OfflineLevels RoutedLevels(int percent) {
    const RoutedVolumes v = RoutedVolumesFor(std::clamp(percent, 0, 100), 0, 65535);
    return {v.speakers, v.recording};
}

struct Writer {
    std::unique_ptr<TWaveStream> file;
    CaptureResult& result;
    const std::atomic<int>* stop;
    const FastProgress& progress;
    uint32_t lengthMs = 0;
    uint64_t frames = 0, lastReported = 0;

    bool Take(const int16_t* data, size_t count) {
        if (stop && stop->load()) return false;
        const uint64_t room = (kLargestCapture - result.bytesCaptured) / kFrameBytes;
        const uint64_t n = std::min<uint64_t>(count, room);
        if (n < count) result.reachedSizeLimit = true;
        if (n && !Append(data, n)) return false;
        frames += n;
        if (progress && frames - lastReported >= 44100) {
            lastReported = frames;
            progress(uint32_t(frames * 1000 / 44100), lengthMs);
        }
        return n == count;
    }

    bool Append(const int16_t* data, uint64_t n) {
        const uint64_t bytes = n * kFrameBytes;
        // Rewritten once a second of music, as the recording does, so a kill keeps the rest.
        if (!file->Append(data, bytes) ||
            (frames / 44100 != (frames + n) / 44100 && !file->KeepHeaderValid())) {
            result.writeError = std::strerror(file->Error());
            result.bytesCaptured = file->Length();
            return false;
        }
        if (result.silent)
            result.silent = std::all_of(data, data + 2 * n, [](int16_t s) { return s == 0; });
        result.bytesCaptured += bytes;
        return true;
    }
};

}  // namespace

FastConversion ConvertFast(platform::OfflineRenderer& renderer, const std::string& midi,
                           const std::string& wav, const FastSettings& settings,
                           const FastAdmission& admit, const FastProgress& progress,
                           const std::atomic<int>* stop, const PlacementRule& place) {
    FastConversion out;
    CaptureResult& result = out.file;
    result.deviceOpened = true;
    Writer w{nullptr, result, stop, progress};
    std::string partPath;
    w.file = CreatePartFile(platform::ResolveTarget(wav), &partPath, &result.notCreated);
    if (!w.file) return out;

    platform::OfflineSong song;
    std::string refused;
    const bool whole = renderer.Render(
        midi, RoutedLevels(settings.percent),
        [&](const platform::OfflineSong& s) {
            w.lengthMs = out.lengthMs = s.lengthMs;
            if (admit) refused = admit(s.lengthMs);
            if (!refused.empty()) return false;
            if (progress) progress(0, s.lengthMs);
            return true;
        },
        [&](const int16_t* data, size_t count) { return w.Take(data, count); }, &song,
        &out.renderError);
    out.cut = song.cut;
    out.refused = refused;
    out.stopped = !whole && stop && stop->load() != 0;
    // The render's own reason only when nothing else ended it: the file, its size, a stop.
    if (whole || !result.writeError.empty() || result.reachedSizeLimit || out.stopped)
        out.renderError.clear();
    if (!out.renderError.empty() || !out.refused.empty()) {
        // The file could not be rendered at all: nothing of it is kept.
        w.file.reset();
        platform::RemoveFile(partPath);
        return out;
    }
    PlaceRecording(std::move(w.file), partPath, wav, result, place, settings.finishing);
    return out;
}

}  // namespace engine
