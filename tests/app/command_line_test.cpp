// The command line's options and file arguments, and what the program answers without running.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <tuple>

namespace {

using app::AnswerWithoutRunning;
using app::ParseCommandLine;
using Args = std::vector<std::string>;

TEST(CommandLineOptions, OptionsStandAnywhereAndDoubleDashEndsThem) {
    auto line = ParseCommandLine({"--version", "a.mid", "b.wav", "40"});
    EXPECT_TRUE(line.version);
    EXPECT_FALSE(line.help);
    EXPECT_EQ(line.files, (Args{"a.mid", "b.wav", "40"}));
    EXPECT_TRUE(line.error.empty());

    // An option between or after the files is read, never taken for a file.
    line = ParseCommandLine({"song.mid", "--fast", "y.wav"});
    EXPECT_TRUE(line.error.empty()) << line.error;
    EXPECT_TRUE(line.fast);
    EXPECT_EQ(line.files, (Args{"song.mid", "y.wav"}));
    line = ParseCommandLine({"--fast", "a.mid", "x.wav", "--volume", "80"});
    EXPECT_TRUE(line.error.empty()) << line.error;
    EXPECT_EQ(line.volume, 80);
    EXPECT_EQ(line.files, (Args{"a.mid", "x.wav"}));
    EXPECT_TRUE(ParseCommandLine({"a.mid", "--help"}).help);

    // After "--" a name that looks like an option is a file, and so is a second "--".
    line = ParseCommandLine({"--", "--fast", "--", "out.wav"});
    EXPECT_FALSE(line.help || line.version || line.fast);
    EXPECT_EQ(line.files, (Args{"--fast", "--", "out.wav"}));
    EXPECT_TRUE(line.error.empty());
    line = ParseCommandLine({"--", "-reverse", "out.wav"});
    EXPECT_EQ(line.files, (Args{"-reverse", "out.wav"}));
    EXPECT_TRUE(line.error.empty()) << line.error;
    line = ParseCommandLine({"a.mid", "--fast", "--", "-b.wav", "--volume"});
    EXPECT_TRUE(line.fast);
    EXPECT_EQ(line.files, (Args{"a.mid", "-b.wav", "--volume"}));

    line = ParseCommandLine({"--help", "--"});
    EXPECT_TRUE(line.help);
    EXPECT_TRUE(line.files.empty());
}

TEST(CommandLineOptions, ShortOptionsAreHelpAndVersionOnly) {
    EXPECT_TRUE(ParseCommandLine({"-h"}).help);
    EXPECT_TRUE(ParseCommandLine({"a.mid", "-V"}).version);
    EXPECT_TRUE(ParseCommandLine({"-h"}).files.empty());
    // Each is one letter: anything longer is named whole, as it was typed.
    for (const char* unknown : {"-x", "-hV", "-reverse", "-style", "-H", "-v"})
        EXPECT_EQ(ParseCommandLine({"a.mid", unknown, "b.wav"}).error,
                  std::string("unknown option ") + unknown);
    // "-" alone is a name, as ever.
    const auto line = ParseCommandLine({"-", "out.wav"});
    EXPECT_TRUE(line.error.empty()) << line.error;
    EXPECT_EQ(line.files, (Args{"-", "out.wav"}));
}

TEST(CommandLineOptions, ANegativeNumberIsAValueOnlyWhereTheVolumeStands) {
    for (const Args& args : {Args{"a.mid", "b.wav", "-5"}, Args{"a.mid", "b.wav", "-0x10"},
                             Args{"x.mid", "y.wav", "-$20", "extra"}}) {
        const auto line = ParseCommandLine(args);
        EXPECT_TRUE(line.error.empty()) << args[2] << ": " << line.error;
        EXPECT_EQ(line.files, args);
    }
    EXPECT_EQ(ParseCommandLine({"a.mid", "-5", "b.wav"}).error, "unknown option -5");
    EXPECT_EQ(ParseCommandLine({"-5", "a.mid"}).error, "unknown option -5");
    // With --to every file is a MIDI file: there is no volume's place, wherever --to stands.
    EXPECT_EQ(ParseCommandLine({"a.mid", "b.mid", "-5", "--to", "o"}).error, "unknown option -5");
    // An option's separate value is taken as it stands: --volume stays strict.
    EXPECT_EQ(ParseCommandLine({"--volume", "-5", "a.mid", "b.wav"}).error,
              "option --volume needs a number from 0 to 100, not \"-5\"");
    // Only what the number reader takes: "-5x" is an option, and unknown.
    EXPECT_EQ(ParseCommandLine({"a.mid", "b.wav", "-5x"}).error, "unknown option -5x");
}

TEST(CommandLineOptions, ThePositionalFormKeepsItsNamesAndDashNamesNeedDoubleDash) {
    for (const Args& args : {Args{"a b.mid", "c.wav", "50%"}, Args{"a.mid", "b.wav", " -5"},
                             Args{"a.mid", "b.wav", "7", "extra"}}) {
        const auto line = ParseCommandLine(args);
        EXPECT_EQ(line.files, args);
        EXPECT_TRUE(line.error.empty()) << line.error;
    }
    EXPECT_EQ(ParseCommandLine({"-x.mid", "-y.wav", "$20"}).error, "unknown option -x.mid");
    EXPECT_EQ(ParseCommandLine({"--", "-x.mid", "-y.wav", "$20"}).files,
              (Args{"-x.mid", "-y.wav", "$20"}));
    EXPECT_TRUE(ParseCommandLine({}).files.empty());
}

TEST(CommandLineOptions, EveryArgumentCountsAndAnEmptyOneIsAUsageError) {
    const char* argv[] = {"tonvera", "--fast", "--to", "o", "a.mid", "", "b.mid", nullptr};
    const Args arguments = app::CommandLineArguments(7, argv);
    EXPECT_EQ(arguments, (Args{"--fast", "--to", "o", "a.mid", "", "b.mid"}));
    const auto line = ParseCommandLine(arguments);
    EXPECT_EQ(line.error, "an empty argument is no file name");
    EXPECT_TRUE(line.files.empty()) << "nothing of a line not understood is used";
    const auto answer = AnswerWithoutRunning(line, true);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->exitCode, 2);

    for (const Args& args : {Args{""}, Args{"a.mid", "b.wav", ""}, Args{"--", ""}})
        EXPECT_EQ(ParseCommandLine(args).error, "an empty argument is no file name");
    // An option's empty value is the option's to judge.
    EXPECT_EQ(ParseCommandLine({"--to", "", "a.mid"}).error, "option --to needs a folder");
    EXPECT_EQ(ParseCommandLine({"--volume=", "a.mid", "b.wav"}).error,
              "option --volume needs a number from 0 to 100, not \"\"");
    // No argument at all is the window's start.
    const char* none[] = {"tonvera", nullptr};
    EXPECT_TRUE(app::CommandLineArguments(1, none).empty());
    EXPECT_FALSE(AnswerWithoutRunning(ParseCommandLine({}), true));
}

TEST(CommandLineOptions, UsageErrors) {
    auto line = ParseCommandLine({"--fats", "a.mid", "b.wav"});
    EXPECT_EQ(line.error, "unknown option --fats");
    EXPECT_TRUE(line.files.empty());
    // An error before --help is still an error: the line as a whole was not understood.
    EXPECT_EQ(ParseCommandLine({"--bogus", "--help"}).error, "unknown option --bogus");
    EXPECT_EQ(ParseCommandLine({"--help", "-x"}).error, "unknown option -x");
    EXPECT_EQ(ParseCommandLine({"--version=2"}).error, "option --version takes no value");
    EXPECT_EQ(ParseCommandLine({"--=x"}).error, "unknown option --");
    // A prefix of an option's name is not that option.
    EXPECT_EQ(ParseCommandLine({"--vers"}).error, "unknown option --vers");
}

// Options that take a value, in a table of the test's own.
std::vector<std::string> g_values;
const app::TOption kValueOptions[] = {
    {"to", "FOLDER", "--to FOLDER A.mid...", "converts into FOLDER",
     [](app::TCommandLine&, const std::string& value) { g_values.push_back("to=" + value); }},
    {"fast", nullptr, "--fast SONG.mid SONG.wav", "renders without the sound server",
     [](app::TCommandLine&, const std::string& value) { g_values.push_back("fast" + value); }},
};

TEST(CommandLineOptions, AValueFollowsItsOptionSeparatelyOrAfterAnEqualsSign) {
    g_values.clear();
    auto line =
        ParseCommandLine({"--to", "--weird dir", "--fast", "--to=a=b", "x.mid"}, kValueOptions);
    EXPECT_TRUE(line.error.empty()) << line.error;
    // A separate value is taken as it stands, even when it looks like an option.
    EXPECT_EQ(g_values, (Args{"to=--weird dir", "fast", "to=a=b"}));
    EXPECT_EQ(line.files, (Args{"x.mid"}));

    g_values.clear();
    EXPECT_EQ(ParseCommandLine({"--to=", "a.mid"}, kValueOptions).files, (Args{"a.mid"}));
    EXPECT_EQ(g_values, (Args{"to="}));

    EXPECT_EQ(ParseCommandLine({"x.mid", "--to=o"}, kValueOptions).files, (Args{"x.mid"}));
    EXPECT_EQ(ParseCommandLine({"a.mid", "--to"}, kValueOptions).error,
              "option --to needs a value (FOLDER)");
    EXPECT_EQ(ParseCommandLine({"--fast=1"}, kValueOptions).error, "option --fast takes no value");
    // Another table knows nothing of the program's own options.
    EXPECT_EQ(ParseCommandLine({"--help"}, kValueOptions).error, "unknown option --help");
}

TEST(CommandLineAnswers, HelpAndVersionExitZeroOnStandardOutput) {
    auto answer = AnswerWithoutRunning(ParseCommandLine({"--help"}), false);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->exitCode, 0);
    EXPECT_EQ(answer->out, app::UsageText());
    EXPECT_TRUE(answer->err.empty());

    answer = AnswerWithoutRunning(ParseCommandLine({"--version", "a.mid", "b.wav"}), false);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->exitCode, 0);
    EXPECT_TRUE(std::regex_match(answer->out, std::regex(R"(tonvera \d+\.\d+\.\d+\n)")))
        << answer->out;
    EXPECT_TRUE(answer->err.empty());
}

TEST(CommandLineAnswers, UsageErrorsExitTwoWithTheUsageOnStandardError) {
    auto answer = AnswerWithoutRunning(ParseCommandLine({"--fats", "a.mid", "b.wav"}), true);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->exitCode, 2);
    EXPECT_TRUE(answer->out.empty());
    EXPECT_EQ(answer->err, "tonvera: unknown option --fats\n" + app::UsageText());

    // Without a window only the converting form can run.
    for (const Args& args : {Args{}, Args{"a.mid"}}) {
        answer = AnswerWithoutRunning(ParseCommandLine(args), false);
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->exitCode, 2);
        EXPECT_NE(answer->err.find("usage: tonvera"), std::string::npos);
    }
    EXPECT_FALSE(AnswerWithoutRunning(ParseCommandLine({"a.mid", "b.wav"}), false));
    // With a display none, one or two files all run.
    for (const Args& args : {Args{}, Args{"a.mid"}, Args{"--", "a.mid", "b.wav", "7"}})
        EXPECT_FALSE(AnswerWithoutRunning(ParseCommandLine(args), true));
}

TEST(CommandLineOptions, TheConversionOptionsGoTogetherOnlyAsTheyCan) {
    auto line = ParseCommandLine({"--fast", "--volume", "$20", "a.mid", "b.wav"});
    EXPECT_TRUE(line.error.empty()) << line.error;
    EXPECT_TRUE(line.fast);
    EXPECT_EQ(line.volume, 32);
    line = ParseCommandLine({"a.mid", "b.wav", "--soundfont", "/fonts/My Piano.sf2"});
    EXPECT_TRUE(line.error.empty()) << line.error;
    EXPECT_EQ(line.soundFont, "/fonts/My Piano.sf2");
    EXPECT_EQ(line.files, (Args{"a.mid", "b.wav"}));
    EXPECT_EQ(ParseCommandLine({"a.mid"}).soundFont, std::nullopt);
    line = ParseCommandLine({"--to", "out", "--format=FLAC", "a.mid"});
    EXPECT_TRUE(line.error.empty()) << line.error;
    EXPECT_EQ(line.format, platform::OutputFormat::kFlac);
    EXPECT_EQ(ParseCommandLine({"--to", "out", "a.mid"}).format, platform::OutputFormat::kWav);
    line = ParseCommandLine({"--fast", "--overwrite", "--to=out", "a.mid", "--", "--fast"});
    EXPECT_TRUE(line.error.empty()) << line.error;
    EXPECT_EQ(line.to, "out");
    EXPECT_TRUE(line.overwrite);
    EXPECT_EQ(line.files, (Args{"a.mid", "--fast"}));  // a file named so, after "--"
    line = ParseCommandLine({"--fast", "--jobs", "3", "--to", "out", "a.mid"});
    EXPECT_TRUE(line.error.empty()) << line.error;
    EXPECT_EQ(line.jobs, 3);
    EXPECT_EQ(ParseCommandLine({"--fast", "--to", "out", "a.mid"}).jobs, std::nullopt);
    // The positional volume keeps its own forms (anything that is not a number is ignored).
    EXPECT_TRUE(ParseCommandLine({"--fast", "a.mid", "b.wav", "50%"}).error.empty());
    EXPECT_TRUE(ParseCommandLine({"a.mid", "b.wav", "-5", "--fast"}).error.empty());

    const std::pair<Args, std::string> refused[] = {
        {{"--volume", "101", "a.mid", "b.wav"},
         "option --volume needs a number from 0 to 100, not \"101\""},
        {{"--volume=x", "a.mid", "b.wav"},
         "option --volume needs a number from 0 to 100, not \"x\""},
        {{"--volume", "40", "a.mid", "b.wav", "50"}, "the volume is given twice"},
        {{"--fast", "a.mid"}, "--fast needs SONG.mid and SONG.wav"},
        {{"--overwrite", "a.mid", "b.wav"}, "--overwrite works with --to only"},
        {{"--to", "out"}, "--to needs the MIDI files to convert"},
        {{"--to="}, "option --to needs a folder"},
        {{"--fast", "--", "a.mid"}, "--fast needs SONG.mid and SONG.wav"},
        {{"--soundfont=", "a.mid", "b.wav"}, "option --soundfont needs a file"},
        {{"--to", "o", "--format", "aac", "a.mid"},
         "option --format needs wav, flac, ogg, opus or mp3, not \"aac\""},
        {{"--format", "flac", "a.mid", "b.wav"},
         "--format works with --to only (a file's own name tells its format)"},
        {{"--fast", "--jobs=0", "--to", "o", "a.mid"},
         "option --jobs needs a number of 1 or more, not \"0\""},
        {{"--fast", "--jobs", "-2", "--to", "o", "a.mid"},
         "option --jobs needs a number of 1 or more, not \"-2\""},
        {{"--fast", "--jobs", "two", "--to", "o", "a.mid"},
         "option --jobs needs a number of 1 or more, not \"two\""},
        {{"--jobs", "2", "--to", "o", "a.mid"},
         "--jobs works with --fast --to only (recorded files go one after another)"},
        {{"--fast", "--jobs", "2", "a.mid", "b.wav"},
         "--jobs works with --fast --to only (recorded files go one after another)"},
    };
    for (const auto& [args, error] : refused) EXPECT_EQ(ParseCommandLine(args).error, error);
    // Many files need no window.
    EXPECT_FALSE(AnswerWithoutRunning(ParseCommandLine({"--to", "o", "a.mid"}), false));
}

TEST(CommandLineAnswers, UsageNamesEveryFormOnALineOfItsOwn) {
    std::istringstream text(app::UsageText());
    std::vector<std::string> lines;
    for (std::string l; std::getline(text, l);) lines.push_back(l);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].rfind("usage: tonvera ", 0), 0u);

    // Each form once, at the start of a line, its explanation beside it in a common column.
    std::vector<std::string> forms;
    size_t column = 0;
    for (const auto& l : lines) {
        if (l.rfind("  tonvera", 0) != 0) continue;
        const size_t gap = l.find("  ", 2);
        ASSERT_NE(gap, std::string::npos) << l;
        forms.push_back(l.substr(2, gap - 2));
        const size_t at = l.find_first_not_of(' ', gap);
        ASSERT_NE(at, std::string::npos) << "a form without its explanation: " << l;
        if (column == 0) column = at;
        EXPECT_EQ(at, column) << l;
        EXPECT_LE(l.size(), 100u) << l;
    }
    EXPECT_EQ(forms, (Args{"tonvera", "tonvera SONG.mid", "tonvera SONG.mid SONG.wav [VOLUME]",
                           "tonvera --help", "tonvera --version",
                           "tonvera --fast SONG.mid SONG.wav [VOLUME]",
                           "tonvera --to FOLDER A.mid...", "tonvera --list-synths",
                           "tonvera -- FILE..."}));
    // And every option, with its value's name, the short ones beside their long forms.
    for (const char* option :
         {"      --fast ", "      --to FOLDER ", "      --volume N ", "      --jobs N ",
          "      --overwrite ", "      --soundfont FILE ", "  -h, --help ", "  -V, --version "})
        EXPECT_NE(app::UsageText().find("\n" + std::string(option)), std::string::npos) << option;
}

TEST(CommandLineVolume, ThePositionalVolumeIsTheTrackBarsAndSaysWhenItWasChanged) {
    const std::tuple<std::string, int, std::string> cases[] = {
        {"40", 40, ""},
        {"$20", 32, ""},
        {"0", 0, ""},
        {"100", 100, ""},
        {"abc", 30, "volume \"abc\" is not a number; using 30"},
        {"50%", 30, "volume \"50%\" is not a number; using 30"},
        {"101", 100, "volume 101 is out of range; using 100"},
        {"-5", 0, "volume -5 is out of range; using 0"},
    };
    for (const auto& [given, volume, warning] : cases) {
        const auto line = ParseCommandLine({"a.mid", "b.wav", given});
        ASSERT_TRUE(line.error.empty()) << given << ": " << line.error;
        const app::TVolumeChoice choice = app::ConversionVolume(line);
        EXPECT_EQ(choice.volume, volume) << given;
        EXPECT_EQ(choice.warning, warning) << given;
    }
    // --volume has been checked already; without a third file the default is no change.
    EXPECT_EQ(app::ConversionVolume(ParseCommandLine({"--volume=0", "a.mid", "b.wav"})).volume, 0);
    const auto plain = app::ConversionVolume(ParseCommandLine({"a.mid", "b.wav"}));
    EXPECT_EQ(plain.volume, 30);
    EXPECT_TRUE(plain.warning.empty());
    // With --to the third file is a MIDI file, whatever its name.
    const auto many = app::ConversionVolume(ParseCommandLine({"--to", "o", "a.mid", "b", "7"}));
    EXPECT_EQ(many.volume, 30);
    EXPECT_TRUE(many.warning.empty()) << many.warning;
}

}  // namespace
