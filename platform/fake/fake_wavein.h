#pragma once
// A wave-input device for tests: records exactly the PCM it is fed, when it is fed, and logs
// every call made to it.
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/wavein.h"

namespace platform {
class WaveInBuffers;
}

namespace platform::fake {

class FakeWaveIn : public WaveInService {
  public:
    FakeWaveIn();
    ~FakeWaveIn() override;

    // The next opens fail with this result (MMSYSERR_NOERROR: they succeed again).
    void FailOpen(MMRESULT result);
    // Besides 0 and WAVE_MAPPER, `deviceId` opens too (a device that records one MCI device).
    void AddDevice(UINT deviceId);
    // The device ID of the last open that succeeded.
    UINT LastDeviceId() const;

    // Records the bytes on the open, started device. Blocks while every queued buffer is full
    // (as a real device keeps recording while the application re-queues), at most `patience`
    // for each wait. Returns how many bytes went into buffers.
    size_t Feed(const std::vector<uint8_t>& bytes,
                std::chrono::milliseconds patience = std::chrono::seconds(10));
    // True once a device has been opened and started.
    bool WaitStarted(std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // Every call so far, by its operation name ("waveInOpen", "waveInAddBuffer" ...).
    std::vector<std::string> Calls() const;
    size_t CallCount(const std::string& name) const;
    // The format of the last open.
    WAVEFORMATEX LastFormat() const;
    // The holes the device reports (WIDM_GETGAPS) from now on.
    void SetGaps(std::vector<WAVEINGAP> gaps);

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
    std::shared_ptr<WaveInBuffers> Find(HWAVEIN hwi, const char* call);
    std::shared_ptr<WaveInBuffers> Current();

    mutable std::mutex mutex_;
    std::condition_variable started_;
    std::vector<std::string> calls_;
    std::map<HWAVEIN, std::shared_ptr<WaveInBuffers>> devices_;
    HWAVEIN current_ = nullptr;  // the last opened device still open
    uintptr_t nextHandle_ = 1;
    MMRESULT failOpen_ = MMSYSERR_NOERROR;
    std::vector<UINT> extraDevices_;
    UINT lastDeviceId_ = 0;
    WAVEFORMATEX lastFormat_{};
    std::vector<WAVEINGAP> gaps_;
};

}  // namespace platform::fake
