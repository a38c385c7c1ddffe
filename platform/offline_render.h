#pragma once
// A MIDI file rendered without playing it: the very samples a recorded conversion holds of the
// synthesizer line at the same mixer settings, as fast as the processor allows, with no sound
// server. The free function dispatches to the installed OfflineRenderService
// (platform::InstallOfflineRender); without one it fails with a reason.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/midi/smf_reader.h"

namespace platform {

// The mixer's values (0 to 65535) as a routing leaves them.
struct OfflineLevels {
    long speakers = 65535;
    long line = 65535;
};

struct OfflineSong {
    uint32_t lengthMs = 0;                    // the tempo map's length
    uint64_t frames = 0;                      // frames handed over
    midi::SmfCut cut = midi::SmfCut::kWhole;  // how much of the file could be read
};

// Stereo 16-bit frames in order; returning false stops the render.
using FrameSink = std::function<bool(const int16_t* frames, size_t count)>;

// soundFont: the SoundFont the synthesizer plays with, "" for the machine's default.
class OfflineRenderService {
  public:
    virtual ~OfflineRenderService() = default;
    // Loads the SoundFont before any render and keeps it, so that the renders that follow
    // share its samples instead of each reading the file. False with the reason.
    virtual bool Prepare(const std::string& soundFont, std::string* error) = 0;
    // Reads the file, then calls ready (if given) once with its length before the first
    // frame; ready returning false ends it there. False with the reason (the file, the
    // synthesizer or its SoundFont, or ready or the sink stopped it).
    virtual bool Render(const std::string& midiPath, const std::string& soundFont,
                        const OfflineLevels& levels,
                        const std::function<bool(const OfflineSong&)>& ready, const FrameSink& sink,
                        OfflineSong* song, std::string* error) = 0;
};

void InstallOfflineRender(std::unique_ptr<OfflineRenderService> service);

bool PrepareOfflineRender(const std::string& soundFont, std::string* error);
bool RenderMidiOffline(const std::string& midiPath, const std::string& soundFont,
                       const OfflineLevels& levels,
                       const std::function<bool(const OfflineSong&)>& ready, const FrameSink& sink,
                       OfflineSong* song, std::string* error);

}  // namespace platform
