// The recorded conversion against what a user meets: long rests before the music, a program
// that stands still for seconds, a many-files run with a file that fails. The file is the
// render, or the program says what it lacks and leaves nothing at the final name.
#include <gtest/gtest.h>
#include <signal.h>

#include <QRegularExpression>
#include <QThread>
#include <filesystem>
#include <fstream>

#include "support/pcm.h"
#include "support/program_run.h"
#include "support/pulse_env.h"
#include "support/smf_builder.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using testsupport::SmfBuilder;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// Four flute notes after `restTicks` of silence (960 ticks a second).
std::vector<uint8_t> AfterARest(uint32_t restTicks) {
    SmfBuilder b;
    b.Program(0, 0, 73);
    const uint8_t keys[] = {72, 74, 76, 79};
    uint32_t delta = restTicks;
    for (uint8_t k : keys) {
        b.NoteOn(delta, 0, k, 100).NoteOff(480, 0, k);
        delta = 0;
    }
    return b.Bytes();
}

class WholePiece : public testsupport::TempFolderTest {
  protected:
    std::string Midi(const std::string& name, const std::vector<uint8_t>& bytes) const {
        std::ofstream(Path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return Path(name);
    }
};

TEST_F(WholePiece, AnyRestBeforeTheFirstNoteIsKeptAsTheFastConversionKeepsIt) {
    REQUIRE_SOUND_SERVER();
    for (uint32_t seconds : {4u, 30u}) {
        const std::string name = "rest" + std::to_string(seconds);
        const std::string midi = Midi(name + ".mid", AfterARest(seconds * 960));
        const auto recorded = testsupport::RunProgram({Q(midi), Q(Path(name + ".wav"))});
        EXPECT_EQ(recorded.exitCode, 0) << recorded.stdErr.toStdString();
        const auto fast =
            testsupport::RunProgram({"--fast", Q(midi), Q(Path(name + "-fast.wav"))});
        EXPECT_EQ(fast.exitCode, 0) << fast.stdErr.toStdString();
        const auto a = testsupport::ReadWav(Path(name + ".wav"));
        const auto b = testsupport::ReadWav(Path(name + "-fast.wav"));
        ASSERT_TRUE(a && b) << name;
        std::printf("[ measure ] %u s of rest: recorded %.3f s, fast %.3f s\n", seconds,
                    a->seconds(), b->seconds());
        EXPECT_EQ(a->data, b->data) << name;
    }
}

TEST_F(WholePiece, AProgramThatStoodStillIsToldWithTheSilenceItLeftAndWhere) {
    REQUIRE_SOUND_SERVER();
    const std::string midi = Midi("melody.mid", testsupport::MelodySmf(
                                                    {60, 62, 64, 65, 67, 69, 71, 72, 74, 76, 77,
                                                     79, 81, 83, 84, 86, 88, 89, 91, 93},
                                                    0.5));
    const std::string wav = Path("stood.wav");
    const std::vector<uint8_t> old{'o', 'l', 'd'};
    std::ofstream(wav, std::ios::binary) << "old";
    testsupport::Program p({Q(midi), Q(wav)});
    ASSERT_TRUE(p.started());
    QThread::msleep(4000);
    p.Signal(SIGSTOP);
    QThread::msleep(5000);
    p.Signal(SIGCONT);
    const auto run = p.Wait();
    std::printf("[ measure ] after 5 s stopped: %s\n", run.stdErr.toStdString().c_str());
    EXPECT_EQ(run.exitCode, 1) << run.stdErr.toStdString();
    // About five seconds of silence, somewhere in the first seconds of the music.
    const QRegularExpression told(QStringLiteral("0:0[1-9]: (4\\.[6-9]|5\\.[0-2]) s of silence inserted"));
    EXPECT_TRUE(run.stdErr.contains(told)) << run.stdErr.toStdString();
    EXPECT_EQ(testsupport::ReadAll(wav), old);
}

TEST_F(WholePiece, AFileThatFailedAmongManyIsRecordedAgainByTheNextRun) {
    REQUIRE_SOUND_SERVER();
    const std::string out = Path("out");
    fs::create_directory(out);
    const std::string good = Midi("good.mid", testsupport::MelodySmf({60, 64}, 0.4));
    // Plays for a second and sounds no note: a silent file is no result.
    const std::string silent =
        Midi("silent.mid", SmfBuilder().NoteOn(0, 0, 60, 0).NoteOff(960, 0, 60).Bytes());
    for (int pass = 0; pass < 2; ++pass) {
        const auto run = testsupport::RunProgram({"--to", Q(out), Q(good), Q(silent)});
        EXPECT_EQ(run.exitCode, 1) << run.stdErr.toStdString();
        EXPECT_FALSE(fs::exists(out + "/silent.wav")) << "pass " << pass;
        EXPECT_TRUE(run.stdErr.contains(pass == 0 ? "1 converted, 0 skipped, 1 failed"
                                                  : "0 converted, 1 skipped, 1 failed"))
            << run.stdErr.toStdString();
    }
}

}  // namespace
