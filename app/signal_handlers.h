#pragma once
// SIGINT, SIGTERM and SIGHUP, the signals that stop a run, sent to one handler while this
// lives; the previous handlers come back when it goes.
#include <signal.h>

#include <array>

namespace app {

class TStopHandlers {
  public:
    // handler may only do what a signal handler may (an atomic store, a write()).
    explicit TStopHandlers(void (*handler)(int signal));
    ~TStopHandlers();
    TStopHandlers(const TStopHandlers&) = delete;
    TStopHandlers& operator=(const TStopHandlers&) = delete;

  private:
    std::array<struct sigaction, 3> previous_{};
};

}  // namespace app
