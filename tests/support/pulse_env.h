#pragma once
// Sound servers for integration tests: the one test.sh starts, or a private one of the test's own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace testsupport {

// The private server that test.sh started (PULSE_SERVER); integration suites fail without it
// rather than skip, so that a broken set-up never passes as green.
#define REQUIRE_SOUND_SERVER()                                                    \
    do {                                                                          \
        if (!::testsupport::SoundServerAvailable())                               \
            FAIL() << "no private sound server: run the suite through ./test.sh"; \
    } while (0)
bool SoundServerAvailable();

// A server of the test's own (for killing it, or for a topology of its own). While it lives,
// PULSE_SERVER points at it; the previous value comes back when it goes. A rate runs a
// PipeWire graph and its sinks at that rate alone (0: the script's own 44.1 kHz).
class PrivateServer {
  public:
    explicit PrivateServer(std::vector<std::string> sinks = {"speakers"}, int rate = 0);
    ~PrivateServer();
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;

    bool ok() const { return pid_ > 0; }
    const std::string& address() const { return address_; }
    int pid() const { return pid_; }
    // The process that runs the audio graph (PulseAudio itself; PipeWire's daemon, not its
    // pulse server): stopping it stalls the sound.
    int graphPid() const;
    void kill();  // ends the server at once (SIGKILL), as a crash would

  private:
    TempFolder dir_{"pulse"};  // a short name: the server's socket lives in it
    std::string address_, previous_;
    bool hadPrevious_ = false;
    int pid_ = -1;
};

// Whether the tests run on PipeWire's pulse server (TONVERA_TEST_SERVER=pipewire) rather than
// PulseAudio; private servers of a test's own are of the same kind.
bool OnPipeWire();
// The user-visible state of the current server: the defaults and every sink's and source's
// name, volume and mute, one per line, for comparing before and after.
std::string DeviceState();
// The streams and modules on the server, to compare before and after a run.
std::string ClientsLeft();

// Another client: pacat playing a tone (after 300 ms of silence) into the default sink, in the
// background, from a raw file it writes into `folder`; stopped when this goes.
class TonePlayer {
  public:
    TonePlayer(const std::string& folder, double hz, double seconds, double amplitude);
    ~TonePlayer();
    TonePlayer(const TonePlayer&) = delete;
    TonePlayer& operator=(const TonePlayer&) = delete;
    bool ok() const;

  private:
    int pid_ = -1;
};

// pactl again and again (for 5 s at most) while the server answers "Failure" (WirePlumber
// does for a moment after a device appears); true once it was accepted.
bool PactlRetried(const std::string& args);
// A desktop as a user left it, on a server with the sinks "speakers" and "other": a
// microphone "mic" muted at 40 % and chosen as the default source, the speakers at 70 %.
void SetUpUsersDevices();

// Runs a shell command; returns its standard output, status through *status.
std::string RunCommand(const std::string& command, int* status = nullptr);
// pactl against the current PULSE_SERVER.
std::string Pactl(const std::string& args);

}  // namespace testsupport
