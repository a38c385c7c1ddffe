#pragma once
// One JACK client of ours: a MIDI output and N audio inputs, linked to a synth's ports. It
// never starts a server (JackNoStartServer); the server's own texts are kept off the
// terminal. Everything libjack calls back is handed to a Handler; the process callback runs
// on the server's real-time thread, the others on its notification thread.
// Teardown is safe at every step of a half-built client.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform::jack {

constexpr size_t kMaxInputs = 2;

// Writes MIDI into this cycle's output buffer.
class MidiOut {
  public:
    explicit MidiOut(void* buffer) : buffer_(buffer) {}
    bool Write(uint32_t offset, const uint8_t* data, size_t size);

  private:
    void* buffer_;
};

struct CycleIo {
    uint32_t frames = 0;
    uint32_t frameTime = 0;  // the server's frame counter at this cycle's start
    const float* inputs[kMaxInputs] = {};
    size_t inputCount = 0;
};

class JackClient {
  public:
    class Handler {
      public:
        virtual ~Handler() = default;
        virtual void Cycle(const CycleIo& io, MidiOut& midi) = 0;  // real-time
        virtual void Xrun() = 0;
        virtual void ServerGone(const std::string& why) = 0;
        virtual void LinkLost() = 0;  // one of our connections was broken
    };

    // Null with the reason when no server answers or a port cannot be made.
    static std::unique_ptr<JackClient> Open(const std::string& name, size_t inputs,
                                            Handler* handler, std::string* why);
    ~JackClient();
    JackClient(const JackClient&) = delete;
    JackClient& operator=(const JackClient&) = delete;

    uint32_t SampleRate() const;
    uint32_t BufferSize() const;
    bool Activate(std::string* why);
    // Our MIDI out to `midiPort`, each of `audioPorts` to one of our inputs.
    bool Connect(const std::string& midiPort, const std::vector<std::string>& audioPorts,
                 std::string* why);
    // Port names: of a type ("midi" or "audio") and direction (input = true).
    std::vector<std::string> Ports(bool midi, bool input) const;

    struct Impl;

  private:
    explicit JackClient(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// The synth's ports to use: `port` names a MIDI input port, or a client whose first MIDI
// input is taken; `record` names audio outputs (comma-separated), empty for the audio
// outputs of the client that owns the MIDI input. False with the reason when none fits.
bool ResolvePorts(const JackClient& client, const std::string& port, const std::string& record,
                  std::string* midiPort, std::vector<std::string>* audioPorts, std::string* why);

// What --list-synths shows: MIDI input ports, then audio output ports; empty when no server
// answers.
struct SynthPorts {
    std::vector<std::string> midiInputs;
    std::vector<std::string> audioOutputs;
};
SynthPorts ListSynthPorts();

}  // namespace platform::jack
