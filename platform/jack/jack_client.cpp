#include "platform/jack/jack_client.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

namespace platform::jack {
namespace {

// libjack prints every failed connection attempt; a missing server is an ordinary answer here.
void Quiet(const char*) {}
void SilenceLibjack() {
    static std::once_flag once;
    std::call_once(once, [] {
        jack_set_error_function(&Quiet);
        jack_set_info_function(&Quiet);
    });
}

std::string OpenFailure(jack_status_t status) {
    if (status & JackServerFailed) return "No JACK server is running.";
    if (status & JackVersionError) return "The JACK server speaks another protocol version.";
    std::ostringstream s;
    s << "The JACK server refused the client (status 0x" << std::hex << unsigned(status) << ").";
    return s.str();
}

constexpr auto kOpenLimit = std::chrono::seconds(5);

// libjack opens its metadata database (Berkeley DB in /dev/shm/jack_db-UID) in every
// jack_client_open, server or not, and a process killed inside it leaves a lock that blocks
// every later open for good. The open runs on a thread of its own so that the program can give
// up on it; an open that is given up on closes its client itself if it ever comes back.
jack_client_t* OpenWithin(const std::string& name, jack_status_t* status, bool* timedOut) {
    struct Attempt {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false, abandoned = false;
        jack_client_t* client = nullptr;
        jack_status_t status{};
    };
    auto attempt = std::make_shared<Attempt>();
    std::thread([attempt, name] {
        jack_status_t st{};
        jack_client_t* c = jack_client_open(name.c_str(), JackNoStartServer, &st);
        std::lock_guard lock(attempt->mutex);
        if (attempt->abandoned) {
            if (c) jack_client_close(c);
            return;
        }
        attempt->client = c;
        attempt->status = st;
        attempt->finished = true;
        attempt->done.notify_all();
    }).detach();
    std::unique_lock lock(attempt->mutex);
    *timedOut = !attempt->done.wait_for(lock, kOpenLimit, [&] { return attempt->finished; });
    attempt->abandoned = *timedOut;
    *status = attempt->status;
    return attempt->client;
}

std::string StuckFailure() {
    return "The JACK library did not answer within 5 s: a JACK program that was killed may have "
           "left its lock in /dev/shm/jack_db-" + std::to_string(::getuid()) +
           "; end every JACK program and remove that folder.";
}

}  // namespace

struct JackClient::Impl {
    jack_client_t* client = nullptr;
    jack_port_t* midiOut = nullptr;
    jack_port_t* inputs[kMaxInputs] = {};
    size_t inputCount = 0;
    Handler* handler = nullptr;
    bool active = false;

    ~Impl() {
        if (!client) return;
        if (active) jack_deactivate(client);
        jack_client_close(client);  // unregisters our ports too
    }

    static int Process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<Impl*>(arg);
        CycleIo io;
        io.frames = frames;
        io.frameTime = jack_last_frame_time(self->client);
        io.inputCount = self->inputCount;
        for (size_t i = 0; i < self->inputCount; ++i)
            io.inputs[i] = static_cast<const float*>(jack_port_get_buffer(self->inputs[i], frames));
        void* midi = jack_port_get_buffer(self->midiOut, frames);
        jack_midi_clear_buffer(midi);
        MidiOut out(midi);
        self->handler->Cycle(io, out);
        return 0;
    }
    static int Xrun(void* arg) {
        static_cast<Impl*>(arg)->handler->Xrun();
        return 0;
    }
    static void Shutdown(jack_status_t, const char* reason, void* arg) {
        static_cast<Impl*>(arg)->handler->ServerGone(reason ? reason : "");
    }
    static void Connected(jack_port_id_t a, jack_port_id_t b, int connect, void* arg) {
        auto* self = static_cast<Impl*>(arg);
        if (connect) return;
        jack_port_t* pa = jack_port_by_id(self->client, a);
        jack_port_t* pb = jack_port_by_id(self->client, b);
        if ((pa && jack_port_is_mine(self->client, pa)) || (pb && jack_port_is_mine(self->client, pb)))
            self->handler->LinkLost();
    }
};

bool MidiOut::Write(uint32_t offset, const uint8_t* data, size_t size) {
    return jack_midi_event_write(buffer_, offset, data, size) == 0;
}

JackClient::JackClient(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
JackClient::~JackClient() = default;

std::unique_ptr<JackClient> JackClient::Open(const std::string& name, size_t inputs,
                                             Handler* handler, std::string* why) {
    SilenceLibjack();
    auto impl = std::make_unique<Impl>();
    impl->handler = handler;
    jack_status_t status{};
    bool stuck = false;
    impl->client = OpenWithin(name, &status, &stuck);
    if (!impl->client) {
        *why = stuck ? StuckFailure() : OpenFailure(status);
        return nullptr;
    }
    impl->midiOut = jack_port_register(impl->client, "midi_out", JACK_DEFAULT_MIDI_TYPE,
                                       JackPortIsOutput, 0);
    impl->inputCount = inputs < kMaxInputs ? inputs : kMaxInputs;
    bool ok = impl->midiOut != nullptr;
    for (size_t i = 0; ok && i < impl->inputCount; ++i) {
        const std::string port = "in_" + std::to_string(i + 1);
        impl->inputs[i] = jack_port_register(impl->client, port.c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                             JackPortIsInput, 0);
        ok = impl->inputs[i] != nullptr;
    }
    if (!ok) {
        *why = "The JACK server refused our ports.";
        return nullptr;
    }
    jack_set_process_callback(impl->client, &Impl::Process, impl.get());
    jack_set_xrun_callback(impl->client, &Impl::Xrun, impl.get());
    jack_on_info_shutdown(impl->client, &Impl::Shutdown, impl.get());
    jack_set_port_connect_callback(impl->client, &Impl::Connected, impl.get());
    return std::unique_ptr<JackClient>(new JackClient(std::move(impl)));
}

uint32_t JackClient::SampleRate() const { return jack_get_sample_rate(impl_->client); }
uint32_t JackClient::BufferSize() const { return jack_get_buffer_size(impl_->client); }

bool JackClient::Activate(std::string* why) {
    if (jack_activate(impl_->client) != 0) {
        *why = "The JACK server did not start our client.";
        return false;
    }
    impl_->active = true;
    return true;
}

bool JackClient::Connect(const std::string& midiPort, const std::vector<std::string>& audioPorts,
                         std::string* why) {
    if (jack_connect(impl_->client, jack_port_name(impl_->midiOut), midiPort.c_str()) != 0) {
        *why = "Could not connect to the MIDI input " + midiPort + ".";
        return false;
    }
    for (size_t i = 0; i < audioPorts.size() && i < impl_->inputCount; ++i) {
        if (jack_connect(impl_->client, audioPorts[i].c_str(),
                         jack_port_name(impl_->inputs[i])) != 0) {
            *why = "Could not record the audio port " + audioPorts[i] + ".";
            return false;
        }
    }
    return true;
}

std::vector<std::string> JackClient::Ports(bool midi, bool input) const {
    std::vector<std::string> names;
    const char** ports =
        jack_get_ports(impl_->client, nullptr, midi ? JACK_DEFAULT_MIDI_TYPE : JACK_DEFAULT_AUDIO_TYPE,
                       input ? JackPortIsInput : JackPortIsOutput);
    if (!ports) return names;
    for (const char** p = ports; *p; ++p) {
        // Our own ports are no synth's.
        jack_port_t* port = jack_port_by_name(impl_->client, *p);
        if (port && jack_port_is_mine(impl_->client, port)) continue;
        names.emplace_back(*p);
    }
    jack_free(ports);
    return names;
}

}  // namespace platform::jack
