#include "app/signal_flag.h"

namespace app {

namespace {

std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler may only touch this");

void OnSignal(int signal) {
    int none = 0;
    g_signal.compare_exchange_strong(none, signal);
}

}  // namespace

TSignalFlag::TSignalFlag() {
    // Cleared before the handlers go in, so that no signal of this run is lost.
    g_signal.store(0);
    handlers_.emplace(OnSignal);
}

const std::atomic<int>& TSignalFlag::Flag() const {
    return g_signal;
}

}  // namespace app
