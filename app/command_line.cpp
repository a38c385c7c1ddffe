#include "app/command_line.h"

namespace app {

std::vector<std::string> CommandLineArguments(int argc, const char* const* argv) {
    std::vector<std::string> out;
    for (int i = 1; i < argc && argv[i] && argv[i][0] != '\0'; ++i) out.emplace_back(argv[i]);
    return out;
}

std::optional<int32_t> ParseInteger(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

    bool hex = false;
    if (i < text.size() && text[i] == '$') {
        hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i == text.size()) return std::nullopt;

    // Hexadecimal spans the full 32 bits ($FFFFFFFF is -1); decimal stays within the signed range.
    const uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        value = value * (hex ? 16 : 10) + uint64_t(digit);
        if (value > limit) return std::nullopt;
    }
    const auto bits = uint32_t(value);
    const auto result = int32_t(bits);
    return negative ? int32_t(0u - bits) : result;
}

}  // namespace app
