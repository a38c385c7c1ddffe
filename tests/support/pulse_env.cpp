#include "support/pulse_env.h"

#include <signal.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

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

std::string Pactl(const std::string& args) { return RunCommand("pactl " + args + " 2>&1"); }

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

std::string ClientsLeft() {
    return Pactl("list short sink-inputs") + Pactl("list short source-outputs") +
           Pactl("list short modules");
}

PrivateServer::PrivateServer(std::vector<std::string> sinks) {
    char tmpl[] = "/tmp/tonvera-pulse.XXXXXX";
    if (!mkdtemp(tmpl)) return;
    dir_ = tmpl;
    std::string cmd = ServerScript() + " start " + dir_ + "/server";
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

void PrivateServer::kill() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        pid_ = -1;
    }
}

PrivateServer::~PrivateServer() {
    if (!dir_.empty()) {
        RunCommand(ServerScript() + " stop " + dir_ + "/server");
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    if (hadPrevious_)
        setenv("PULSE_SERVER", previous_.c_str(), 1);
    else
        unsetenv("PULSE_SERVER");
}

}  // namespace testsupport
