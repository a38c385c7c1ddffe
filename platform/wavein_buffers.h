#pragma once
// The device side of wave input that every backend shares: the queue of buffers handed in,
// filling them strictly in queue order, and handing them back with their MM_WIM_DATA notices.
// Thread-safe; notices are posted under the lock, so they reach the callback thread in the
// order the buffers were filled, whichever thread finishes a buffer.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

#include "platform/wavein.h"

namespace platform {

class WaveInBuffers {
  public:
    // callbackThread 0: buffers are handed back without notices (CALLBACK_NULL).
    WaveInBuffers(HWAVEIN handle, DWORD callbackThread);
    WaveInBuffers(const WaveInBuffers&) = delete;
    WaveInBuffers& operator=(const WaveInBuffers&) = delete;

    static MMRESULT Prepare(WAVEHDR* pwh, UINT cbwh);
    static MMRESULT Unprepare(WAVEHDR* pwh, UINT cbwh);
    MMRESULT Add(WAVEHDR* pwh, UINT cbwh);

    void PostOpen();
    void Start();
    // Stops filling; the partly filled current buffer comes back with what it holds.
    void Stop();
    // Stops filling; every queued buffer comes back.
    void Reset();
    // As Reset, then every later Add fails and MM_WIM_CLOSE is posted.
    void Close();

    // Recorded bytes in; null data stands for silence. Bytes arriving while stopped, or while
    // no buffer is queued, are lost as on a real device. Returns how many went into buffers.
    size_t Deliver(const void* data, size_t count);
    // Free bytes in the queued buffers, and a wait for some (fake devices pace their feeding
    // by it). The wait also ends when the device stops or closes.
    size_t Room() const;
    bool WaitForRoom(std::chrono::milliseconds timeout) const;
    bool started() const;

  private:
    void HandBack(WAVEHDR* pwh, DWORD bytes);  // lock held
    void ReturnAll();                          // lock held
    void Post(UINT msg, LPARAM lParam);        // lock held

    const HWAVEIN handle_;
    const DWORD callbackThread_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::deque<WAVEHDR*> queue_;
    DWORD filled_ = 0;  // bytes in queue_.front()
    bool started_ = false;
    bool closed_ = false;
};

}  // namespace platform
