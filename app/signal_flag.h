#pragma once
// SIGINT, SIGTERM and SIGHUP as a flag for runs without an event loop (the offline
// conversions, whose workers look at it between render chunks): the first signal's number,
// 0 while none came. The previous handlers come back when it goes.
#include <atomic>
#include <optional>

#include "app/signal_handlers.h"

namespace app {

class TSignalFlag {
  public:
    TSignalFlag();
    TSignalFlag(const TSignalFlag&) = delete;
    TSignalFlag& operator=(const TSignalFlag&) = delete;

    const std::atomic<int>& Flag() const;

  private:
    std::optional<TStopHandlers> handlers_;
};

}  // namespace app
