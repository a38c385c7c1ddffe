// The session's real-time side: what the process callback does each cycle, and the open.
#include <algorithm>

#include "platform/jack/jack_session.h"

namespace platform::jack {
namespace {

constexpr uint32_t kRate = platform::midi::kSmfRate;
// Ten seconds of stereo: the control thread may be descheduled for a while.
constexpr size_t kRingValues = size_t(kRate) * 2 * 10;

void Send3(MidiOut& midi, uint8_t a, uint8_t b, uint8_t c) {
    const uint8_t bytes[3] = {a, b, c};
    midi.Write(0, bytes, 3);
}

}  // namespace

JackSession::JackSession(std::shared_ptr<const platform::midi::SmfSong> song)
    : song_(std::move(song)), ring_(kRingValues), schedule_(song_) {}

std::unique_ptr<JackSession> JackSession::Open(std::shared_ptr<const platform::midi::SmfSong> song,
                                               const std::string& port, const std::string& record,
                                               std::string* why) {
    std::unique_ptr<JackSession> s(new JackSession(std::move(song)));
    s->client_ = JackClient::Open("tonvera", kMaxInputs, s.get(), why);
    if (!s->client_) return nullptr;
    if (s->client_->SampleRate() != kRate) {
        *why = "The JACK server runs at " + std::to_string(s->client_->SampleRate()) +
               " Hz; MIDI is played at 44100 Hz: start the server with that rate (-r 44100).";
        return nullptr;
    }
    std::string midiPort;
    std::vector<std::string> audioPorts;
    if (!ResolvePorts(*s->client_, port, record, &midiPort, &audioPorts, why)) return nullptr;
    if (!s->client_->Activate(why)) return nullptr;
    if (!s->client_->Connect(midiPort, audioPorts, why)) return nullptr;
    s->thread_ = std::thread([p = s.get()] { p->Run(); });
    return s;
}

JackSession::~JackSession() {
    {
        std::lock_guard lock(mutex_);
        quit_ = stopRequested_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    client_.reset();  // the callbacks end before the members they use
}

void JackSession::Cycle(const CycleIo& io, MidiOut& midi) {
    const uint64_t stream = stream_.load(std::memory_order_relaxed);
    const uint64_t skipped = clock_.Cycle(io.frameTime, io.frames);
    const bool xrun = xrunPending_.exchange(false);
    if (skipped) {
        holes_.Push({stream, skipped, false});
    } else if (xrun) {
        holes_.Push({stream, io.frames, false});  // this cycle's input may be stale
    }
    if (const int command = command_.load(std::memory_order_acquire)) {
        Execute(command, midi);
        commandFrame_.store(stream, std::memory_order_relaxed);
        command_.store(kNone, std::memory_order_release);
    }
    if (musicOn_.load(std::memory_order_relaxed)) {
        const uint64_t from = stream - musicStart_.load(std::memory_order_relaxed);
        auto write = [&midi](uint32_t offset, const uint8_t* bytes, size_t size) {
            midi.Write(offset, bytes, size);
        };
        CycleEvents<decltype(write)> events(from, write);
        schedule_.HandOverBefore(from + io.frames, events);
        musicFrames_.store(std::min<uint64_t>(from + io.frames, song_->lengthFrames));
    }
    const float* channels[2] = {io.inputs[0], io.inputCount > 1 ? io.inputs[1] : io.inputs[0]};
    if (!ring_.WriteFrames(channels, 2, io.frames)) holes_.Push({stream, io.frames, true});
    stream_.store(stream + io.frames, std::memory_order_release);
}

// At offset 0 of the cycle, so that the frame stored for it is where it was sent.
void JackSession::Execute(int command, MidiOut& midi) {
    switch (command) {
        case kStopMusic:
            musicOn_.store(false);
            [[fallthrough]];
        case kReset: {
            for (uint8_t ch = 0; ch < 16; ++ch) {
                Send3(midi, 0xB0 | ch, 120, 0);
                Send3(midi, 0xB0 | ch, 121, 0);
                Send3(midi, 0xB0 | ch, 123, 0);
            }
            static const uint8_t kGmOn[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
            midi.Write(0, kGmOn, sizeof kGmOn);
            break;
        }
        case kProbeOn:
            Send3(midi, 0x90, 60, 100);
            break;
        case kProbeOff:
            Send3(midi, 0x80, 60, 0);
            break;
        case kStartMusic:
            schedule_.Rewind();
            musicFrames_.store(0);
            musicStart_.store(stream_.load(std::memory_order_relaxed));
            musicOn_.store(true);
            break;
        default:
            break;
    }
}

void JackSession::ServerGone(const std::string& why) {
    {
        std::lock_guard lock(mutex_);
        if (failure_.empty()) failure_ = "The JACK server stopped" + (why.empty() ? "." : ": " + why);
    }
    gone_.store(true);
    wake_.notify_all();
}

uint64_t JackSession::PositionMs() const {
    return musicFrames_.load() * 1000 / kRate;
}

void JackSession::SetSink(Sink sink) {
    std::lock_guard lock(mutex_);
    sink_ = std::move(sink);
}

std::vector<JackSession::Gap> JackSession::Gaps() const {
    std::lock_guard lock(mutex_);
    return gaps_;
}

std::string JackSession::Failure() const {
    std::lock_guard lock(mutex_);
    return failure_;
}

}  // namespace platform::jack
