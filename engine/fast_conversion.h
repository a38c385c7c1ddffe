#pragma once
// A conversion without the sound server: the MIDI file rendered offline through the
// sequencer's own code, each sample as a recorded conversion at the same volume holds it, and
// written as it renders into the recording's own file beside the output, which takes the
// output's place only when it is whole. Memory stays flat in the piece's length.
// Thread-safe: several may run at once, each on its own files with its own renderer.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "engine/capture.h"
#include "platform/midi/smf_reader.h"
#include "platform/offline_render.h"

namespace engine {

struct FastConversion {
    CaptureResult file;       // as a capture's: bytes, silence, where the file is, what failed
    std::string renderError;  // why the MIDI file could not be rendered (nothing was written)
    uint32_t lengthMs = 0;    // the piece's length by its tempo map
    bool stopped = false;     // `stop` ended it early
    std::string refused;      // what the admission said of the piece (nothing was written)
    platform::midi::SmfCut cut = platform::midi::SmfCut::kWhole;  // read only in part?
};

// Asked once the piece's length is known, before a note is rendered: a refusal ends the
// conversion with nothing written ("too little free space ..."), an empty text lets it go on.
using FastAdmission = std::function<std::string(uint32_t lengthMs)>;

// Called as the render goes on with the milliseconds rendered; the first call comes before
// any sound, with 0, once the length is known.
using FastProgress = std::function<void(uint32_t renderedMs, uint32_t lengthMs)>;

// How a piece is rendered: at the track bar's volume, and how its file is finished.
struct FastSettings {
    int percent = 30;
    Finishing finishing;
};

// renderer: the caller's, its SoundFont loaded, used by this thread alone while it converts;
// stop: read between render chunks, non-zero ends the render (the file then holds what was
// rendered, as a stopped recording does); place: whether the finished file takes the output's
// place (as for a recording).
FastConversion ConvertFast(platform::OfflineRenderer& renderer, const std::string& midi,
                           const std::string& wav, const FastSettings& settings,
                           const FastAdmission& admit, const FastProgress& progress,
                           const std::atomic<int>* stop, const PlacementRule& place = {});

}  // namespace engine
