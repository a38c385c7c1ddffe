#pragma once
// The command line: long options first, then the file arguments of the unattended mode (MIDI
// path, WAV path, optional volume) or the one MIDI file a file manager hands over.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace app {

// The arguments after the program's own name, counted up to the first empty one.
std::vector<std::string> CommandLineArguments(int argc, const char* const* argv);

// Optional leading blanks, an optional sign, then decimal digits, or hexadecimal digits after
// "$" or "0x". Anything else, trailing characters included, or a value beyond 32 bits, fails.
std::optional<int32_t> ParseInteger(const std::string& text);

// What the options asked for, and the file arguments that follow them.
struct TCommandLine {
    bool help = false;
    bool version = false;
    bool fast = false;                // render without the sound server
    std::optional<int> volume;        // --volume
    std::string volumeText;           // as given, until it is checked
    std::optional<std::string> to;    // --to FOLDER: many files into that folder
    bool overwrite = false;           // --to may replace WAV files that are there
    std::vector<std::string> files;
    std::string error;  // a usage error; empty when the line was understood
};

// One long option. Adding one to the program: a row in its table (command_line.cpp), a field
// in TCommandLine that `apply` sets, and its handling where that field is read.
struct TOption {
    const char* name;       // after the "--"
    const char* valueName;  // nullptr for an option without a value
    const char* form;       // the command line it makes, after "tonvera ", for --help (or null)
    const char* help;
    void (*apply)(TCommandLine& line, const std::string& value);
};

// The program's options, in the order --help lists them.
std::span<const TOption> ProgramOptions();

// Options are "--name" or "--name=value" (or "--name value" for an option that takes one) and
// stand before the first file argument; "--" ends them. Anything else, a single "-" or "-5"
// included, is a file argument, so the positional form keeps every name it always took.
// Options that do not go together, or with the files given, are a usage error.
TCommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                              std::span<const TOption> options = ProgramOptions());

// "tonvera X.Y.Z".
std::string VersionText();
// Every form of the command line, one line each.
std::string UsageText();

// What the program prints and returns without running at all.
struct TAnswer {
    int exitCode = 0;
    std::string out;  // for standard output
    std::string err;  // for standard error
};

// The answer for --help, --version or a usage error; nothing when the program should run.
// Without a window (no display) fewer than two file arguments is a usage error too, unless
// --to names the files' folder.
std::optional<TAnswer> AnswerWithoutRunning(const TCommandLine& line, bool windowPossible);

}  // namespace app
