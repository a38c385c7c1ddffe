#pragma once
// A MIDI file rendered without playing it: the very samples a recorded conversion holds of the
// synthesizer line at the same mixer settings, as fast as the processor allows, with no sound
// server. An OfflineRenderer holds its SoundFont, loaded once, and renders one file after
// another with it; each worker of a parallel run opens its own. OpenOfflineRenderer asks the
// installed OfflineRenderService (platform::InstallOfflineRender) for one; without a service it
// fails with a reason.
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

// Every file gets a synthesizer of its own, so a file's samples never depend on the files
// before it; only the SoundFont is shared. One thread at a time.
class OfflineRenderer {
  public:
    virtual ~OfflineRenderer() = default;
    // Reads the file, then calls ready (if given) once with its length before the first
    // frame; ready returning false ends it there. False with the reason (the file, the
    // synthesizer, or ready or the sink stopped it).
    virtual bool Render(const std::string& midiPath, const OfflineLevels& levels,
                        const std::function<bool(const OfflineSong&)>& ready, const FrameSink& sink,
                        OfflineSong* song, std::string* error) = 0;
};

class OfflineRenderService {
  public:
    virtual ~OfflineRenderService() = default;
    // Loads soundFont ("" for the machine's default); null with the reason.
    virtual std::unique_ptr<OfflineRenderer> Open(const std::string& soundFont,
                                                  std::string* error) = 0;
};

void InstallOfflineRender(std::unique_ptr<OfflineRenderService> service);

std::unique_ptr<OfflineRenderer> OpenOfflineRenderer(const std::string& soundFont,
                                                     std::string* error);

}  // namespace platform
