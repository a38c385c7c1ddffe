// Wave input over the sound server: the default source as a record stream, read in 100 ms
// fragments into the application's buffers.
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

#include "platform/pulse/pulse_backend.h"
#include "platform/pulse/pulse_context.h"
#include "platform/wavein.h"
#include "platform/wavein_buffers.h"

namespace platform::pulse {

namespace {

constexpr auto kConnectTimeout = std::chrono::seconds(3);
constexpr auto kStreamTimeout = std::chrono::seconds(3);
// A new record stream on a sink that was idle can take up to 2 s for its first data; start
// returns once data flows, so that whatever plays after it is recorded from its beginning.
constexpr auto kFirstDataTimeout = std::chrono::milliseconds(2500);

class Device {
  public:
    Device(HWAVEIN handle, DWORD callbackThread, std::unique_ptr<PulseContext> ctx,
           const pa_sample_spec& spec, uint32_t fragment)
        : ctx_(std::move(ctx)),
          spec_(spec),
          fragment_(fragment),
          buffers_(handle, callbackThread) {}
    ~Device() {
        PulseContext::Lock lock(*ctx_);
        EndStream();
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    WaveInBuffers& buffers() { return buffers_; }

    // Connects the record stream at once, so that it already delivers when recording starts
    // (a new stream on an idle source can take seconds for its first data).
    MMRESULT Connect() {
        PulseContext::Lock lock(*ctx_);
        return ConnectLocked();
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
        Drain();  // what has arrived was recorded before the stop
        buffers_.Stop();
    }

    void Reset() {
        PulseContext::Lock lock(*ctx_);
        Drain();
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

  private:
    MMRESULT ConnectLocked() {
        if (!ctx_->alive()) return MMSYSERR_NODRIVER;
        delivering_ = false;
        stream_ = pa_stream_new(ctx_->context(), "Tonvera capture", &spec_, nullptr);
        if (!stream_) return MMSYSERR_NOMEM;
        pa_stream_set_state_callback(stream_, &Device::OnState, this);
        pa_stream_set_read_callback(stream_, &Device::OnRead, this);
        pa_buffer_attr attr;
        attr.maxlength = uint32_t(-1);
        attr.tlength = uint32_t(-1);
        attr.prebuf = uint32_t(-1);
        attr.minreq = uint32_t(-1);
        attr.fragsize = fragment_;
        if (pa_stream_connect_record(stream_, nullptr, &attr, PA_STREAM_ADJUST_LATENCY) < 0) {
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

    // Lock held. A hole in the stream is silence that still takes its place in the recording.
    void Drain() {
        if (!stream_ || pa_stream_get_state(stream_) != PA_STREAM_READY) return;
        for (;;) {
            const void* data = nullptr;
            size_t n = 0;
            if (pa_stream_peek(stream_, &data, &n) < 0 || n == 0) break;
            if (!delivering_) {
                delivering_ = true;
                ctx_->signal();
            }
            buffers_.Deliver(data, n);
            pa_stream_drop(stream_);
        }
    }

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
    pa_stream* stream_ = nullptr;
    bool closed_ = false;
    bool delivering_ = false;  // the stream has handed over data at least once
    WaveInBuffers buffers_;
};

class PulseWaveIn : public WaveInService {
  public:
    MMRESULT Open(HWAVEIN* phwi, UINT deviceId, const WAVEFORMATEX* format, DWORD_PTR callback,
                  DWORD_PTR, DWORD flags) override {
        if (!phwi || !format) return MMSYSERR_INVALPARAM;
        if (deviceId != WAVE_MAPPER && deviceId != 0) return MMSYSERR_BADDEVICEID;
        const DWORD type = flags & CALLBACK_TYPEMASK;
        if (type != CALLBACK_THREAD && type != CALLBACK_NULL) return MMSYSERR_INVALFLAG;

        pa_sample_spec spec;
        if (format->wFormatTag != WAVE_FORMAT_PCM || format->nChannels < 1 ||
            format->nChannels > 2 || format->nSamplesPerSec == 0 ||
            (format->wBitsPerSample != 8 && format->wBitsPerSample != 16) ||
            format->nBlockAlign != format->nChannels * format->wBitsPerSample / 8)
            return WAVERR_BADFORMAT;
        spec.format = format->wBitsPerSample == 16 ? PA_SAMPLE_S16LE : PA_SAMPLE_U8;
        spec.channels = uint8_t(format->nChannels);
        spec.rate = format->nSamplesPerSec;
        if (!pa_sample_spec_valid(&spec)) return WAVERR_BADFORMAT;
        // 100 ms fragments: delivered promptly; the default size comes in 2 s late pieces.
        const uint32_t fragment =
            std::max<uint32_t>(1, spec.rate / 10) * uint32_t(format->nBlockAlign);

        auto ctx = PulseContext::Connect("Tonvera wave input", kConnectTimeout);
        if (!ctx) return MMSYSERR_NODRIVER;

        HWAVEIN handle;
        {
            std::lock_guard lock(mutex_);
            handle = reinterpret_cast<HWAVEIN>(nextHandle_++);
        }
        auto device =
            std::make_shared<Device>(handle, type == CALLBACK_THREAD ? DWORD(callback) : DWORD(0),
                                     std::move(ctx), spec, fragment);
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

    std::mutex mutex_;
    std::map<HWAVEIN, std::shared_ptr<Device>> devices_;
    uintptr_t nextHandle_ = 1;
};

}  // namespace

std::unique_ptr<WaveInService> MakeWaveIn() {
    return std::make_unique<PulseWaveIn>();
}

}  // namespace platform::pulse
