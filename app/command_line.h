#pragma once
// The command line of the unattended mode: MIDI path, WAV path, optional volume.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace app {

// The arguments after the program's own name, counted up to the first empty one.
std::vector<std::string> CommandLineArguments(int argc, const char* const* argv);

// Optional leading blanks, an optional sign, then decimal digits, or hexadecimal digits after
// "$" or "0x". Anything else, trailing characters included, or a value beyond 32 bits, fails.
std::optional<int32_t> ParseInteger(const std::string& text);

}  // namespace app
