// The built program's answers that need neither a display nor a sound server: what a script or
// a packager runs first.
#include <gtest/gtest.h>

#include <QDir>
#include <fstream>

#include "support/pcm.h"
#include "support/program_run.h"
#include "support/smf_builder.h"
#include "support/temp_folder.h"

namespace {

struct Outcome {
    int exitCode = -1;
    QString out, err;
};

Outcome Tonvera(const QStringList& args) {
    const auto run = testsupport::RunProgram(args, {{}, true});
    return {run.exitCode, run.stdOut, run.stdErr};
}

TEST(Program, HelpAndVersionWithoutDisplayOrServer) {
    Outcome run = Tonvera({"--version"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "tonvera " TONVERA_VERSION "\n");
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();

    run = Tonvera({"--help"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.startsWith("usage: tonvera ")) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("tonvera SONG.mid SONG.wav [VOLUME]"));
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();

    // The short forms, wherever they stand, answer the same and open no window.
    const Outcome help = Tonvera({"song.mid", "-h"});
    EXPECT_EQ(help.exitCode, 0) << help.err.toStdString();
    EXPECT_EQ(help.out, run.out);
    const Outcome version = Tonvera({"-V"});
    EXPECT_EQ(version.exitCode, 0) << version.err.toStdString();
    EXPECT_EQ(version.out, "tonvera " TONVERA_VERSION "\n");
}

TEST(Program, UsageErrorsExitTwoAndDoubleDashMakesNamesOfOptions) {
    Outcome run = Tonvera({"--fats", "a.mid", "b.wav"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.contains("unknown option --fats")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("usage: tonvera"));

    // An empty argument ends nothing: the whole line is refused.
    run = Tonvera({"--fast", "--to", QDir::tempPath(), "a.mid", "", "b.mid"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains("tonvera: an empty argument is no file name\n"))
        << run.err.toStdString();

    // After "--" the MIDI file is named "--fast": the program tries to convert it and fails on
    // the missing file, not on the option.
    run = Tonvera({"--", "--fast", QDir::tempPath() + "/tonvera-program-test.wav"});
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains("unknown option")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("--fast")) << run.err.toStdString();
}

TEST(Program, QtReadsNoneOfTheArguments) {
    // Qt's own options are options nobody here knows.
    Outcome run = Tonvera({"-style", "fusion", "--version"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains("tonvera: unknown option -style\n")) << run.err.toStdString();

    // Qt would take "-reverse" as its own; after "--" it is the MIDI file's name.
    run = Tonvera({"--", "-reverse", QDir::tempPath() + "/tonvera-program-test.wav"});
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains("unknown option")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("File: -reverse.")) << run.err.toStdString();
}

class ProgramVolume : public testsupport::TempFolderTest {};

TEST_F(ProgramVolume, APositionalVolumeItCannotUseIsToldWithTheOneUsed) {
    const std::string midi = Path("song.mid");
    const auto smf = testsupport::MelodySmf({60, 64, 67}, 0.2);
    std::ofstream(midi, std::ios::binary)
        .write(reinterpret_cast<const char*>(smf.data()), std::streamsize(smf.size()));
    const QString song = QString::fromStdString(midi);

    Outcome run = Tonvera({"--fast", song, QString::fromStdString(Path("loud.wav")), "101"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.err.count("volume"), 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("tonvera: volume 101 is out of range; using 100\n"))
        << run.err.toStdString();
    const Outcome strict =
        Tonvera({"--fast", "--volume=100", song, QString::fromStdString(Path("100.wav"))});
    EXPECT_EQ(strict.exitCode, 0) << strict.err.toStdString();
    EXPECT_FALSE(strict.err.contains("volume")) << strict.err.toStdString();
    EXPECT_EQ(testsupport::ReadAll(Path("loud.wav")), testsupport::ReadAll(Path("100.wav")));

    run = Tonvera({song, QString::fromStdString(Path("plain.wav")), "abc", "--fast"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("tonvera: volume \"abc\" is not a number; using 30\n"))
        << run.err.toStdString();
}

}  // namespace
