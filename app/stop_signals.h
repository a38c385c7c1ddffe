#pragma once
// SIGINT and SIGTERM as a request on the UI thread: the handler only writes a byte into a pipe,
// and a socket notifier turns it into a call. The previous handlers come back when it goes.
#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace app {

class TStopSignals : public QObject {
    Q_OBJECT
  public:
    explicit TStopSignals(std::function<void()> onSignal, QObject* parent = nullptr);
    ~TStopSignals() override;
    TStopSignals(const TStopSignals&) = delete;
    TStopSignals& operator=(const TStopSignals&) = delete;

  private:
    void Drain();

    std::function<void()> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace app
