#pragma once
// One open sequencer into a JACK synth and the recording of its answer: one client, one
// process callback that sends the song's events and records the synth's ports (one clock),
// and a control thread that reads the recording, calibrates the start and trims the end.
//
// Calibration, before every play:
//   1. Reset the synth: All Sound Off (CC120), Reset All Controllers (CC121), All Notes Off
//      (CC123) on every channel, then the GM System On sysex once.
//   2. Wait until its output is quiet: 200 ms in a row below -60 dBFS, or 3 s at most (a
//      hissing line is taken as it is). The loudest 10 ms block of the last 200 ms is the noise
//      floor; sound means above floor + 6 dB (at least -90 dBFS).
//   3. Measure the latency: a probe note (channel 1, key 60) sent at the start of a cycle; the
//      frames until the first sample above the threshold. Synths that apply events at their
//      period's start (FluidSynth answers after period - offset + 1 frames) answer an event at
//      offset 0 exactly as the probe was answered, so the music's time 0 is also sent at
//      offset 0 of a cycle: sample 0 of the output is the synth's answer to it.
//   4. Probe off, reset again, wait until quiet, then play.
// End: after the music's last frame the recording goes on until the level stays below the
// threshold for 0.5 s (10 s at most); the quiet end is trimmed. The synth is reset at the end
// and on every stop.
// Holes: an xrun, skipped cycles (the frame counter jumped: PipeWire does not call the xrun
// callback), a full ring, the server gone, the synth's ports gone: each with its place in
// the output and its length.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/jack/audio_ring.h"
#include "platform/jack/cycle_events.h"
#include "platform/jack/frame_clock.h"
#include "platform/jack/jack_client.h"
#include "platform/midi/smf_reader.h"

namespace platform::jack {

class JackSession : public JackClient::Handler {
  public:
    struct Gap {
        enum class Kind { kMissing, kEndsEarly };
        uint64_t frame;   // in the output
        uint64_t frames;  // how long
        Kind kind;
    };
    enum class Outcome { kDone, kStopped, kFailed };
    // Output stereo frames (s16), from the music's time 0 on.
    using Sink = std::function<void(const int16_t* frames, size_t count)>;

    static std::unique_ptr<JackSession> Open(std::shared_ptr<const platform::midi::SmfSong> song,
                                             const std::string& port, const std::string& record,
                                             std::string* why);
    ~JackSession() override;

    bool Play(std::function<void(Outcome)> onEnd);
    void Stop();
    bool Playing() const { return playing_.load(); }
    bool Alive() const { return !gone_.load(); }
    uint64_t PositionMs() const;
    uint64_t LengthMs() const { return song_->lengthMs; }
    void SetSink(Sink sink);
    std::vector<Gap> Gaps() const;
    std::string Failure() const;
    int64_t latencyFrames() const { return latency_.load(); }

    // JackClient::Handler
    void Cycle(const CycleIo& io, MidiOut& midi) override;
    void Xrun() override { xrunPending_.store(true); }
    void ServerGone(const std::string& why) override;
    void LinkLost() override { linkLost_.store(true); }

  private:
    enum Command : int { kNone, kReset, kProbeOn, kProbeOff, kStartMusic, kStopMusic };
    struct Hole {
        uint64_t at = 0, frames = 0;
        bool dropped = false;  // the ring was full: these frames are not in it
    };

    explicit JackSession(std::shared_ptr<const platform::midi::SmfSong> song);
    void Execute(int command, MidiOut& midi);

    // Control thread.
    void Run();
    bool PlayOnce();
    bool Send(Command command, uint64_t* at);
    size_t ReadFrames(std::vector<float>* frames, size_t most);
    void TakeHoles();
    bool SkipTo(uint64_t streamFrame);
    bool WaitQuiet(float* floor);
    bool MeasureLatency(uint64_t sent, float threshold, int64_t* latency);
    bool Record(uint64_t outputStart, float threshold);
    void Emit(const float* frames, size_t count);
    bool Interrupted() const;
    void Fail(const std::string& why);
    void NoteBroken(uint64_t outputStart);

    std::shared_ptr<const platform::midi::SmfSong> song_;
    std::unique_ptr<JackClient> client_;
    AudioRing ring_;
    RecordRing<Hole, 256> holes_;
    platform::midi::EventSchedule schedule_;  // the song's events, shared with the built-in synth
    FrameClock clock_;

    // Shared between the callback and the control thread.
    std::atomic<int> command_{kNone};
    std::atomic<uint64_t> commandFrame_{0};
    std::atomic<uint64_t> stream_{0};  // frames recorded since activation
    std::atomic<bool> musicOn_{false};
    std::atomic<uint64_t> musicStart_{0};
    std::atomic<uint64_t> musicFrames_{0};  // of the song sent so far
    std::atomic<bool> xrunPending_{false}, gone_{false}, linkLost_{false};
    std::atomic<int64_t> latency_{-1};

    // Control side.
    std::thread thread_;
    mutable std::mutex mutex_;  // everything below
    std::condition_variable wake_;
    bool quit_ = false, playRequested_ = false, stopRequested_ = false;
    std::atomic<bool> playing_{false};
    std::function<void(Outcome)> onEnd_;
    Sink sink_;
    std::vector<Gap> gaps_;
    std::string failure_;
    std::vector<Hole> pendingHoles_;  // taken from holes_, not yet passed (control thread only)
    uint64_t readPos_ = 0;            // stream frame of the next ring frame (control thread only)
    uint64_t outputStart_ = UINT64_MAX;  // stream frame of output frame 0
    uint64_t emitted_ = 0;               // output frames handed on
};

}  // namespace platform::jack
