#include "platform/wavein_buffers.h"

#include <algorithm>
#include <cstring>

#include "platform/thread_queue.h"

namespace platform {

WaveInBuffers::WaveInBuffers(HWAVEIN handle, DWORD callbackThread)
    : handle_(handle), callbackThread_(callbackThread) {}

MMRESULT WaveInBuffers::Prepare(WAVEHDR* pwh, UINT cbwh) {
    if (!pwh || cbwh != sizeof(WAVEHDR) || !pwh->lpData || pwh->dwBufferLength == 0)
        return MMSYSERR_INVALPARAM;
    pwh->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT WaveInBuffers::Unprepare(WAVEHDR* pwh, UINT cbwh) {
    if (!pwh || cbwh != sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
    if (pwh->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    pwh->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT WaveInBuffers::Add(WAVEHDR* pwh, UINT cbwh) {
    if (!pwh || cbwh != sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
    std::lock_guard lock(mutex_);
    if (closed_) return MMSYSERR_INVALHANDLE;
    if (!(pwh->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
    if ((pwh->dwFlags & WHDR_INQUEUE) ||
        std::find(queue_.begin(), queue_.end(), pwh) != queue_.end())
        return WAVERR_STILLPLAYING;
    pwh->dwBytesRecorded = 0;
    pwh->dwFlags = (pwh->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    queue_.push_back(pwh);
    changed_.notify_all();
    return MMSYSERR_NOERROR;
}

void WaveInBuffers::PostOpen() {
    std::lock_guard lock(mutex_);
    Post(MM_WIM_OPEN, 0);
}

void WaveInBuffers::Start() {
    std::lock_guard lock(mutex_);
    if (!closed_) started_ = true;
    changed_.notify_all();
}

void WaveInBuffers::Stop() {
    std::lock_guard lock(mutex_);
    started_ = false;
    if (!queue_.empty() && filled_ > 0) {
        WAVEHDR* current = queue_.front();
        queue_.pop_front();
        HandBack(current, filled_);
        filled_ = 0;
    }
    changed_.notify_all();
}

void WaveInBuffers::Reset() {
    std::lock_guard lock(mutex_);
    started_ = false;
    ReturnAll();
    changed_.notify_all();
}

void WaveInBuffers::Close() {
    std::lock_guard lock(mutex_);
    started_ = false;
    ReturnAll();
    if (!closed_) Post(MM_WIM_CLOSE, 0);
    closed_ = true;
    changed_.notify_all();
}

size_t WaveInBuffers::Deliver(const void* data, size_t count) {
    std::lock_guard lock(mutex_);
    if (!started_) return 0;
    const auto* in = static_cast<const char*>(data);
    size_t taken = 0;
    while (taken < count && !queue_.empty()) {
        WAVEHDR* h = queue_.front();
        const size_t n = std::min<size_t>(count - taken, h->dwBufferLength - filled_);
        if (in)
            std::memcpy(h->lpData + filled_, in + taken, n);
        else
            std::memset(h->lpData + filled_, 0, n);
        filled_ += DWORD(n);
        taken += n;
        if (filled_ == h->dwBufferLength) {
            queue_.pop_front();
            HandBack(h, filled_);
            filled_ = 0;
        }
    }
    return taken;
}

size_t WaveInBuffers::Room() const {
    std::lock_guard lock(mutex_);
    size_t room = 0;
    for (const WAVEHDR* h : queue_) room += h->dwBufferLength;
    return room - filled_;
}

bool WaveInBuffers::WaitForRoom(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return !queue_.empty() || !started_; }) &&
           !queue_.empty() && started_;
}

bool WaveInBuffers::started() const {
    std::lock_guard lock(mutex_);
    return started_;
}

void WaveInBuffers::HandBack(WAVEHDR* pwh, DWORD bytes) {
    pwh->dwBytesRecorded = bytes;
    pwh->dwFlags = (pwh->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    Post(MM_WIM_DATA, LPARAM(pwh));
}

void WaveInBuffers::ReturnAll() {
    DWORD bytes = filled_;
    filled_ = 0;
    while (!queue_.empty()) {
        WAVEHDR* h = queue_.front();
        queue_.pop_front();
        HandBack(h, bytes);
        bytes = 0;
    }
}

void WaveInBuffers::Post(UINT msg, LPARAM lParam) {
    if (callbackThread_) PostThreadMessageA(callbackThread_, msg, WPARAM(handle_), lParam);
}

}  // namespace platform
