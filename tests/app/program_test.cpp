// The built program's answers that need neither a display nor a sound server: what a script or
// a packager runs first.
#include <gtest/gtest.h>

#include <QDir>

#include "support/program_run.h"

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

    // Qt takes its own options first; what is left is ours.
    run = Tonvera({"-style", "fusion", "--version"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "tonvera " TONVERA_VERSION "\n");
}

TEST(Program, UsageErrorsExitTwoAndDoubleDashMakesNamesOfOptions) {
    Outcome run = Tonvera({"--fats", "a.mid", "b.wav"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.contains("unknown option --fats")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("usage: tonvera"));

    // After "--" the MIDI file is named "--fast": the program tries to convert it and fails on
    // the missing file, not on the option.
    run = Tonvera({"--", "--fast", QDir::tempPath() + "/tonvera-program-test.wav"});
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains("unknown option")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("--fast")) << run.err.toStdString();
}

}  // namespace
