#include "app/signal_flag.h"

#include <signal.h>

namespace app {

namespace {

std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler may only touch this");
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_old[3];

void OnSignal(int signal) {
    int none = 0;
    g_signal.compare_exchange_strong(none, signal);
}

}  // namespace

TSignalFlag::TSignalFlag() {
    g_signal.store(0);
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &sa, &g_old[i]);
}

TSignalFlag::~TSignalFlag() {
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &g_old[i], nullptr);
}

const std::atomic<int>& TSignalFlag::Flag() const {
    return g_signal;
}

}  // namespace app
