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

PrivateServer::PrivateServer(std::vector<std::string> sinks) {
    char tmpl[] = "/tmp/tonvera-pulse.XXXXXX";
    if (!mkdtemp(tmpl)) return;
    dir_ = tmpl;
    std::string cmd = std::string(TONVERA_SOURCE_DIR) + "/scripts/private-pulse.sh start " + dir_ + "/server";
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
        RunCommand(std::string(TONVERA_SOURCE_DIR) + "/scripts/private-pulse.sh stop " + dir_ + "/server");
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    if (hadPrevious_)
        setenv("PULSE_SERVER", previous_.c_str(), 1);
    else
        unsetenv("PULSE_SERVER");
}

}  // namespace testsupport
