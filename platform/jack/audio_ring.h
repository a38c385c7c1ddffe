#pragma once
// A single-producer, single-consumer ring of floats: the process callback writes what it
// recorded, a non-real-time thread reads it. Lock-free and allocation-free on both sides
// after construction; the positions are atomics that only their own side writes.
#include <atomic>
#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <vector>

namespace platform::jack {

class AudioRing {
  public:
    explicit AudioRing(size_t capacity) : data_(capacity) {}
    AudioRing(const AudioRing&) = delete;
    AudioRing& operator=(const AudioRing&) = delete;

    size_t capacity() const { return data_.size(); }

    // Producer: free room now (it only grows until the next write).
    size_t Room() const {
        return data_.size() - size_t(head_.load(std::memory_order_relaxed) -
                                     tail_.load(std::memory_order_acquire));
    }
    // Producer: writes all `count` values or nothing (a cycle is never split).
    bool Write(const float* values, size_t count) {
        if (count > Room()) return false;
        const uint64_t head = head_.load(std::memory_order_relaxed);
        for (size_t i = 0; i < count; ++i) data_[(head + i) % data_.size()] = values[i];
        head_.store(head + count, std::memory_order_release);
        return true;
    }
    // Producer: writes interleaved frames from separate channel buffers (null = silence).
    bool WriteFrames(const float* const* channels, size_t channelCount, size_t frames) {
        const size_t count = channelCount * frames;
        if (count > Room()) return false;
        const uint64_t head = head_.load(std::memory_order_relaxed);
        for (size_t f = 0; f < frames; ++f)
            for (size_t c = 0; c < channelCount; ++c)
                data_[(head + f * channelCount + c) % data_.size()] =
                    channels[c] ? channels[c][f] : 0.0f;
        head_.store(head + count, std::memory_order_release);
        return true;
    }

    // Consumer: values waiting.
    size_t Available() const {
        return size_t(head_.load(std::memory_order_acquire) -
                      tail_.load(std::memory_order_relaxed));
    }
    // Consumer: reads up to `count` values; returns how many.
    size_t Read(float* out, size_t count) {
        const uint64_t tail = tail_.load(std::memory_order_relaxed);
        const size_t n = std::min(count, Available());
        for (size_t i = 0; i < n; ++i) out[i] = data_[(tail + i) % data_.size()];
        tail_.store(tail + n, std::memory_order_release);
        return n;
    }

  private:
    std::vector<float> data_;
    std::atomic<uint64_t> head_{0};  // values ever written
    std::atomic<uint64_t> tail_{0};  // values ever read
};

// A ring of small records (holes, notes from the callback): same discipline, fixed capacity.
template <class T, size_t N>
class RecordRing {
  public:
    bool Push(const T& value) {
        const uint64_t head = head_.load(std::memory_order_relaxed);
        if (head - tail_.load(std::memory_order_acquire) >= N) return false;
        items_[head % N] = value;
        head_.store(head + 1, std::memory_order_release);
        return true;
    }
    bool Pop(T* value) {
        const uint64_t tail = tail_.load(std::memory_order_relaxed);
        if (head_.load(std::memory_order_acquire) == tail) return false;
        *value = items_[tail % N];
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }

  private:
    T items_[N]{};
    std::atomic<uint64_t> head_{0}, tail_{0};
};

}  // namespace platform::jack
