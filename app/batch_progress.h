#pragma once
// The progress line of a many-files --fast run: files done, the music rendered, the speed of
// the last few seconds and the time the rest should take, from counts the run keeps. No clock
// is read here: the run hands in the times.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <utility>

namespace app {

struct TBatchProgress {
    size_t done = 0, total = 0;      // files ended (whole or not) and files to convert
    uint64_t musicMs = 0;            // music rendered so far, tails included
    std::optional<double> speed;     // music per second of the run, lately
    std::optional<uint64_t> leftMs;  // how long the rest should take
};

// "12/45 files, 3:27 of music, 310x real time, about 0:08 left"; the speed and the time left
// only once they are known.
std::string BatchProgressText(const TBatchProgress& progress);

// The speed over the last few seconds, so that it follows the run as the mix of long and short
// files changes, from readings of the music rendered at the moments given.
class TRenderSpeed {
  public:
    static constexpr double kWindowSeconds = 4;

    void Add(double atSeconds, uint64_t musicMs);
    // Times real time; none until readings half a second apart were added.
    std::optional<double> Speed() const;

  private:
    std::deque<std::pair<double, uint64_t>> readings_;
};

// What is left to render, in music: what the files under way still have of their lengths,
// the lengths of the files not begun (those not read yet guessed as the mean of the lengths
// read), and for each file the tail the ended ones had beyond their lengths on average.
struct TMusicAhead {
    uint64_t underWayLeftMs = 0;
    size_t underWay = 0;
    uint64_t waitingReadMs = 0;
    size_t waitingRead = 0, waitingUnread = 0;
    uint64_t lengthsMs = 0;  // every length read, for the guess
    size_t lengths = 0;
    uint64_t tailsMs = 0;  // what the ended files hold beyond their lengths
    size_t ended = 0;
};

// None without a speed, or while files wait and no length is known yet.
std::optional<uint64_t> TimeLeftMs(const TMusicAhead& ahead, std::optional<double> speed);

}  // namespace app
