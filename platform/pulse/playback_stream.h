#pragma once
// A float32 stereo stream on the server's default sink that plays a SoundSource.
//
// The stream runs from Open on and carries silence until Play: a stream that is already running
// loses nothing of the music's start. The write callback renders ahead in fixed chunks, keeping
// about 200 ms queued in the server, so the stream never runs dry; latency does not matter, and
// Stop drops what is queued at once.
//
// Position is what the server has actually played: every music chunk written is remembered with
// its byte index in the stream, and the server's playback time is mapped back through them.
//
// The stream plays at the program's speakers level (ProgramLevels), applied after it connects
// and whenever the level changes. A sequencer's stream (recorded) stays on the sink it started
// on, so that a recording of it never loses it, and publishes a SequencerTap.
//
// Threads: libpulse runs the callbacks on the connection's mainloop thread with the mainloop
// lock held; the public calls take the same lock. Every field below is touched only with that
// lock held, except the source, which the mainloop thread uses only while playing and the
// owner uses only while stopped, and the underflow count, an atomic.
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/pulse/pulse_context.h"
#include "platform/pulse/sequencer_tap.h"
#include "platform/pulse/sound_source.h"

namespace platform::pulse {

class PlaybackStream {
  public:
    // How a play ended; each Play's handler hears exactly one of these.
    enum class Outcome { Ended, Aborted, Superseded, Failed };
    // Called with the mainloop lock held, on whatever thread the end happens: it must only
    // queue, never call back into the stream.
    using EndHandler = std::function<void(Outcome)>;

    static constexpr size_t kChunkFrames = 1024;
    static constexpr uint32_t kTargetMs = 200;

    // Null with the reason in *error; *noServer tells a missing sound server apart.
    static std::unique_ptr<PlaybackStream> Open(std::unique_ptr<SoundSource> source,
                                                const std::string& name, bool recorded,
                                                std::string* error, bool* noServer);
    ~PlaybackStream();
    PlaybackStream(const PlaybackStream&) = delete;
    PlaybackStream& operator=(const PlaybackStream&) = delete;

    // Plays from the current position; a play already running goes on under the new handler
    // and the old one hears Superseded. False when the stream is gone.
    bool Play(EndHandler onEnd);
    // Silence at once; the position stays where the sound stopped.
    void Stop();
    void SeekToStart();
    void SeekToEnd();

    bool Playing() const;
    bool Alive() const;  // the server connection and the stream are up
    uint32_t PositionMs();
    uint32_t LengthMs() const { return lengthMs_; }
    uint32_t Underflows() const { return underflows_.load(); }
    // A recorded stream's sink: its rate in Hz (0 when unknown) and whether PipeWire serves it.
    uint32_t SinkRate() const { return sinkRate_; }
    bool OnPipeWire() const { return onPipeWire_; }
    // What a recording of a recorded stream reads; null for any other.
    std::shared_ptr<SequencerTap> Tap() const { return tap_; }

  private:
    struct Segment {
        int64_t byte;    // stream byte index of the segment's first frame
        uint64_t frame;  // its music frame
        uint64_t frames;
    };

    explicit PlaybackStream(std::unique_ptr<SoundSource> source);
    bool Connect(const std::string& name, bool recorded, std::string* error);
    bool Publish(std::string* error);  // lock held
    void ApplySpeakers();
    static void OnState(pa_stream* s, void* userdata);
    static void OnWrite(pa_stream* s, size_t nbytes, void* userdata);
    static void OnUnderflow(pa_stream* s, void* userdata);
    static void OnTimer(pa_mainloop_api*, pa_time_event* e, const struct timeval*, void* userdata);

    // Lock held for all of these.
    bool AliveLocked() const;
    void Fill(size_t nbytes);
    bool WriteIndex(int64_t* index) const;
    int64_t PlayedByte() const;
    uint64_t PlayedFrame();
    void StopLocked(Outcome outcome);
    void Finish(Outcome outcome);
    void Seek(uint64_t frame);

    std::unique_ptr<SoundSource> source_;
    const uint32_t lengthMs_;
    const uint64_t lengthFrames_;
    std::unique_ptr<PulseContext> ctx_;
    pa_stream* stream_ = nullptr;
    pa_time_event* timer_ = nullptr;
    std::vector<float> chunk_;

    bool playing_ = false;
    bool draining_ = false;    // the source has finished; waiting for the server to play it out
    int64_t endByte_ = 0;      // stream index where the music ends, once draining
    uint64_t keptFrame_ = 0;   // the position while not playing
    uint64_t startFrame_ = 0;  // the music frame the current play began at
    std::deque<Segment> segments_;
    int64_t musicFromByte_ = -1;  // stream index of the current play's first music, once written
    int64_t written_ = 0;         // bytes written; the write index until the first flush
    bool flushed_ = false;
    bool failed_ = false;
    EndHandler onEnd_;
    std::atomic<uint32_t> underflows_{0};
    std::shared_ptr<SequencerTap> tap_;  // recorded streams only
    uint32_t sinkRate_ = 0;              // set before the stream is handed out, then read only
    bool onPipeWire_ = false;
    int watch_ = 0;  // ProgramLevels watcher
};

}  // namespace platform::pulse
