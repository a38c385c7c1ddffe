// The wave-input device that records a JACK sequencer's synth: opened with the ID that the
// sequencer answers to MCI_STATUS_RECORDER, fed by its session from the music's time 0 on.
#include <algorithm>

#include "platform/jack/jack_backend.h"
#include "platform/jack/jack_session.h"
#include "platform/wavein_buffers.h"

namespace platform::jack {
namespace {

constexpr auto kHandOverTimeout = std::chrono::seconds(10);

struct Device {
    Device(HWAVEIN handle, DWORD thread, std::shared_ptr<JackSession> s)
        : session(std::move(s)), buffers(handle, thread) {}
    std::shared_ptr<JackSession> session;
    WaveInBuffers buffers;
};

DWORD Ms(uint64_t frames) { return DWORD(frames * 1000 / platform::midi::kSmfRate); }

class JackWaveIn : public WaveInService {
  public:
    explicit JackWaveIn(std::shared_ptr<JackDevices> devices) : devices_(std::move(devices)) {}

    MMRESULT Open(HWAVEIN* phwi, UINT deviceId, const WAVEFORMATEX* format, DWORD_PTR callback,
                  DWORD_PTR, DWORD flags) override {
        if (!phwi || !format) return MMSYSERR_INVALPARAM;
        const DWORD type = flags & CALLBACK_TYPEMASK;
        if (type != CALLBACK_THREAD && type != CALLBACK_NULL) return MMSYSERR_INVALFLAG;
        if (format->wFormatTag != WAVE_FORMAT_PCM || format->nChannels != 2 ||
            format->nSamplesPerSec != platform::midi::kSmfRate || format->wBitsPerSample != 16)
            return WAVERR_BADFORMAT;
        auto session = devices_->Find(deviceId);
        if (!session) return MMSYSERR_BADDEVICEID;
        std::lock_guard lock(mutex_);
        const auto handle = reinterpret_cast<HWAVEIN>(nextHandle_++);
        auto device = std::make_shared<Device>(handle, type == CALLBACK_THREAD ? DWORD(callback) : 0,
                                               session);
        WaveInBuffers* buffers = &device->buffers;
        session->SetSink([buffers](const int16_t* f, size_t n) { buffers->Deliver(f, n * 4); });
        devices_by_handle_[handle] = device;
        *phwi = handle;
        device->buffers.PostOpen();
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
        return d ? d->buffers.Add(pwh, cbwh) : MMSYSERR_INVALHANDLE;
    }
    MMRESULT Start(HWAVEIN hwi) override {
        auto d = Find(hwi);
        if (!d) return MMSYSERR_INVALHANDLE;
        d->buffers.Start();
        return MMSYSERR_NOERROR;
    }
    MMRESULT Stop(HWAVEIN hwi) override {
        auto d = Find(hwi);
        if (!d) return MMSYSERR_INVALHANDLE;
        d->buffers.Stop(kHandOverTimeout);
        return MMSYSERR_NOERROR;
    }
    MMRESULT Reset(HWAVEIN hwi) override {
        auto d = Find(hwi);
        if (!d) return MMSYSERR_INVALHANDLE;
        d->buffers.Reset();
        return MMSYSERR_NOERROR;
    }
    MMRESULT Close(HWAVEIN hwi) override {
        std::shared_ptr<Device> d;
        {
            std::lock_guard lock(mutex_);
            auto it = devices_by_handle_.find(hwi);
            if (it == devices_by_handle_.end()) return MMSYSERR_INVALHANDLE;
            d = std::move(it->second);
            devices_by_handle_.erase(it);
        }
        d->session->SetSink(nullptr);  // no more deliveries into buffers about to go
        d->buffers.Close();
        return MMSYSERR_NOERROR;
    }
    MMRESULT Message(HWAVEIN hwi, UINT msg, DWORD_PTR dw1, DWORD_PTR dw2) override {
        auto d = Find(hwi);
        if (!d) return MMSYSERR_INVALHANDLE;
        if (msg != WIDM_GETGAPS) return MMSYSERR_NOTSUPPORTED;
        std::vector<WAVEINGAP> gaps;
        for (const auto& g : d->session->Gaps())
            gaps.push_back({Ms(g.frame), std::max<DWORD>(1, Ms(g.frames)),
                            g.kind == JackSession::Gap::Kind::kEndsEarly ? WAVEINGAP_ENDS_EARLY
                                                                         : WAVEINGAP_MISSING});
        return CopyGaps(gaps, dw1, dw2);
    }

  private:
    std::shared_ptr<Device> Find(HWAVEIN hwi) {
        std::lock_guard lock(mutex_);
        auto it = devices_by_handle_.find(hwi);
        return it == devices_by_handle_.end() ? nullptr : it->second;
    }

    std::shared_ptr<JackDevices> devices_;
    std::mutex mutex_;
    std::map<HWAVEIN, std::shared_ptr<Device>> devices_by_handle_;
    uintptr_t nextHandle_ = 0x1000;
};

}  // namespace

std::unique_ptr<WaveInService> MakeJackWaveIn(std::shared_ptr<JackDevices> devices) {
    return std::make_unique<JackWaveIn>(std::move(devices));
}

}  // namespace platform::jack
