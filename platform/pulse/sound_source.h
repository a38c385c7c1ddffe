#pragma once
// What a playback stream plays: stereo float frames at 44 100 Hz, produced on demand.
//
// A stream calls a source from its mainloop thread, and only while the source is playing; while
// it is stopped the stream writes silence itself and the owner may call it from its own thread.
#include <cstddef>
#include <cstdint>

namespace platform::pulse {

class SoundSource {
  public:
    static constexpr int kRate = 44100;
    static constexpr int kChannels = 2;

    virtual ~SoundSource() = default;

    virtual void Start() = 0;  // the music advances from Frame() on
    virtual void Stop() = 0;   // silent at once; Frame() is kept
    // Moves to a music frame while stopped (the sequencer has to replay up to it).
    virtual void SeekFrame(uint64_t frame) = 0;
    // Exactly `frames` interleaved stereo frames; silence while stopped or finished.
    virtual void Render(float* interleaved, size_t frames) = 0;

    virtual uint64_t Frame() const = 0;  // music frame of the next rendered frame
    // Everything has sounded, including the notes' release; nothing but silence follows.
    virtual bool Finished() const = 0;
    virtual uint64_t LengthFrames() const = 0;
    virtual uint32_t LengthMs() const = 0;
};

}  // namespace platform::pulse
