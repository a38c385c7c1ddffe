#pragma once
// The run's clock: minutes without leading zeros, ":", two-digit seconds.
//
// A position (where the music is) is truncated, so it never runs ahead of the music: 999 ms
// reads 0:00. A length or a duration is rounded to the nearest second: a 39.6-s piece lasts
// 0:40, and lengths summed up agree with their parts.
#include <cstdint>
#include <string>

namespace app {

std::string PadTwoDigits(const std::string& text);
std::string FormatClock(int32_t ms);   // a position
std::string FormatLength(int64_t ms);  // a length or a duration
// " / " and the length: the part of the clock that stays the same during a run.
std::string TotalTimeText(int32_t lengthMs);

}  // namespace app
