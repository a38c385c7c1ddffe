#pragma once
// The poll of both runs: while the player plays, the progress bar and the clock follow its
// position and the window's events are served, waiting at most about 10 ms a pass so that no
// processor is kept busy. On the command line a progress line on a terminal as well.
#include <cstdint>
#include <functional>
#include <string>

#include "app/console_line.h"

class QLabel;
class QProgressBar;
class TMediaPlayer;

namespace app {

class TRunPoll {
  public:
    // prefix: put before the progress line's clock (a many-files run's "[2/5] ").
    TRunPoll(TMediaPlayer& player, QProgressBar* progress, QLabel* clock, bool console,
             std::string prefix = {});
    ~TRunPoll();  // ends the progress line
    TRunPoll(const TRunPoll&) = delete;
    TRunPoll& operator=(const TRunPoll&) = delete;

    // Polls until the player leaves the playing mode; eachPass runs at the end of every pass.
    // Returns the last position seen, in milliseconds.
    int32_t Run(const std::string& totalTime, const std::function<void()>& eachPass = {});

  private:
    TMediaPlayer& player_;
    QProgressBar* progress_;
    QLabel* clock_;
    bool console_;
    std::string prefix_;
    TConsoleLine line_;
};

// Progress as position × 100 div length, 0 for a length of 0, kept within 0 to 100.
int Percent(int32_t position, int32_t length);

}  // namespace app
