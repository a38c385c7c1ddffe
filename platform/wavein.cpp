#include "platform/wavein.h"

#include "platform/service_slot.h"

namespace {

// The capture thread re-queues buffers while the UI thread may install another service: every
// call keeps the service it started with.
template <class... Params, class... Args>
MMRESULT Call(MMRESULT (platform::WaveInService::*op)(Params...), Args... args) {
    return platform::ServiceSlot<platform::WaveInService>::Instance().Call(MMSYSERR_NODRIVER, op,
                                                                           args...);
}

}  // namespace

namespace platform {

void InstallWaveIn(std::unique_ptr<WaveInService> service) {
    ServiceSlot<WaveInService>::Instance().Install(std::move(service));
}

}  // namespace platform

MMRESULT waveInOpen(HWAVEIN* phwi, UINT uDeviceID, const WAVEFORMATEX* pwfx, DWORD_PTR dwCallback,
                    DWORD_PTR dwInstance, DWORD fdwOpen) {
    return Call(&platform::WaveInService::Open, phwi, uDeviceID, pwfx, dwCallback, dwInstance,
                fdwOpen);
}

MMRESULT waveInPrepareHeader(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh) {
    return Call(&platform::WaveInService::PrepareHeader, hwi, pwh, cbwh);
}

MMRESULT waveInUnprepareHeader(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh) {
    return Call(&platform::WaveInService::UnprepareHeader, hwi, pwh, cbwh);
}

MMRESULT waveInAddBuffer(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh) {
    return Call(&platform::WaveInService::AddBuffer, hwi, pwh, cbwh);
}

MMRESULT waveInStart(HWAVEIN hwi) {
    return Call(&platform::WaveInService::Start, hwi);
}

MMRESULT waveInStop(HWAVEIN hwi) {
    return Call(&platform::WaveInService::Stop, hwi);
}

MMRESULT waveInReset(HWAVEIN hwi) {
    return Call(&platform::WaveInService::Reset, hwi);
}

MMRESULT waveInClose(HWAVEIN hwi) {
    return Call(&platform::WaveInService::Close, hwi);
}

MMRESULT waveInMessage(HWAVEIN hwi, UINT uMsg, DWORD_PTR dw1, DWORD_PTR dw2) {
    return Call(&platform::WaveInService::Message, hwi, uMsg, dw1, dw2);
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
