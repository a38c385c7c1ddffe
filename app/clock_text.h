#pragma once
// The run's clock: minutes without leading zeros, ":", two-digit seconds.
#include <cstdint>
#include <string>

namespace app {

std::string PadTwoDigits(const std::string& text);
std::string FormatClock(int32_t ms);
// " / " and the clock of the length: the part of the clock that stays the same during a run.
std::string TotalTimeText(int32_t lengthMs);

}  // namespace app
