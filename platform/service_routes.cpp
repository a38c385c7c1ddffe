#include "platform/service_routes.h"

namespace platform {

MciRoute::MciRoute(std::unique_ptr<MciService> first, std::unique_ptr<MciService> second)
    : first_(std::move(first)), second_(std::move(second)) {}

MCIERROR MciRoute::SendCommand(MCIDEVICEID device, UINT msg, DWORD_PTR flags, DWORD_PTR param) {
    MciService* to = first_.get();
    if (msg == MCI_OPEN ? (flags & MCI_SEQ_OPEN_PORT) != 0 : device >= kSecondBackendIds)
        to = second_.get();
    const MCIERROR e = to->SendCommand(device, msg, flags, param);
    if (e) {
        std::lock_guard lock(mutex_);
        lastFailed_ = to;
    }
    return e;
}

bool MciRoute::ErrorText(MCIERROR error, std::string* text) const {
    MciService* last;
    {
        std::lock_guard lock(mutex_);
        last = lastFailed_;
    }
    return (last ? last : first_.get())->ErrorText(error, text);
}

WaveInRoute::WaveInRoute(std::unique_ptr<WaveInService> first, std::unique_ptr<WaveInService> second)
    : first_(std::move(first)), second_(std::move(second)) {}

MMRESULT WaveInRoute::Open(HWAVEIN* phwi, UINT deviceId, const WAVEFORMATEX* format,
                           DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
    WaveInService* to =
        deviceId != WAVE_MAPPER && deviceId >= kSecondBackendIds ? second_.get() : first_.get();
    const MMRESULT r = to->Open(phwi, deviceId, format, callback, instance, flags);
    if (r == MMSYSERR_NOERROR) {
        std::lock_guard lock(mutex_);
        owners_[*phwi] = to;
    }
    return r;
}

WaveInService* WaveInRoute::Owner(HWAVEIN hwi) const {
    std::lock_guard lock(mutex_);
    auto it = owners_.find(hwi);
    return it == owners_.end() ? nullptr : it->second;
}

#define TONVERA_ROUTE(call)                      \
    WaveInService* s = Owner(hwi);               \
    return s ? s->call : MMSYSERR_INVALHANDLE

MMRESULT WaveInRoute::PrepareHeader(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh) {
    TONVERA_ROUTE(PrepareHeader(hwi, pwh, cbwh));
}
MMRESULT WaveInRoute::UnprepareHeader(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh) {
    TONVERA_ROUTE(UnprepareHeader(hwi, pwh, cbwh));
}
MMRESULT WaveInRoute::AddBuffer(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh) {
    TONVERA_ROUTE(AddBuffer(hwi, pwh, cbwh));
}
MMRESULT WaveInRoute::Start(HWAVEIN hwi) { TONVERA_ROUTE(Start(hwi)); }
MMRESULT WaveInRoute::Stop(HWAVEIN hwi) { TONVERA_ROUTE(Stop(hwi)); }
MMRESULT WaveInRoute::Reset(HWAVEIN hwi) { TONVERA_ROUTE(Reset(hwi)); }
MMRESULT WaveInRoute::Message(HWAVEIN hwi, UINT msg, DWORD_PTR dw1, DWORD_PTR dw2) {
    TONVERA_ROUTE(Message(hwi, msg, dw1, dw2));
}
#undef TONVERA_ROUTE

MMRESULT WaveInRoute::Close(HWAVEIN hwi) {
    WaveInService* s = Owner(hwi);
    if (!s) return MMSYSERR_INVALHANDLE;
    const MMRESULT r = s->Close(hwi);
    std::lock_guard lock(mutex_);
    owners_.erase(hwi);
    return r;
}

}  // namespace platform
