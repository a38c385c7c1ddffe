#pragma once
// Two backends side by side: the built-in one (device IDs below kSecondBackendIds) and one for
// external synths (IDs from there up). An MCI_OPEN with MCI_SEQ_OPEN_PORT goes to the second,
// any other open to the first; later commands go by device ID. Wave-in opens go by device ID
// (WAVE_MAPPER and low IDs to the first) and later calls to whichever service made the handle.
#include <map>
#include <memory>
#include <mutex>

#include "platform/mci.h"
#include "platform/wavein.h"

namespace platform {

constexpr UINT kSecondBackendIds = 0x1000;

class MciRoute : public MciService {
  public:
    MciRoute(std::unique_ptr<MciService> first, std::unique_ptr<MciService> second);
    MCIERROR SendCommand(MCIDEVICEID device, UINT msg, DWORD_PTR flags, DWORD_PTR param) override;
    bool ErrorText(MCIERROR error, std::string* text) const override;

  private:
    std::unique_ptr<MciService> first_, second_;
    mutable std::mutex mutex_;
    MciService* lastFailed_ = nullptr;  // whose failure the error text explains
};

class WaveInRoute : public WaveInService {
  public:
    WaveInRoute(std::unique_ptr<WaveInService> first, std::unique_ptr<WaveInService> second);
    MMRESULT Open(HWAVEIN* phwi, UINT deviceId, const WAVEFORMATEX* format, DWORD_PTR callback,
                  DWORD_PTR instance, DWORD flags) override;
    MMRESULT PrepareHeader(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh) override;
    MMRESULT UnprepareHeader(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh) override;
    MMRESULT AddBuffer(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh) override;
    MMRESULT Start(HWAVEIN hwi) override;
    MMRESULT Stop(HWAVEIN hwi) override;
    MMRESULT Reset(HWAVEIN hwi) override;
    MMRESULT Close(HWAVEIN hwi) override;
    MMRESULT Message(HWAVEIN hwi, UINT msg, DWORD_PTR dw1, DWORD_PTR dw2) override;

  private:
    WaveInService* Owner(HWAVEIN hwi) const;
    std::unique_ptr<WaveInService> first_, second_;
    mutable std::mutex mutex_;
    std::map<HWAVEIN, WaveInService*> owners_;
};

}  // namespace platform
