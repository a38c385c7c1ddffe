// The session's control thread: reads the recording, calibrates the start, hands the output
// on and trims the end (the plan is in jack_session.h).
#include <algorithm>
#include <chrono>
#include <cmath>

#include "platform/jack/jack_session.h"
#include "platform/jack/level_watch.h"

namespace platform::jack {
namespace {

constexpr uint32_t kRate = platform::midi::kSmfRate;
constexpr size_t kQuietBlocks = 20;       // 200 ms
constexpr size_t kQuietPatience = 300;    // 3 s
constexpr uint64_t kProbeTimeout = kRate;  // 1 s
constexpr size_t kTailQuiet = 50;         // 0.5 s
constexpr size_t kTailMost = 1000;        // 10 s
constexpr auto kPoll = std::chrono::milliseconds(2);
constexpr auto kCommandTimeout = std::chrono::seconds(2);

int16_t ToS16(float x) {
    const float scaled = std::round(x * 32767.0f);
    return int16_t(std::clamp(scaled, -32768.0f, 32767.0f));
}

}  // namespace

bool JackSession::Play(std::function<void(Outcome)> onEnd) {
    if (gone_.load()) return false;
    {
        std::lock_guard lock(mutex_);
        if (playing_.load()) return true;
        onEnd_ = std::move(onEnd);
        playRequested_ = true;
        stopRequested_ = false;
        playing_.store(true);
    }
    wake_.notify_all();
    return true;
}

void JackSession::Stop() {
    {
        std::lock_guard lock(mutex_);
        if (!playing_.load()) return;
        stopRequested_ = true;
    }
    wake_.notify_all();
    const auto until = std::chrono::steady_clock::now() + kCommandTimeout;
    while (playing_.load() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(kPoll);
}

bool JackSession::Interrupted() const {
    std::lock_guard lock(mutex_);
    return stopRequested_ || gone_.load() || linkLost_.load();
}

void JackSession::Fail(const std::string& why) {
    std::lock_guard lock(mutex_);
    if (failure_.empty()) failure_ = why;
}

// Between plays the recording is read and dropped, so the ring never fills.
void JackSession::Run() {
    std::vector<float> scratch;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, std::chrono::milliseconds(20),
                           [this] { return quit_ || playRequested_; });
            if (quit_) return;
            if (!playRequested_) {
                lock.unlock();
                while (ReadFrames(&scratch, 4096)) {}
                continue;
            }
            playRequested_ = false;
        }
        const bool whole = PlayOnce();
        uint64_t at = 0;
        if (!gone_.load()) Send(kStopMusic, &at);  // reset at the end and on every stop
        std::function<void(Outcome)> onEnd;
        bool stopped;
        {
            std::lock_guard lock(mutex_);
            onEnd = std::move(onEnd_);
            stopped = stopRequested_;
            playing_.store(false);
        }
        if (onEnd) onEnd(whole ? Outcome::kDone : stopped ? Outcome::kStopped : Outcome::kFailed);
    }
}

bool JackSession::PlayOnce() {
    uint64_t at = 0;
    float floor = 0;
    int64_t latency = -1;
    outputStart_ = UINT64_MAX;
    if (!Send(kReset, &at) || !SkipTo(at) || !WaitQuiet(&floor)) return false;
    const float threshold = ThresholdOver(floor);
    if (!Send(kProbeOn, &at) || !SkipTo(at) || !MeasureLatency(at, threshold, &latency))
        return false;
    if (!Send(kProbeOff, &at) || !Send(kReset, &at) || !SkipTo(at)) return false;
    float after = 0;
    if (!WaitQuiet(&after)) return false;
    const float playThreshold = ThresholdOver(std::max(floor, after));
    latency_.store(latency);
    if (!Send(kStartMusic, &at)) return false;
    outputStart_ = at + uint64_t(latency);
    emitted_ = 0;
    return Record(outputStart_, playThreshold);
}

// Hands the command to the next cycle and waits until it went out; *at is its stream frame.
bool JackSession::Send(Command command, uint64_t* at) {
    command_.store(command, std::memory_order_release);
    const auto until = std::chrono::steady_clock::now() + kCommandTimeout;
    while (command_.load(std::memory_order_acquire) != kNone) {
        if (gone_.load() || std::chrono::steady_clock::now() > until) {
            command_.store(kNone);
            Fail("The JACK server stopped running our client.");
            return false;
        }
        std::this_thread::sleep_for(kPoll);
    }
    *at = commandFrame_.load(std::memory_order_relaxed);
    return true;
}

void JackSession::TakeHoles() {
    Hole h;
    while (holes_.Pop(&h)) pendingHoles_.push_back(h);
}

// Whole frames from the ring, at most `most`; a stretch the ring had no room for comes back
// as silence in its place. Holes reach the output's list as the reading passes them.
size_t JackSession::ReadFrames(std::vector<float>* frames, size_t most) {
    TakeHoles();
    size_t limit = most;
    while (!pendingHoles_.empty() && pendingHoles_.front().at <= readPos_) {
        const Hole h = pendingHoles_.front();
        pendingHoles_.erase(pendingHoles_.begin());
        if (outputStart_ != UINT64_MAX && h.at + h.frames > outputStart_) {
            const uint64_t from = h.at > outputStart_ ? h.at - outputStart_ : 0;
            std::lock_guard lock(mutex_);
            gaps_.push_back({from, h.frames, Gap::Kind::kMissing});
        }
        if (h.dropped) {
            frames->assign(std::min<uint64_t>(h.frames, most) * 2, 0.0f);
            // The rest of a long dropped stretch stays pending at its later place.
            if (h.frames > most) pendingHoles_.insert(pendingHoles_.begin(),
                                                      {h.at + most, h.frames - most, true});
            readPos_ += frames->size() / 2;
            return frames->size() / 2;
        }
    }
    for (const Hole& h : pendingHoles_)
        if (h.dropped) limit = std::min<uint64_t>(limit, h.at - readPos_);
    frames->resize(limit * 2);
    const size_t values = ring_.Read(frames->data(), std::min(limit * 2, ring_.Available() & ~size_t(1)));
    frames->resize(values);
    readPos_ += values / 2;
    return values / 2;
}

// Reads and drops the recording up to a stream frame.
bool JackSession::SkipTo(uint64_t streamFrame) {
    std::vector<float> scratch;
    while (readPos_ < streamFrame) {
        if (gone_.load()) return false;
        if (!ReadFrames(&scratch, streamFrame - readPos_)) std::this_thread::sleep_for(kPoll);
    }
    return true;
}

bool JackSession::WaitQuiet(float* floor) {
    QuietWatch watch(kQuietBlocks, kQuietPatience);
    std::vector<float> block;
    for (;;) {
        if (Interrupted()) return false;
        if (ring_.Available() / 2 < kBlock) {
            std::this_thread::sleep_for(kPoll);
            continue;
        }
        ReadFrames(&block, kBlock);
        if (watch.Block(PeakOf(block.data(), block.size()))) break;
    }
    *floor = watch.NoiseFloor();
    return true;
}

bool JackSession::MeasureLatency(uint64_t sent, float threshold, int64_t* latency) {
    std::vector<float> frames;
    while (readPos_ < sent + kProbeTimeout) {
        if (Interrupted()) return false;
        const uint64_t at = readPos_;
        const size_t n = ReadFrames(&frames, 4096);
        if (!n) {
            std::this_thread::sleep_for(kPoll);
            continue;
        }
        const int64_t first = FirstOver(frames.data(), n, 2, threshold);
        if (first >= 0) {
            *latency = int64_t(at - sent) + first;
            return true;
        }
    }
    Fail("The synthesizer did not answer a test note within a second: is it running, and "
         "are the right ports recorded?");
    return false;
}

// From the music's start to the end of its tail; false when it did not play to the end.
bool JackSession::Record(uint64_t outputStart, float threshold) {
    std::vector<float> frames;
    if (!SkipTo(outputStart)) return false;
    const uint64_t musicEnd = song_->lengthFrames;
    TailTrimmer tail(threshold, kTailQuiet, kTailMost);
    std::vector<float> held;  // the tail not yet known to be kept
    while (!tail.Done()) {
        if (Interrupted()) {
            NoteBroken(outputStart);
            return false;
        }
        const uint64_t out = readPos_ - outputStart;
        const size_t most = out < musicEnd ? size_t(std::min<uint64_t>(musicEnd - out, 4096)) : kBlock;
        if (ring_.Available() / 2 < (out < musicEnd ? 1 : kBlock)) {
            std::this_thread::sleep_for(kPoll);
            continue;
        }
        const size_t n = ReadFrames(&frames, most);
        if (out < musicEnd) {
            Emit(frames.data(), n);
            continue;
        }
        held.insert(held.end(), frames.begin(), frames.end());
        const uint64_t keep = tail.Block(PeakOf(frames.data(), frames.size()), n);
        if (keep) {
            Emit(held.data(), size_t(keep));
            held.erase(held.begin(), held.begin() + ptrdiff_t(keep * 2));
        }
    }
    return true;
}

void JackSession::Emit(const float* frames, size_t count) {
    std::vector<int16_t> pcm(count * 2);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = ToS16(frames[i]);
    emitted_ += count;
    std::lock_guard lock(mutex_);
    if (sink_) sink_(pcm.data(), count);
}

// The server or the synth went away mid-piece: the rest of the music is missing.
void JackSession::NoteBroken(uint64_t outputStart) {
    const bool gone = gone_.load(), lost = linkLost_.load();
    if (!gone && !lost) return;  // a stop the user asked for
    const uint64_t out = readPos_ > outputStart ? readPos_ - outputStart : 0;
    const uint64_t end = song_->lengthFrames;
    std::lock_guard lock(mutex_);
    gaps_.push_back({out, end > out ? end - out : 0, Gap::Kind::kEndsEarly});
    if (failure_.empty() && lost) failure_ = "The synthesizer's JACK ports went away.";
}

}  // namespace platform::jack
