#pragma once
// The device side of wave input that every backend shares: the queue of buffers handed in,
// filling them strictly in queue order, and handing them back with their MM_WIM_DATA notices.
// What the queued buffers cannot take at once waits for the next buffer instead of being lost:
// a backend may hand over more than two buffers' worth in one go (seconds of silence it
// accounts for at once), and the application re-queues each buffer only after its notice.
// Thread-safe; notices are posted under the lock, so they reach the callback thread in the
// order the buffers were filled, whichever thread finishes a buffer.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

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
    // Takes no more bytes. What is still waiting was recorded before the stop: it goes into
    // the buffers added meanwhile, for at most `patience`; then the partly filled current
    // buffer comes back with what it holds.
    void Stop(std::chrono::milliseconds patience = std::chrono::milliseconds(0));
    // Stops filling; every queued buffer comes back.
    void Reset();
    // As Reset, then every later Add fails and MM_WIM_CLOSE is posted.
    void Close();

    // Recorded bytes in; null data stands for silence. Bytes arriving while stopped are lost.
    // While started every byte is taken: what the queued buffers cannot hold waits, in order,
    // for the buffers added next (silence as a count, sound up to kMostWaiting bytes; beyond
    // that a stretch is lost and counted in Lost()). Returns how many were taken.
    size_t Deliver(const void* data, size_t count);
    // Bytes taken that wait for a buffer.
    size_t Waiting() const;
    // Stretches of the recording lost because too much sound waited: the byte position in the
    // recording where each is missing, and its length.
    struct LostStretch {
        uint64_t at = 0;
        uint64_t bytes = 0;
    };
    std::vector<LostStretch> Lost() const;

    // A minute of CD-quality sound: far more than a backend ever hands over at once.
    static constexpr size_t kMostWaiting = 60 * 176400;
    // Free bytes in the queued buffers, and a wait for some (fake devices pace their feeding
    // by it). The wait also ends when the device stops or closes.
    size_t Room() const;
    bool WaitForRoom(std::chrono::milliseconds timeout) const;
    bool started() const;

  private:
    // A piece waiting for a buffer: sound, or `silence` bytes of it.
    struct Piece {
        std::vector<char> sound;
        size_t used = 0;  // of `sound`, gone into buffers
        size_t silence = 0;
        size_t size() const { return sound.empty() ? silence : sound.size() - used; }
    };

    // Lock held for all of these.
    size_t Fill(const char* data, size_t count);  // into the queued buffers; returns bytes taken
    void FillFromWaiting();
    void Wait(const char* data, size_t count);
    void HandBack(WAVEHDR* pwh, DWORD bytes);
    void ReturnAll();
    void Post(UINT msg, LPARAM lParam);

    const HWAVEIN handle_;
    const DWORD callbackThread_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::deque<WAVEHDR*> queue_;
    DWORD filled_ = 0;  // bytes in queue_.front()
    std::deque<Piece> waiting_;
    size_t waitingBytes_ = 0;       // of every piece
    size_t waitingSound_ = 0;       // of the sound pieces
    uint64_t recorded_ = 0;         // bytes of the recording taken so far (lost ones not)
    std::vector<LostStretch> lost_;
    bool started_ = false;
    bool closed_ = false;
};

}  // namespace platform
