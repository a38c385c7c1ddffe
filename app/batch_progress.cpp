#include "app/batch_progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/clock_text.h"

namespace app {

namespace {

std::string SpeedText(double speed) {
    char text[32];
    std::snprintf(text, sizeof text, speed < 10 ? "%.1fx" : "%.0fx", speed);
    return text;
}

}  // namespace

std::string BatchProgressText(const TBatchProgress& p) {
    std::string text = std::to_string(p.done) + "/" + std::to_string(p.total) + " files, " +
                       FormatLength(int64_t(p.musicMs)) + " of music";
    if (p.speed) text += ", " + SpeedText(*p.speed) + " real time";
    if (p.leftMs) text += ", about " + FormatLength(int64_t(*p.leftMs)) + " left";
    return text;
}

void TRenderSpeed::Add(double atSeconds, uint64_t musicMs) {
    readings_.emplace_back(atSeconds, musicMs);
    // The oldest reading kept is the last one at or before the window's start.
    while (readings_.size() > 2 && readings_[1].first <= atSeconds - kWindowSeconds)
        readings_.pop_front();
}

std::optional<double> TRenderSpeed::Speed() const {
    if (readings_.size() < 2) return std::nullopt;
    const auto& [from, fromMs] = readings_.front();
    const auto& [to, toMs] = readings_.back();
    if (to - from < 0.5) return std::nullopt;
    // A file that failed may take back music counted while it ran.
    return std::max(0.0, double(toMs) - double(fromMs)) / 1000 / (to - from);
}

std::optional<uint64_t> TimeLeftMs(const TMusicAhead& a, std::optional<double> speed) {
    if (!speed || *speed <= 0 || (a.waitingUnread > 0 && a.lengths == 0)) return std::nullopt;
    const double meanLength = a.lengths ? double(a.lengthsMs) / double(a.lengths) : 0;
    const double meanTail = a.ended ? double(a.tailsMs) / double(a.ended) : 0;
    const size_t files = a.underWay + a.waitingRead + a.waitingUnread;
    const double music = double(a.underWayLeftMs) + double(a.waitingReadMs) +
                         meanLength * double(a.waitingUnread) + meanTail * double(files);
    return uint64_t(std::llround(music / *speed));
}

}  // namespace app
