#include "platform/fake/fake_wavein.h"

#include <algorithm>

#include "platform/wavein_buffers.h"

namespace platform::fake {

FakeWaveIn::FakeWaveIn() = default;
FakeWaveIn::~FakeWaveIn() = default;

void FakeWaveIn::FailOpen(MMRESULT result) {
    std::lock_guard lock(mutex_);
    failOpen_ = result;
}

std::shared_ptr<WaveInBuffers> FakeWaveIn::Current() {
    std::lock_guard lock(mutex_);
    auto it = devices_.find(current_);
    return it == devices_.end() ? nullptr : it->second;
}

bool FakeWaveIn::WaitStarted(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return started_.wait_for(lock, timeout, [this] {
        auto it = devices_.find(current_);
        return it != devices_.end() && it->second->started();
    });
}

size_t FakeWaveIn::Feed(const std::vector<uint8_t>& bytes, std::chrono::milliseconds patience) {
    auto device = Current();
    if (!device) return 0;
    size_t done = 0;
    while (done < bytes.size()) {
        if (!device->WaitForRoom(patience)) break;
        // Paced by the room in the queued buffers, as a sound card records in real time.
        const size_t n = std::min(bytes.size() - done, device->Room());
        done += device->Deliver(bytes.data() + done, n);
    }
    return done;
}

std::vector<std::string> FakeWaveIn::Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

size_t FakeWaveIn::CallCount(const std::string& name) const {
    std::lock_guard lock(mutex_);
    return size_t(std::count(calls_.begin(), calls_.end(), name));
}

WAVEFORMATEX FakeWaveIn::LastFormat() const {
    std::lock_guard lock(mutex_);
    return lastFormat_;
}

std::shared_ptr<WaveInBuffers> FakeWaveIn::Find(HWAVEIN hwi, const char* call) {
    std::lock_guard lock(mutex_);
    calls_.emplace_back(call);
    auto it = devices_.find(hwi);
    return it == devices_.end() ? nullptr : it->second;
}

void FakeWaveIn::AddDevice(UINT deviceId) {
    std::lock_guard lock(mutex_);
    extraDevices_.push_back(deviceId);
}

UINT FakeWaveIn::LastDeviceId() const {
    std::lock_guard lock(mutex_);
    return lastDeviceId_;
}

MMRESULT FakeWaveIn::Open(HWAVEIN* phwi, UINT deviceId, const WAVEFORMATEX* format,
                          DWORD_PTR callback, DWORD_PTR, DWORD flags) {
    std::shared_ptr<WaveInBuffers> device;
    {
        std::lock_guard lock(mutex_);
        calls_.emplace_back("waveInOpen");
        if (!phwi || !format) return MMSYSERR_INVALPARAM;
        lastFormat_ = *format;
        if (failOpen_ != MMSYSERR_NOERROR) return failOpen_;
        if (deviceId != WAVE_MAPPER && deviceId != 0 &&
            std::find(extraDevices_.begin(), extraDevices_.end(), deviceId) == extraDevices_.end())
            return MMSYSERR_BADDEVICEID;
        if (format->wFormatTag != WAVE_FORMAT_PCM) return WAVERR_BADFORMAT;
        const DWORD type = flags & CALLBACK_TYPEMASK;
        if (type != CALLBACK_THREAD && type != CALLBACK_NULL) return MMSYSERR_INVALFLAG;
        const auto handle = reinterpret_cast<HWAVEIN>(nextHandle_++);
        device = std::make_shared<WaveInBuffers>(
            handle, type == CALLBACK_THREAD ? DWORD(callback) : DWORD(0));
        devices_[handle] = device;
        current_ = handle;
        lastDeviceId_ = deviceId;
        *phwi = handle;
    }
    device->PostOpen();
    return MMSYSERR_NOERROR;
}

MMRESULT FakeWaveIn::PrepareHeader(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh) {
    if (!Find(hwi, "waveInPrepareHeader")) return MMSYSERR_INVALHANDLE;
    return WaveInBuffers::Prepare(pwh, cbwh);
}

MMRESULT FakeWaveIn::UnprepareHeader(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh) {
    if (!Find(hwi, "waveInUnprepareHeader")) return MMSYSERR_INVALHANDLE;
    return WaveInBuffers::Unprepare(pwh, cbwh);
}

MMRESULT FakeWaveIn::AddBuffer(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh) {
    auto device = Find(hwi, "waveInAddBuffer");
    return device ? device->Add(pwh, cbwh) : MMSYSERR_INVALHANDLE;
}

MMRESULT FakeWaveIn::Start(HWAVEIN hwi) {
    auto device = Find(hwi, "waveInStart");
    if (!device) return MMSYSERR_INVALHANDLE;
    device->Start();
    std::lock_guard lock(mutex_);
    started_.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT FakeWaveIn::Stop(HWAVEIN hwi) {
    auto device = Find(hwi, "waveInStop");
    if (!device) return MMSYSERR_INVALHANDLE;
    device->Stop();
    return MMSYSERR_NOERROR;
}

MMRESULT FakeWaveIn::Reset(HWAVEIN hwi) {
    auto device = Find(hwi, "waveInReset");
    if (!device) return MMSYSERR_INVALHANDLE;
    device->Reset();
    return MMSYSERR_NOERROR;
}

void FakeWaveIn::SetGaps(std::vector<WAVEINGAP> gaps) {
    std::lock_guard lock(mutex_);
    gaps_ = std::move(gaps);
}

MMRESULT FakeWaveIn::Message(HWAVEIN hwi, UINT msg, DWORD_PTR dw1, DWORD_PTR dw2) {
    std::lock_guard lock(mutex_);
    calls_.emplace_back("waveInMessage");
    if (!devices_.count(hwi)) return MMSYSERR_INVALHANDLE;
    if (msg != WIDM_GETGAPS) return MMSYSERR_NOTSUPPORTED;
    return CopyGaps(gaps_, dw1, dw2);
}

MMRESULT FakeWaveIn::Close(HWAVEIN hwi) {
    std::shared_ptr<WaveInBuffers> device;
    {
        std::lock_guard lock(mutex_);
        calls_.emplace_back("waveInClose");
        auto it = devices_.find(hwi);
        if (it == devices_.end()) return MMSYSERR_INVALHANDLE;
        device = it->second;
        devices_.erase(it);
        if (current_ == hwi) current_ = nullptr;
    }
    device->Close();
    return MMSYSERR_NOERROR;
}

}  // namespace platform::fake
