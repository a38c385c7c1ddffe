#pragma once
// One connection to the sound server on its own threaded mainloop. Every backend device owns
// one; all libpulse calls run with the mainloop locked (Lock), and waiters are woken by
// Signal from callbacks and by every change of the connection's state, so nothing waits
// forever on a server that went away.
#include <pulse/pulseaudio.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace platform::pulse {

class PulseContext {
  public:
    // Connects to the default server (PULSE_SERVER and the client configuration apply),
    // never autospawning one. Null, with the reason in *error, when none answers in time.
    static std::unique_ptr<PulseContext> Connect(const std::string& clientName,
                                                 std::chrono::milliseconds timeout,
                                                 std::string* error = nullptr);
    ~PulseContext();
    PulseContext(const PulseContext&) = delete;
    PulseContext& operator=(const PulseContext&) = delete;

    pa_threaded_mainloop* mainloop() const { return mainloop_; }
    pa_context* context() const { return context_; }
    // True while the connection is up. Call with the lock held.
    bool alive() const;

    class Lock {
      public:
        explicit Lock(const PulseContext& c) : m_(c.mainloop_) { pa_threaded_mainloop_lock(m_); }
        ~Lock() { pa_threaded_mainloop_unlock(m_); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

      private:
        pa_threaded_mainloop* m_;
    };

    // Wakes every Wait; call from callbacks (they run on the mainloop thread, lock held).
    void signal() const { pa_threaded_mainloop_signal(mainloop_, 0); }
    // With the lock held: waits until done() is true or the connection is lost.
    // Returns done() at the end.
    bool wait(const std::function<bool()>& done) const;
    // With the lock held: like wait, but gives up after the timeout (*expired then true),
    // for a server that is connected but does not answer.
    bool waitFor(std::chrono::milliseconds timeout, const std::function<bool()>& done,
                 bool* expired = nullptr) const;
    // With the lock held: waits for an operation to finish and unrefs it. False when the
    // operation could not start, was cancelled, or the connection was lost.
    bool run(pa_operation* op) const;
    // The same with a deadline: an operation still running then is cancelled.
    bool run(pa_operation* op, std::chrono::milliseconds timeout, bool* timedOut = nullptr) const;

    // The most common callback shape: a pa_context_success_cb_t whose userdata is a
    // SuccessWait. Use with run() for set-volume, set-default and the like.
    struct SuccessWait {
        const PulseContext* ctx;
        int success = -1;
    };
    static void OnSuccess(pa_context*, int success, void* userdata);

    // With the lock held: a stream of the program's own (pa_stream_new), asking the server for
    // its best resampler. Where the sink runs at another rate than the stream, as PipeWire's
    // graph at 48 kHz does, the sound is converted on its way there and back, and the default
    // quality leaves far more of its own error in a recording. PipeWire takes the property as
    // the stream node's resample.quality (0 to 14, default 4); PulseAudio chooses its
    // resampler for the whole server and ignores it.
    pa_stream* newStream(const char* name, const pa_sample_spec* spec,
                         const pa_channel_map* map) const;
    static constexpr const char* kResampleQuality = "resample.quality";
    static constexpr const char* kBestResampleQuality = "14";

  private:
    PulseContext() = default;
    static void OnState(pa_context* c, void* userdata);

    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
};

}  // namespace platform::pulse
