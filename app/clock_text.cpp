#include "app/clock_text.h"

#include <algorithm>

namespace app {

std::string PadTwoDigits(const std::string& text) {
    return text.size() < 2 ? "0" + text : text;
}

std::string FormatClock(int32_t ms) {
    const int32_t seconds = ms / 1000;
    return std::to_string(seconds / 60) + ":" + PadTwoDigits(std::to_string(seconds % 60));
}

std::string FormatLength(int64_t ms) {
    const int64_t seconds = (std::max<int64_t>(ms, 0) + 500) / 1000;
    return std::to_string(seconds / 60) + ":" + PadTwoDigits(std::to_string(seconds % 60));
}

std::string TotalTimeText(int32_t lengthMs) {
    return " / " + FormatLength(lengthMs);
}

}  // namespace app
