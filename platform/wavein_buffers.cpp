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
    FillFromWaiting();
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

void WaveInBuffers::Stop(std::chrono::milliseconds patience) {
    std::unique_lock lock(mutex_);
    started_ = false;
    changed_.wait_for(lock, patience, [this] { return waiting_.empty() || closed_; });
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
    // Nothing overtakes what already waits.
    const size_t taken = waiting_.empty() ? Fill(in, count) : 0;
    recorded_ += taken;
    if (taken < count) Wait(in ? in + taken : nullptr, count - taken);
    return count;
}

size_t WaveInBuffers::Fill(const char* in, size_t count) {
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

void WaveInBuffers::Wait(const char* in, size_t count) {
    if (!in) {
        if (!waiting_.empty() && waiting_.back().sound.empty())
            waiting_.back().silence += count;
        else
            waiting_.push_back({{}, 0, count});
        waitingBytes_ += count;
        recorded_ += count;
        return;
    }
    const size_t room = kMostWaiting - std::min(kMostWaiting, waitingSound_);
    const size_t kept = std::min(room, count);
    if (kept) {
        waiting_.push_back({std::vector<char>(in, in + kept), 0, 0});
        waitingBytes_ += kept;
        waitingSound_ += kept;
        recorded_ += kept;
    }
    if (kept == count) return;
    // The recording goes on after the hole: the lost bytes take no place in it.
    if (!lost_.empty() && lost_.back().at == recorded_)
        lost_.back().bytes += count - kept;
    else
        lost_.push_back({recorded_, count - kept});
}

void WaveInBuffers::FillFromWaiting() {
    while (!waiting_.empty() && !queue_.empty()) {
        Piece& p = waiting_.front();
        const size_t size = p.size();
        const size_t n = Fill(p.sound.empty() ? nullptr : p.sound.data() + p.used, size);
        waitingBytes_ -= n;
        if (p.sound.empty()) {
            p.silence -= n;
        } else {
            waitingSound_ -= n;
            p.used += n;
        }
        if (n == size) waiting_.pop_front();
    }
}

size_t WaveInBuffers::Waiting() const {
    std::lock_guard lock(mutex_);
    return waitingBytes_;
}

std::vector<WaveInBuffers::LostStretch> WaveInBuffers::Lost() const {
    std::lock_guard lock(mutex_);
    return lost_;
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
    waiting_.clear();
    waitingBytes_ = waitingSound_ = 0;
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
