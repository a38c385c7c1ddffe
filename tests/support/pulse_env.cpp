#include "support/pulse_env.h"

#include <signal.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/pcm.h"

namespace testsupport {

bool SoundServerAvailable() {
    const char* server = std::getenv("PULSE_SERVER");
    return server && *server;
}

std::string RunCommand(const std::string& command, int* status) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) {
        if (status) *status = -1;
        return out;
    }
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
    const int rc = pclose(p);
    if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

std::string Pactl(const std::string& args) {
    return RunCommand("pactl " + args + " 2>&1");
}

std::string ServerScript() {
    const char* kind = std::getenv("TONVERA_TEST_SERVER");
    const bool pipewire = kind && std::string(kind) == "pipewire";
    return std::string(TONVERA_SOURCE_DIR) +
           (pipewire ? "/scripts/private-pipewire.sh" : "/scripts/private-pulse.sh");
}

bool OnPipeWire() {
    const char* kind = std::getenv("TONVERA_TEST_SERVER");
    return kind && std::string(kind) == "pipewire";
}

std::string DeviceState() {
    std::string state = "default sink " + Pactl("get-default-sink") + "default source " +
                        Pactl("get-default-source");
    for (const char* kind : {"sinks", "sources"}) {
        std::istringstream lines(Pactl(std::string("list ") + kind));
        for (std::string line; std::getline(lines, line);) {
            const size_t start = line.find_first_not_of(" \t");
            if (start == std::string::npos) continue;
            const std::string field = line.substr(start);
            for (const char* key : {"Name:", "Mute:", "Volume:"})
                if (field.rfind(key, 0) == 0) state += field + "\n";
        }
    }
    return state;
}

bool PactlRetried(const std::string& args) {
    for (int i = 0; i < 50; ++i) {
        if (Pactl(args).find("Failure") == std::string::npos) return true;
        RunCommand("sleep 0.1");
    }
    return false;
}

void SetUpUsersDevices() {
    Pactl(
        "load-module module-remap-source master=other.monitor source_name=mic "
        "source_properties=device.form_factor=microphone");
    PactlRetried("set-default-source mic");
    Pactl("set-source-volume mic 40%");
    Pactl("set-source-mute mic 1");
    Pactl("set-sink-volume speakers 70%");
}

std::string ClientsLeft() {
    return Pactl("list short sink-inputs") + Pactl("list short source-outputs") +
           Pactl("list short modules");
}

TonePlayer::TonePlayer(const std::string& folder, double hz, double seconds, double amplitude) {
    auto pcm = StereoTone(0, 0.3, 0);
    const auto tone = StereoTone(hz, seconds, amplitude);
    pcm.insert(pcm.end(), tone.begin(), tone.end());
    const std::string raw = folder + "/tone-" + std::to_string(int(hz)) + ".raw";
    std::ofstream(raw, std::ios::binary)
        .write(reinterpret_cast<const char*>(pcm.data()), std::streamsize(pcm.size()));
    pid_ = std::atoi(RunCommand("pacat --playback --format=s16le --rate=44100 --channels=2 "
                                "--latency-msec=100 '" +
                                raw + "' >/dev/null 2>&1 & echo $!")
                         .c_str());
}

TonePlayer::~TonePlayer() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        // Not our child (a shell started it): wait until it has gone from the server.
        for (int i = 0; i < 100 && ::kill(pid_, 0) == 0; ++i) RunCommand("sleep 0.02");
    }
}

bool TonePlayer::ok() const {
    return pid_ > 0 && ::kill(pid_, 0) == 0;
}

PrivateServer::PrivateServer(std::vector<std::string> sinks, int rate) {
    if (dir_.path().empty()) return;
    std::string cmd = ServerScript() + " start " + dir_.Path("server");
    if (rate) cmd += " --rate " + std::to_string(rate);
    for (const auto& s : sinks) cmd += " " + s;
    int status = 0;
    std::istringstream lines(RunCommand(cmd, &status));
    if (status != 0) return;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("PULSE_SERVER=", 0) == 0) address_ = line.substr(13);
        if (line.rfind("PULSE_PID=", 0) == 0) pid_ = std::atoi(line.c_str() + 10);
    }
    if (const char* prev = std::getenv("PULSE_SERVER")) {
        previous_ = prev;
        hadPrevious_ = true;
    }
    setenv("PULSE_SERVER", address_.c_str(), 1);
}

int PrivateServer::graphPid() const {
    if (!OnPipeWire()) return pid_;
    // private-pipewire.sh records the bus, pipewire, wireplumber and its pulse server, in order.
    std::ifstream pids(dir_.Path("server/pids"));
    int pid = -1;
    for (int i = 0; i < 2 && pids >> pid; ++i) {
    }
    return pid;
}

void PrivateServer::kill() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        pid_ = -1;
    }
}

PrivateServer::~PrivateServer() {
    if (!dir_.path().empty()) RunCommand(ServerScript() + " stop " + dir_.Path("server"));
    if (hadPrevious_)
        setenv("PULSE_SERVER", previous_.c_str(), 1);
    else
        unsetenv("PULSE_SERVER");
}

}  // namespace testsupport
