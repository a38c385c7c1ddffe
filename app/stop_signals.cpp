#include "app/stop_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <cstdio>

namespace app {
namespace {

int g_pipe[2] = {-1, -1};

void OnSignal(int signal) {
    const int saved = errno;
    const char byte = char(signal);
    [[maybe_unused]] const auto n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

const char* SignalName(int signal) {
    switch (signal) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
        default: {
            static thread_local char text[24];
            std::snprintf(text, sizeof text, "signal %d", signal);
            return text;
        }
    }
}

TStopSignals::TStopSignals(std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal)) {
    if (g_pipe[0] >= 0 || ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &TStopSignals::Drain);
    handlers_.emplace(OnSignal);
}

TStopSignals::~TStopSignals() {
    if (!notifier_) return;
    // The old handlers first: no signal may write into the pipe once it is closed.
    handlers_.reset();
    notifier_.reset();
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void TStopSignals::Drain() {
    char bytes[64];
    ssize_t n;
    while ((n = ::read(g_pipe[0], bytes, sizeof bytes)) > 0) {
        // Each signal is heard; the run keeps the first as its ending.
        for (ssize_t i = 0; i < n && onSignal_; ++i)
            onSignal_(static_cast<unsigned char>(bytes[i]));
    }
}

}  // namespace app
