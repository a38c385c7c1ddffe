#pragma once
// The command line: options anywhere, and the file arguments of the unattended mode (MIDI
// path, WAV path, optional volume) or the one MIDI file a file manager hands over.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/encode.h"

namespace app {

// The arguments after the program's own name, empty ones included: the parser refuses those.
std::vector<std::string> CommandLineArguments(int argc, const char* const* argv);

// Optional leading blanks, an optional sign, then decimal digits, or hexadecimal digits after
// "$" or "0x". Anything else, trailing characters included, or a value beyond 32 bits, fails.
std::optional<int32_t> ParseInteger(const std::string& text);

// What the options asked for, and the file arguments among them.
struct TCommandLine {
    bool help = false;
    bool version = false;
    bool fast = false;                      // render without the sound server
    std::optional<int> volume;              // --volume
    std::optional<std::string> volumeText;  // as given, until it is checked
    std::optional<std::string> to;          // --to FOLDER: many files into that folder
    bool overwrite = false;                 // --to may replace WAV files that are there
    std::optional<std::string> soundFont;   // --soundfont: the synthesizer's SoundFont
    std::optional<std::string> formatText;  // --format, until it is checked
    platform::OutputFormat format = platform::OutputFormat::kWav;  // --to's files
    bool normalize = false;                                        // the file's peak at -1 dBFS
    std::optional<std::string> synth;        // --synth: an external synth's JACK port or client
    std::optional<std::string> recordPorts;  // --record: the JACK audio ports to record
    bool listSynths = false;                 // --list-synths
    std::optional<int> jobs;              // --jobs: files --fast --to renders at once
    std::optional<std::string> jobsText;  // as given, until it is checked
    std::vector<std::string> files;
    std::string error;  // a usage error; empty when the line was understood
};

// One option. Adding one to the program: a row in its table (command_line.cpp), a field
// in TCommandLine that `apply` sets, and its handling where that field is read.
struct TOption {
    const char* name;       // after the "--"
    const char* valueName;  // nullptr for an option without a value
    const char* form;       // the command line it makes, after "tonvera ", for --help (or null)
    const char* help;
    void (*apply)(TCommandLine& line, const std::string& value);
    char letter = 0;  // the short form "-x", if it has one
};

// The program's options, in the order --help lists them.
std::span<const TOption> ProgramOptions();

// An argument that starts with "-" is an option wherever it stands: "--name", "--name=value",
// "--name value" or a short "-x". After "--" every argument is a file argument, and so is "-"
// alone. A negative number in the volume's place (the third file argument) is that volume, as
// the positional form always took it. An empty argument, an unknown option, or options that do
// not go together or with the files given are a usage error.
TCommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                              std::span<const TOption> options = ProgramOptions());

// The volume a single conversion records at, and what to tell when it is not the one given.
struct TVolumeChoice {
    int volume = 30;
    std::string warning;  // empty, or a line for standard error naming the volume used
};

// --volume, else the positional third file argument as the track bar takes it (clamped to
// 0-100, not a number: 30), else 30. With --to the files are all MIDI files.
TVolumeChoice ConversionVolume(const TCommandLine& line);

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
