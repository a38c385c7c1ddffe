#include "platform/wavein.h"

#include <memory>
#include <mutex>

namespace {

// The capture thread re-queues buffers while the UI thread may install another service, so
// every call takes its own reference to the service it started with.
struct Installed {
    std::mutex mutex;
    std::shared_ptr<platform::WaveInService> service;
};

Installed& installed() {
    static Installed i;
    return i;
}

std::shared_ptr<platform::WaveInService> Service() {
    Installed& i = installed();
    std::lock_guard lock(i.mutex);
    return i.service;
}

}  // namespace

namespace platform {

void InstallWaveIn(std::unique_ptr<WaveInService> service) {
    std::shared_ptr<WaveInService> next(std::move(service));
    Installed& i = installed();
    std::lock_guard lock(i.mutex);
    i.service.swap(next);
}

}  // namespace platform

MMRESULT waveInOpen(HWAVEIN* phwi, UINT uDeviceID, const WAVEFORMATEX* pwfx, DWORD_PTR dwCallback,
                    DWORD_PTR dwInstance, DWORD fdwOpen) {
    auto s = Service();
    return s ? s->Open(phwi, uDeviceID, pwfx, dwCallback, dwInstance, fdwOpen) : MMSYSERR_NODRIVER;
}

MMRESULT waveInPrepareHeader(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh) {
    auto s = Service();
    return s ? s->PrepareHeader(hwi, pwh, cbwh) : MMSYSERR_NODRIVER;
}

MMRESULT waveInUnprepareHeader(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh) {
    auto s = Service();
    return s ? s->UnprepareHeader(hwi, pwh, cbwh) : MMSYSERR_NODRIVER;
}

MMRESULT waveInAddBuffer(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh) {
    auto s = Service();
    return s ? s->AddBuffer(hwi, pwh, cbwh) : MMSYSERR_NODRIVER;
}

MMRESULT waveInStart(HWAVEIN hwi) {
    auto s = Service();
    return s ? s->Start(hwi) : MMSYSERR_NODRIVER;
}

MMRESULT waveInStop(HWAVEIN hwi) {
    auto s = Service();
    return s ? s->Stop(hwi) : MMSYSERR_NODRIVER;
}

MMRESULT waveInReset(HWAVEIN hwi) {
    auto s = Service();
    return s ? s->Reset(hwi) : MMSYSERR_NODRIVER;
}

MMRESULT waveInClose(HWAVEIN hwi) {
    auto s = Service();
    return s ? s->Close(hwi) : MMSYSERR_NODRIVER;
}

MMRESULT waveInMessage(HWAVEIN hwi, UINT uMsg, DWORD_PTR dw1, DWORD_PTR dw2) {
    auto s = Service();
    return s ? s->Message(hwi, uMsg, dw1, dw2) : MMSYSERR_NODRIVER;
}

namespace platform {

MMRESULT CopyGaps(const std::vector<WAVEINGAP>& gaps, DWORD_PTR dw1, DWORD_PTR dw2) {
    auto* array = reinterpret_cast<WAVEINGAP*>(dw1);
    auto* size = reinterpret_cast<DWORD*>(dw2);
    if (!size || (*size > 0 && !array)) return MMSYSERR_INVALPARAM;
    for (size_t i = 0; i < gaps.size() && i < *size; ++i) array[i] = gaps[i];
    *size = DWORD(gaps.size());
    return MMSYSERR_NOERROR;
}

}  // namespace platform
