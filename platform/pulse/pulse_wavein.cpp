// Wave input over the sound server: the line the mixer selected, as a record stream of the
// program's own, read in 100 ms fragments into the application's buffers (device 0 or
// WAVE_MAPPER). A sequencer's own device (its MCI_STATUS_RECORDER, from the RecorderTable), and
// the synthesizer line, are that sequencer's playback stream alone, taken from its sink's
// monitor (the line takes the sequencer opened last); such a recording
// starts at the music's time 0 and is checked for holes (RecordingAligner). Neither the
// server's default source nor any device's setting is touched.
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

#include "platform/pulse/program_levels.h"
#include "platform/pulse/pulse_backend.h"
#include "platform/pulse/pulse_context.h"
#include "platform/pulse/record_format.h"
#include "platform/pulse/recorder_table.h"
#include "platform/pulse/recording_aligner.h"
#include "platform/pulse/recording_target.h"
#include "platform/pulse/sequencer_tap.h"
#include "platform/wavein.h"
#include "platform/wavein_buffers.h"

namespace platform::pulse {

namespace {

constexpr auto kConnectTimeout = std::chrono::seconds(3);
constexpr auto kStreamTimeout = std::chrono::seconds(3);
// A new record stream on a sink that was idle can take up to 2 s for its first data; start
// returns once data flows, so that whatever plays after it is recorded from its beginning.
constexpr auto kFirstDataTimeout = std::chrono::milliseconds(2500);
constexpr auto kTailTimeout = std::chrono::milliseconds(500);
// After a stall the recording may lag the music by more than a fragment.
constexpr auto kEndTimeout = std::chrono::seconds(2);
// The aligner may account for many seconds of silence at once; at the stop they still go into
// the buffers that the capture thread re-queues, one second each.
constexpr auto kHandOverTimeout = std::chrono::seconds(10);

class Device {
  public:
    Device(HWAVEIN handle, DWORD callbackThread, std::unique_ptr<PulseContext> ctx,
           const pa_sample_spec& spec, uint32_t fragment, RecordingTarget target)
        : ctx_(std::move(ctx)),
          spec_(spec),
          fragment_(fragment),
          target_(std::move(target)),
          buffers_(handle, callbackThread) {}
    ~Device() {
        if (watch_) ProgramLevels::Instance().Unwatch(watch_);
        PulseContext::Lock lock(*ctx_);
        EndStream();
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    WaveInBuffers& buffers() { return buffers_; }

    // Connects the record stream at once, so that it already delivers when recording starts
    // (a new stream on an idle source can take seconds for its first data).
    MMRESULT Connect() {
        MMRESULT r;
        {
            PulseContext::Lock lock(*ctx_);
            r = ConnectLocked();
        }
        if (r == MMSYSERR_NOERROR) {
            watch_ = ProgramLevels::Instance().Watch([this] { ApplyLevel(); });
            ApplyLevel();
        }
        return r;
    }

    MMRESULT Start() {
        PulseContext::Lock lock(*ctx_);
        if (closed_) return MMSYSERR_INVALHANDLE;
        if (!stream_) {
            const MMRESULT r = ConnectLocked();
            if (r != MMSYSERR_NOERROR) return r;
        }
        ctx_->waitFor(kFirstDataTimeout, [this] { return delivering_; });
        buffers_.Start();
        return MMSYSERR_NOERROR;
    }

    void Stop() {
        PulseContext::Lock lock(*ctx_);
        AwaitPlayed();
        Drain();  // what has arrived was recorded before the stop
        FinishAligner();
        buffers_.Stop(kHandOverTimeout);
    }

    void Reset() {
        PulseContext::Lock lock(*ctx_);
        Drain();
        FinishAligner();
        buffers_.Reset();
        EndStream();
    }

    // The connection itself goes with the last reference (a re-queue on the capture thread
    // may still hold one for a moment).
    void Close() {
        PulseContext::Lock lock(*ctx_);
        closed_ = true;
        EndStream();
        buffers_.Close();
    }

    std::vector<WAVEINGAP> Gaps() {
        PulseContext::Lock lock(*ctx_);
        std::vector<WAVEINGAP> out;
        const uint64_t frameBytes = uint64_t(spec_.channels) * pa_sample_size(&spec_);
        for (const auto& lost : buffers_.Lost())
            out.push_back(
                {Ms(lost.at / frameBytes), Ms(lost.bytes / frameBytes), WAVEINGAP_MISSING});
        if (!aligner_) return out;
        using Kind = RecordingAligner::Gap::Kind;
        for (const auto& g : aligner_->gaps())
            out.push_back({Ms(g.frame), Ms(g.frames),
                           g.kind == Kind::kSilenceInserted ? WAVEINGAP_SILENCE
                           : g.kind == Kind::kEndsEarly     ? WAVEINGAP_ENDS_EARLY
                                                            : WAVEINGAP_MISSING});
        std::sort(out.begin(), out.end(), [](const WAVEINGAP& a, const WAVEINGAP& b) {
            return a.dwPosition < b.dwPosition;
        });
        return out;
    }

  private:
    DWORD Ms(uint64_t frames) const { return DWORD(frames * 1000 / spec_.rate); }
    MMRESULT ConnectLocked();
    void ApplyLevel();
    void Drain();
    void Deliver(const void* data, size_t bytes);
    void FinishAligner();
    void AwaitPlayed();

    void EndStream() {
        if (!stream_) return;
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_set_read_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
    }

    static void OnState(pa_stream*, void* userdata) {
        static_cast<Device*>(userdata)->ctx_->signal();
    }
    static void OnRead(pa_stream*, size_t, void* userdata) {
        static_cast<Device*>(userdata)->Drain();
    }

    std::unique_ptr<PulseContext> ctx_;
    const pa_sample_spec spec_;
    const uint32_t fragment_;
    const RecordingTarget target_;
    pa_stream* stream_ = nullptr;
    bool closed_ = false;
    bool delivering_ = false;  // the stream has handed over data at least once
    std::unique_ptr<RecordingAligner> aligner_;
    bool alignerDone_ = false;
    int watch_ = 0;
    WaveInBuffers buffers_;
};

MMRESULT Device::ConnectLocked() {
    if (!ctx_->alive()) return MMSYSERR_NODRIVER;
    delivering_ = false;
    stream_ = ctx_->newStream("Tonvera capture", &spec_, nullptr);
    if (!stream_) return MMSYSERR_NOMEM;
    pa_stream_set_state_callback(stream_, &Device::OnState, this);
    pa_stream_set_read_callback(stream_, &Device::OnRead, this);
    if (target_.tap) pa_stream_set_monitor_stream(stream_, target_.tap->sinkInput());
    pa_buffer_attr attr;
    attr.maxlength = uint32_t(-1);
    attr.tlength = uint32_t(-1);
    attr.prebuf = uint32_t(-1);
    attr.minreq = uint32_t(-1);
    attr.fragsize = fragment_;
    // Never moved: a change of the default devices must not change what is recorded.
    const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    if (pa_stream_connect_record(stream_, target_.source.c_str(), &attr, flags) < 0) {
        EndStream();
        return MMSYSERR_ERROR;
    }
    pa_stream* s = stream_;
    const bool ready = ctx_->waitFor(kStreamTimeout, [s] {
        const pa_stream_state_t st = pa_stream_get_state(s);
        return st == PA_STREAM_READY || !PA_STREAM_IS_GOOD(st);
    });
    if (!ready || pa_stream_get_state(s) != PA_STREAM_READY) {
        EndStream();
        return MMSYSERR_ERROR;
    }
    return MMSYSERR_NOERROR;
}

// The record stream's volume and mute are the selected line's; for the synthesizer line the
// record stream also takes out the speakers' volume, which its monitor carries.
void Device::ApplyLevel() {
    ProgramLevels& levels = ProgramLevels::Instance();
    const Level line = levels.Line(target_.line);
    double factor = ServerFactor({line.volume, false});
    double total = factor;
    if (target_.tap) {
        const SynthesizerGains g = SynthesizerRecordingGains(levels.Speakers(), line);
        factor = g.record;
        total = g.Total();
    }
    PulseContext::Lock lock(*ctx_);
    if (!stream_ || pa_stream_get_state(stream_) != PA_STREAM_READY) return;
    const bool s16Stereo = spec_.format == PA_SAMPLE_S16LE && spec_.channels == 2;
    if (target_.tap && s16Stereo && !aligner_) {
        // A frame shows as non-zero from half a step.
        const double gain = total * kRecordedFullScale;
        target_.tap->SetAudibleThreshold(gain > 0 ? float(0.5 / gain) : 0.0f);
        aligner_ = std::make_unique<RecordingAligner>(target_.tap, gain);
    }
    pa_cvolume volume;
    pa_cvolume_set(&volume, spec_.channels, pa_sw_volume_from_linear(factor));
    const uint32_t index = pa_stream_get_index(stream_);
    PulseContext::SuccessWait v{ctx_.get()}, m{ctx_.get()};
    ctx_->run(pa_context_set_source_output_volume(ctx_->context(), index, &volume,
                                                  &PulseContext::OnSuccess, &v),
              kStreamTimeout);
    ctx_->run(pa_context_set_source_output_mute(ctx_->context(), index, line.mute ? 1 : 0,
                                                &PulseContext::OnSuccess, &m),
              kStreamTimeout);
}

// Lock held. A hole in the stream is silence that still takes its place in the recording.
void Device::Drain() {
    if (!stream_ || pa_stream_get_state(stream_) != PA_STREAM_READY) return;
    bool any = false;
    for (;;) {
        const void* data = nullptr;
        size_t n = 0;
        if (pa_stream_peek(stream_, &data, &n) < 0 || n == 0) break;
        delivering_ = any = true;
        Deliver(data, n);
        pa_stream_drop(stream_);
    }
    if (any) ctx_->signal();  // Start and Stop wait on what has arrived
}

void Device::Deliver(const void* data, size_t bytes) {
    if (!aligner_ || alignerDone_) {
        buffers_.Deliver(data, bytes);
        return;
    }
    aligner_->Feed(
        static_cast<const int16_t*>(data), bytes / 4,
        [this](const int16_t* frames, size_t count) { buffers_.Deliver(frames, count * 4); });
}

// A server that hands over whole fragments only still holds the end of what it has played:
// wait a moment for the recording to reach it, so the file keeps the music's natural end.
void Device::AwaitPlayed() {
    if (!aligner_ || alignerDone_ || !aligner_->aligned()) return;
    const SequencerTap::Status status = target_.tap->Read();
    // Music that ended is awaited to its last frame; a stopped one as far as it was played.
    ctx_->waitFor(status.ended ? kEndTimeout : kTailTimeout, [this, status] {
        const bool there =
            status.ended ? aligner_->ReachedEnd() : aligner_->outputFrames() >= status.played;
        return there || !stream_ || pa_stream_get_state(stream_) != PA_STREAM_READY;
    });
}

void Device::FinishAligner() {
    if (!aligner_ || alignerDone_) return;
    aligner_->Finish(
        [this](const int16_t* frames, size_t count) { buffers_.Deliver(frames, count * 4); });
    alignerDone_ = true;
}

class PulseWaveIn : public WaveInService {
  public:
    explicit PulseWaveIn(std::shared_ptr<RecorderTable> recorders)
        : recorders_(std::move(recorders)) {}

    MMRESULT Open(HWAVEIN* phwi, UINT deviceId, const WAVEFORMATEX* format, DWORD_PTR callback,
                  DWORD_PTR, DWORD flags) override {
        if (!phwi || !format) return MMSYSERR_INVALPARAM;
        if (!IsLineDevice(deviceId) && !recorders_->Find(deviceId)) return MMSYSERR_BADDEVICEID;
        const DWORD type = flags & CALLBACK_TYPEMASK;
        if (type != CALLBACK_THREAD && type != CALLBACK_NULL) return MMSYSERR_INVALFLAG;

        pa_sample_spec spec;
        uint32_t fragment = 0;
        if (!RecordFormat(*format, &spec, &fragment)) return WAVERR_BADFORMAT;

        RecordingTarget target;
        if (!TargetOfDevice(deviceId, *recorders_, &target)) return MMSYSERR_NODRIVER;
        auto ctx = PulseContext::Connect("Tonvera wave input", kConnectTimeout);
        if (!ctx) return MMSYSERR_NODRIVER;

        HWAVEIN handle;
        {
            std::lock_guard lock(mutex_);
            handle = reinterpret_cast<HWAVEIN>(nextHandle_++);
        }
        auto device =
            std::make_shared<Device>(handle, type == CALLBACK_THREAD ? DWORD(callback) : DWORD(0),
                                     std::move(ctx), spec, fragment, std::move(target));
        const MMRESULT r = device->Connect();
        if (r != MMSYSERR_NOERROR) return r;
        {
            std::lock_guard lock(mutex_);
            devices_[handle] = device;
        }
        *phwi = handle;
        device->buffers().PostOpen();
        return MMSYSERR_NOERROR;
    }

    MMRESULT PrepareHeader(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh) override {
        return Find(hwi) ? WaveInBuffers::Prepare(pwh, cbwh) : MMSYSERR_INVALHANDLE;
    }
    MMRESULT UnprepareHeader(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh) override {
        return Find(hwi) ? WaveInBuffers::Unprepare(pwh, cbwh) : MMSYSERR_INVALHANDLE;
    }
    MMRESULT AddBuffer(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh) override {
        auto d = Find(hwi);
        return d ? d->buffers().Add(pwh, cbwh) : MMSYSERR_INVALHANDLE;
    }
    MMRESULT Start(HWAVEIN hwi) override {
        auto d = Find(hwi);
        return d ? d->Start() : MMSYSERR_INVALHANDLE;
    }
    MMRESULT Stop(HWAVEIN hwi) override {
        auto d = Find(hwi);
        if (!d) return MMSYSERR_INVALHANDLE;
        d->Stop();
        return MMSYSERR_NOERROR;
    }
    MMRESULT Reset(HWAVEIN hwi) override {
        auto d = Find(hwi);
        if (!d) return MMSYSERR_INVALHANDLE;
        d->Reset();
        return MMSYSERR_NOERROR;
    }
    MMRESULT Message(HWAVEIN hwi, UINT msg, DWORD_PTR dw1, DWORD_PTR dw2) override {
        auto d = Find(hwi);
        if (!d) return MMSYSERR_INVALHANDLE;
        if (msg != WIDM_GETGAPS) return MMSYSERR_NOTSUPPORTED;
        return CopyGaps(d->Gaps(), dw1, dw2);
    }
    MMRESULT Close(HWAVEIN hwi) override {
        std::shared_ptr<Device> d;
        {
            std::lock_guard lock(mutex_);
            auto it = devices_.find(hwi);
            if (it == devices_.end()) return MMSYSERR_INVALHANDLE;
            d = it->second;
            devices_.erase(it);
        }
        d->Close();
        return MMSYSERR_NOERROR;
    }

  private:
    std::shared_ptr<Device> Find(HWAVEIN hwi) {
        std::lock_guard lock(mutex_);
        auto it = devices_.find(hwi);
        return it == devices_.end() ? nullptr : it->second;
    }

    const std::shared_ptr<RecorderTable> recorders_;
    std::mutex mutex_;
    std::map<HWAVEIN, std::shared_ptr<Device>> devices_;
    uintptr_t nextHandle_ = 1;
};

}  // namespace

std::unique_ptr<WaveInService> MakeWaveIn(std::shared_ptr<RecorderTable> recorders) {
    if (!recorders) recorders = std::make_shared<RecorderTable>();
    return std::make_unique<PulseWaveIn>(std::move(recorders));
}

}  // namespace platform::pulse
