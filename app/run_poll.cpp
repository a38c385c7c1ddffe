#include "app/run_poll.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <algorithm>

#include "app/clock_text.h"
#include "media/mplayer.h"

namespace app {

int Percent(int32_t position, int32_t length) {
    if (length <= 0) return 0;
    const int64_t percent = int64_t(position) * 100 / length;
    return int(std::clamp<int64_t>(percent, 0, 100));
}

TRunPoll::TRunPoll(TMediaPlayer& player, QProgressBar* progress, QLabel* clock, bool console,
                   std::string prefix)
    : player_(player),
      progress_(progress),
      clock_(clock),
      console_(console),
      prefix_(std::move(prefix)) {}

TRunPoll::~TRunPoll() = default;

int32_t TRunPoll::Run(const std::string& totalTime, const std::function<void()>& eachPass) {
    QTimer wake;  // bounds each wait for events to 10 ms
    wake.start(10);
    int32_t last = 0;
    while (player_.Mode() == pmPlaying) {
        const int percent = Percent(player_.Position(), player_.Length());
        progress_->setValue(percent);
        last = player_.Position();
        const std::string clock = FormatClock(last) + totalTime;
        clock_->setText(QString::fromStdString(clock));
        if (console_) line_.Draw(prefix_ + clock + "  " + std::to_string(percent) + "%");
        // Waits at most until the next tick of the timer when no event is pending.
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        if (eachPass) eachPass();
    }
    return last;
}

}  // namespace app
