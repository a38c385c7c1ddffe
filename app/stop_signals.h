#pragma once
// SIGINT, SIGTERM and SIGHUP as a request on the UI thread: the handler only writes the
// signal's number into a pipe, and a socket notifier turns it into a call. The previous
// handlers come back when it goes.
#include <QObject>
#include <functional>
#include <memory>
#include <optional>

#include "app/signal_handlers.h"

class QSocketNotifier;

namespace app {

class TStopSignals : public QObject {
    Q_OBJECT
  public:
    explicit TStopSignals(std::function<void(int signal)> onSignal, QObject* parent = nullptr);
    ~TStopSignals() override;
    TStopSignals(const TStopSignals&) = delete;
    TStopSignals& operator=(const TStopSignals&) = delete;

  private:
    void Drain();

    std::function<void(int)> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::optional<TStopHandlers> handlers_;
};

// "SIGINT", "SIGTERM", "SIGHUP", or "signal n".
const char* SignalName(int signal);

}  // namespace app
