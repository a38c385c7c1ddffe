#include "app/signal_handlers.h"

namespace app {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

}  // namespace

TStopHandlers::TStopHandlers(void (*handler)(int)) {
    struct sigaction sa {};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (size_t i = 0; i < previous_.size(); ++i) sigaction(kStopSignals[i], &sa, &previous_[i]);
}

TStopHandlers::~TStopHandlers() {
    for (size_t i = 0; i < previous_.size(); ++i) sigaction(kStopSignals[i], &previous_[i], nullptr);
}

}  // namespace app
