#pragma once
// A recorded conversion against the offline render of the same MIDI file through the same
// sequencer code at the same gain: how far apart they are in time and in samples.
#include <cstdint>
#include <string>

#include "platform/pulse/program_levels.h"

namespace bench {

struct Residual {
    std::string error;          // empty when both could be read
    int64_t offsetFrames = 0;   // the WAV's frame i holds the render's frame i - offset
    int64_t maxDifference = 0;  // largest |WAV - render| in LSB over the overlap
    double snrDb = 0;           // render power over difference power
    uint64_t clipped = 0;       // WAV samples at full scale
    uint64_t wavFrames = 0, renderFrames = 0;
    int64_t firstSoundWav = -1, firstSoundRender = -1;  // first non-zero frame
    int64_t peak = 0;                                   // largest |render| sample in LSB
    // With subFrame: the render delayed by a fraction of a frame as well, where that fits the WAV
    // best. A resampler delays by a fraction of a frame, which alone leaves a large difference;
    // this is what remains once it is taken out.
    double subFrameShift = 0;  // in frames, -1 to 1
    double subFrameSnrDb = 0;
    int64_t subFrameMaxDifference = 0;
};

// The render quantized as the recording is at those gains, with the SoundFont named (else the
// default); the offset is searched within +-searchFrames. wavPath may name any file libsndfile
// reads losslessly (a FLAC file too).
Residual CompareWithRender(const std::string& midiPath, const std::string& wavPath,
                           const platform::pulse::SynthesizerGains& gains,
                           int64_t searchFrames = 4410, bool subFrame = false,
                           const std::string& soundFont = {});

// What a recorded conversion applies at a track-bar volume (the routing's levels).
platform::pulse::SynthesizerGains ConversionGains(int percent);

}  // namespace bench
