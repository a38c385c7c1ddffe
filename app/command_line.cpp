#include "app/command_line.h"

#include <algorithm>
#include <string_view>

namespace app {
namespace {

// --help lists the rows in this order.
constexpr TOption kOptions[] = {
    {"help", nullptr, "--help", "prints this text and exits",
     [](TCommandLine& line, const std::string&) { line.help = true; }, 'h'},
    {"version", nullptr, "--version", "prints the program's version and exits",
     [](TCommandLine& line, const std::string&) { line.version = true; }, 'V'},
    {"fast", nullptr, "--fast SONG.mid SONG.wav [VOLUME]",
     "renders it offline: the same samples, far faster",
     [](TCommandLine& line, const std::string&) { line.fast = true; }},
    {"to", "FOLDER", "--to FOLDER A.mid...", "converts each to FOLDER/<name>.wav",
     [](TCommandLine& line, const std::string& value) { line.to = value; }},
    {"format", "FORMAT", nullptr, "--to writes wav (default), flac, ogg, opus or mp3 files",
     [](TCommandLine& line, const std::string& value) { line.formatText = value; }},
    {"volume", "N", nullptr, "the volume, 0-100 (default 30)",
     [](TCommandLine& line, const std::string& value) { line.volumeText = value; }},
    {"jobs", "N", nullptr, "--fast --to renders N files at once (default: one per core)",
     [](TCommandLine& line, const std::string& value) { line.jobsText = value; }},
    {"overwrite", nullptr, nullptr, "--to replaces files that are there (else skips them)",
     [](TCommandLine& line, const std::string&) { line.overwrite = true; }},
    {"normalize", nullptr, nullptr, "one gain for the whole file: its peak at -1 dBFS",
     [](TCommandLine& line, const std::string&) { line.normalize = true; }},
    {"soundfont", "FILE", nullptr, "the SoundFont (.sf2, .sf3) the synthesizer plays with",
     [](TCommandLine& line, const std::string& value) { line.soundFont = value; }},
    {"synth", "PORT", nullptr,
     "plays into this JACK MIDI input (or client) and records it",
     [](TCommandLine& line, const std::string& value) { line.synth = value; }},
    {"record", "PORT,PORT", nullptr, "with --synth: the JACK audio ports to record instead",
     [](TCommandLine& line, const std::string& value) { line.recordPorts = value; }},
    {"list-synths", nullptr, "--list-synths",
     "lists JACK MIDI inputs and audio outputs, then exits",
     [](TCommandLine& line, const std::string&) { line.listSynths = true; }},
};

// The external synthesizer's options against the rest; a usage error, or an empty text.
std::string CheckSynth(const TCommandLine& line) {
    if (line.listSynths && !line.files.empty()) return "--list-synths takes no files";
    if (line.recordPorts && !line.synth) return "--record works with --synth only";
    if (line.recordPorts && line.recordPorts->empty()) return "option --record needs ports";
    if (!line.synth) return {};
    if (line.synth->empty()) return "option --synth needs a JACK port or client";
    if (line.fast)
        return "--fast renders with the built-in synthesizer; --synth records one in real time";
    if (line.soundFont) return "--soundfont is the built-in synthesizer's; not with --synth";
    return {};
}

// What the options ask of each other and of the files; a usage error, or an empty text.
std::string CheckTogether(TCommandLine& line) {
    if (line.soundFont && line.soundFont->empty()) return "option --soundfont needs a file";
    if (std::string synth = CheckSynth(line); !synth.empty()) return synth;
    if (line.volumeText) {
        const auto v = ParseInteger(*line.volumeText);
        if (!v || *v < 0 || *v > 100)
            return "option --volume needs a number from 0 to 100, not \"" + *line.volumeText + "\"";
        line.volume = *v;
    }
    if (line.formatText) {
        const auto format = platform::FormatNamed(*line.formatText);
        if (!format)
            return "option --format needs wav, flac, ogg, opus or mp3, not \"" + *line.formatText +
                   "\"";
        line.format = *format;
        if (!line.to) return "--format works with --to only (a file's own name tells its format)";
    }
    if (line.jobsText) {
        const auto n = ParseInteger(*line.jobsText);
        if (!n || *n < 1)
            return "option --jobs needs a number of 1 or more, not \"" + *line.jobsText + "\"";
        line.jobs = *n;
        if (!line.fast || !line.to)
            return "--jobs works with --fast --to only (recorded files go one after another)";
    }
    if (line.to) {
        if (line.to->empty()) return "option --to needs a folder";
        if (line.files.empty()) return "--to needs the MIDI files to convert";
        return {};
    }
    if (line.overwrite) return "--overwrite works with --to only";
    if ((line.fast || line.volume) && line.files.size() < 2)
        return std::string(line.fast ? "--fast" : "--volume") + " needs SONG.mid and SONG.wav";
    if (line.volume && line.files.size() > 2) return "the volume is given twice";
    return {};
}

const TOption* FindOption(std::span<const TOption> options, std::string_view name) {
    for (const TOption& option : options)
        if (name == option.name) return &option;
    return nullptr;
}

const TOption* FindLetter(std::span<const TOption> options, std::string_view arg) {
    if (arg.size() != 2) return nullptr;
    for (const TOption& option : options)
        if (option.letter && option.letter == arg[1]) return &option;
    return nullptr;
}

// Applies the option written as `given`, its value after "=" (`attached`) or else the next
// argument, taken as it stands. Returns the usage error, or an empty text.
std::string Apply(const TOption& option, const std::string& given,
                  const std::optional<std::string>& attached,
                  const std::vector<std::string>& arguments, size_t& i, TCommandLine& line) {
    std::string value;
    if (attached) {
        if (!option.valueName) return "option " + given + " takes no value";
        value = *attached;
    } else if (option.valueName) {
        if (i + 1 >= arguments.size())
            return "option " + given + " needs a value (" + option.valueName + ")";
        value = arguments[++i];
    }
    option.apply(line, value);
    return {};
}

// Reads the option at arguments[i] (a "-" and more, not "--" alone), advancing i past a separate
// value. Returns the usage error, or an empty text.
std::string ReadOption(const std::vector<std::string>& arguments, size_t& i,
                       std::span<const TOption> options, TCommandLine& line) {
    const std::string& arg = arguments[i];
    if (arg[1] != '-') {
        const TOption* option = FindLetter(options, arg);
        if (!option) return "unknown option " + arg;
        return Apply(*option, arg, std::nullopt, arguments, i, line);
    }
    const size_t equals = arg.find('=');
    const std::string given = arg.substr(0, equals);
    const TOption* option = FindOption(options, std::string_view(given).substr(2));
    if (!option) return "unknown option " + given;
    std::optional<std::string> attached;
    if (equals != std::string::npos) attached = arg.substr(equals + 1);
    return Apply(*option, given, attached, arguments, i, line);
}

// The formats an output's name chooses, each with the quality it is written at.
std::string FormatsText() {
    using platform::OutputFormat;
    std::string text = "The output's name chooses its format (any other name is a WAV file):\n";
    for (OutputFormat f : {OutputFormat::kWav, OutputFormat::kFlac, OutputFormat::kVorbis,
                           OutputFormat::kOpus, OutputFormat::kMp3}) {
        std::string ext = platform::FormatExtension(f);
        ext.resize(7, ' ');
        text += "  " + ext + platform::FormatTitle(f) + ", " + platform::FormatQuality(f) + "\n";
    }
    return text;
}

}  // namespace

std::vector<std::string> CommandLineArguments(int argc, const char* const* argv) {
    std::vector<std::string> out;
    for (int i = 1; i < argc && argv[i]; ++i) out.emplace_back(argv[i]);
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

std::span<const TOption> ProgramOptions() {
    return kOptions;
}

TCommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                              std::span<const TOption> options) {
    TCommandLine line;
    bool optionsEnded = false;
    std::vector<size_t> numbers;  // the places of the files that looked like negative numbers
    for (size_t i = 0; i < arguments.size() && line.error.empty(); ++i) {
        const std::string& arg = arguments[i];
        if (arg.empty()) {
            line.error = "an empty argument is no file name";
        } else if (optionsEnded || arg == "-" || arg[0] != '-') {
            line.files.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (ParseInteger(arg)) {
            numbers.push_back(line.files.size());
            line.files.push_back(arg);
        } else {
            line.error = ReadOption(arguments, i, options, line);
        }
    }
    // Only the volume's place takes a number: anywhere else "-5" is an option nobody knows.
    for (size_t place : numbers)
        if (line.error.empty() && (place != 2 || line.to))
            line.error = "unknown option " + line.files[place];
    if (!line.error.empty()) {
        line.files.clear();
        return line;
    }
    if (!line.help && !line.version) line.error = CheckTogether(line);
    return line;
}

TVolumeChoice ConversionVolume(const TCommandLine& line) {
    if (line.volume) return {*line.volume, ""};
    if (line.to || line.files.size() < 3) return {};
    const std::string& given = line.files[2];
    const auto v = ParseInteger(given);
    if (!v) return {30, "volume \"" + given + "\" is not a number; using 30"};
    const int volume = std::clamp<int32_t>(*v, 0, 100);
    if (volume == *v) return {volume, ""};
    return {volume, "volume " + given + " is out of range; using " + std::to_string(volume)};
}

std::string VersionText() {
    return "tonvera " TONVERA_VERSION;
}

std::string UsageText() {
    struct Form {
        std::string form, help;
    };
    std::vector<Form> forms = {
        {"", "opens the window"},
        {"SONG.mid", "opens the window with SONG.mid as the MIDI file"},
        {"SONG.mid SONG.wav [VOLUME]", "converts once and exits; VOLUME 0-100, default 30"},
    };
    std::vector<Form> options;
    for (const TOption& option : ProgramOptions()) {
        if (option.form) forms.push_back({option.form, option.help});
        const std::string letter = option.letter ? std::string("-") + option.letter + ", " : "    ";
        const std::string value = option.valueName ? std::string(" ") + option.valueName : "";
        options.push_back({letter + "--" + option.name + value, option.help});
    }
    forms.push_back({"-- FILE...", "ends the options: a FILE may look like one"});

    size_t width = 0;
    for (const Form& f : forms) width = std::max(width, f.form.size());
    std::string text = "usage: tonvera [OPTION]... [--] [SONG.mid [SONG.wav [VOLUME]]]\n";
    for (const Form& f : forms) {
        std::string form = "tonvera" + (f.form.empty() ? "" : " " + f.form);
        form.resize(width + 10, ' ');
        text += "  " + form + f.help + "\n";
    }
    text += "Options, before or after the files (all but --help and --version also with --to):\n";
    for (const Form& o : options) {
        std::string name = o.form;
        name.resize(width + 10, ' ');
        text += "  " + name + o.help + "\n";
    }
    text +=
        "Every argument after \"--\" is a file. A negative number where VOLUME stands is that\n"
        "volume, not an option (tonvera a.mid b.wav -5 records at 0).\n";
    text += FormatsText();
    text +=
        "Without --soundfont the synthesizer plays with $TONVERA_SOUNDFONT, else the system's\n"
        "General MIDI SoundFont (/usr/share/sounds/sf2/default-GM.sf2).\n"
        "With --synth the music goes to another synthesizer through JACK (or PipeWire's JACK)\n"
        "and its own sound is recorded; a JACK server is never started for it.\n";
    text +=
        "Exit status: 0 when the WAV file was written whole (with --to: every file converted or\n"
        "skipped), 1 when it was not, 2 for a usage error, 128+N after signal N.\n";
    return text;
}

std::optional<TAnswer> AnswerWithoutRunning(const TCommandLine& line, bool windowPossible) {
    if (!line.error.empty()) return TAnswer{2, "", "tonvera: " + line.error + "\n" + UsageText()};
    if (line.help) return TAnswer{0, UsageText(), ""};
    if (line.version) return TAnswer{0, VersionText() + "\n", ""};
    if (!windowPossible && line.files.size() < 2 && !line.to && !line.listSynths)
        return TAnswer{2, "",
                       "tonvera: without a display there is no window; converting needs SONG.mid "
                       "and SONG.wav\n" +
                           UsageText()};
    return std::nullopt;
}

}  // namespace app
