// The offline conversions end to end: the real binary with no sound server at all, one file or
// many, as a script runs them.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <QThread>
#include <filesystem>
#include <fstream>

#include "bench/bench_song.h"
#include "bench/render_compare.h"
#include "support/pcm.h"
#include "support/program_run.h"
#include "support/sf2_builder.h"
#include "support/smf_builder.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ProgramOutcome;

class FastProgram : public testsupport::TempFolderTest {
  protected:
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        std::ofstream(Path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return Path(name);
    }
    static ProgramOutcome Run(const QStringList& args, const QString& folder = {}) {
        return testsupport::RunProgram(args, {folder, true});
    }
};

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

TEST_F(FastProgram, OneFileIsTheRecordingsSamplesWithoutAServer) {
    const std::string midi = Write("song.mid", bench::BenchSong(4));
    const std::string wav = Path("song.wav");
    const ProgramOutcome run = Run({"--fast", Q(midi), Q(wav), "40"});
    EXPECT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
    EXPECT_TRUE(run.stdErr.contains("plays for 0:04")) << run.stdErr.toStdString();
    EXPECT_FALSE(run.stdErr.contains('\r')) << "a pipe gets no progress line";
    const bench::Residual r = bench::CompareWithRender(midi, wav, bench::ConversionGains(40));
    ASSERT_TRUE(r.error.empty()) << r.error;
    EXPECT_EQ(r.offsetFrames, 0);
    EXPECT_EQ(r.maxDifference, 0);
    EXPECT_EQ(r.wavFrames, r.renderFrames);
    EXPECT_FALSE(fs::exists(wav + ".part"));
    // --volume is the same volume.
    const ProgramOutcome again = Run({"--fast", "--volume=40", Q(midi), Q(Path("again.wav"))});
    EXPECT_EQ(again.exitCode, 0) << again.stdErr.toStdString();
    EXPECT_EQ(testsupport::ReadAll(Path("again.wav")), testsupport::ReadAll(wav));
}

TEST_F(FastProgram, AFailingFileAmongGoodOnesIsToldAndTheOthersAreWritten) {
    fs::create_directory(Path("out"));
    const std::string a = Write("a.mid", bench::BenchSong(2)),
                      b = Write("b.mid", testsupport::MelodySmf({60, 64}, 0.3)),
                      bad = Write("bad.mid", {'n', 'o', 't', ' ', 'M', 'I', 'D', 'I'});
    const std::vector<uint8_t> old{'m', 'i', 'n', 'e'};
    Write("out/b.wav", old);
    ProgramOutcome run = Run({"--fast", "--to", Q(Path("out")), Q(a), Q(bad), Q(b)});
    EXPECT_EQ(run.exitCode, 1) << run.stdErr.toStdString();
    EXPECT_TRUE(testsupport::ReadWav(Path("out/a.wav")).has_value());
    EXPECT_EQ(testsupport::ReadAll(Path("out/b.wav")), old) << "skipped, not replaced";
    EXPECT_FALSE(fs::exists(Path("out/bad.wav")));
    EXPECT_TRUE(run.stdErr.contains("Skipped " + Q(b))) << run.stdErr.toStdString();
    EXPECT_TRUE(run.stdErr.contains(Q(bad) + ": ")) << run.stdErr.toStdString();
    EXPECT_TRUE(run.stdErr.contains("1 converted, 1 skipped, 1 failed; 0:05 of music in"))
        << run.stdErr.toStdString();

    // Replaced when asked; and with only good files the run is a success.
    run = Run({"--fast", "--overwrite", "--to", Q(Path("out")), Q(a), Q(b)});
    EXPECT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
    EXPECT_TRUE(testsupport::ReadWav(Path("out/b.wav")).has_value());
    EXPECT_TRUE(run.stdErr.contains("2 converted, 0 skipped, 0 failed"))
        << run.stdErr.toStdString();
    // A folder that is not there stops the run before anything.
    run = Run({"--fast", "--to", Q(Path("missing")), Q(a)});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.stdErr.contains(Q(Path("missing")))) << run.stdErr.toStdString();
}

// A worker renders file after file with the SoundFont it loaded once: whichever worker takes a
// file, and whatever it rendered before, the file is the one a run of its own makes.
TEST_F(FastProgram, OneWorkerOrTwoEveryFileIsTheSameAsAloneToTheByte) {
    const std::vector<std::string> names{"a", "b", "c", "d"};
    const std::string midi[] = {Write("a.mid", bench::BenchSong(3)),
                                Write("b.mid", testsupport::MelodySmf({60, 64, 67}, 0.3)),
                                Write("c.mid", testsupport::LoudChordsSmf()),
                                Write("d.mid", bench::BenchSong(2))};
    for (const char* jobs : {"1", "2"}) {
        const std::string out = Path(std::string("jobs") + jobs);
        fs::create_directory(out);
        const ProgramOutcome run = Run({"--fast", "--jobs", jobs, "--to", Q(out), Q(midi[0]),
                                        Q(midi[1]), Q(midi[2]), Q(midi[3])});
        EXPECT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
        EXPECT_TRUE(run.stdErr.contains("4 converted, 0 skipped, 0 failed"))
            << run.stdErr.toStdString();
        EXPECT_FALSE(run.stdErr.contains("of music,")) << "a pipe gets no progress line";
    }
    const ProgramOutcome alone = Run({"--fast", Q(midi[2]), Q(Path("alone.wav"))});
    ASSERT_EQ(alone.exitCode, 0) << alone.stdErr.toStdString();
    for (const std::string& name : names) {
        const auto one = testsupport::ReadAll(Path("jobs1/" + name + ".wav"));
        EXPECT_GT(one.size(), 44u) << name;
        EXPECT_EQ(one, testsupport::ReadAll(Path("jobs2/" + name + ".wav"))) << name;
    }
    EXPECT_EQ(testsupport::ReadAll(Path("alone.wav")), testsupport::ReadAll(Path("jobs1/c.wav")));
}

TEST_F(FastProgram, TheSoundFontChosenIsTheOnePlayedAndABrokenOneIsRefusedBeforeAnything) {
    const std::string midi = Write("song.mid", testsupport::MelodySmf({60, 64, 67}, 0.3));
    const std::string sine = Path("sine.sf2");
    ASSERT_TRUE(testsupport::WriteSineSoundFont(sine));
    ProgramOutcome run = Run({"--fast", Q(midi), Q(Path("gm.wav"))});
    ASSERT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
    run = Run({"--fast", "--soundfont", Q(sine), Q(midi), Q(Path("sine.wav"))});
    ASSERT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
    const auto gm = testsupport::ReadWav(Path("gm.wav")),
               other = testsupport::ReadWav(Path("sine.wav"));
    ASSERT_TRUE(gm && other);
    EXPECT_NE(gm->data, other->data);
    EXPECT_GT(testsupport::Peak(other->left()), 300) << "the sine font plays the notes";

    // Random bytes named .sf2: refused with the reason, the old file untouched, nothing beside.
    std::vector<uint8_t> noise(4096);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = uint8_t((i * 7919 + 13) >> 3);
    const std::string broken = Write("broken.sf2", noise);
    const std::vector<uint8_t> old{'m', 'i', 'n', 'e'};
    const std::string wav = Write("old.wav", old);
    run = Run({"--fast", "--soundfont=" + Q(broken), Q(midi), Q(wav)});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.stdErr.contains("cannot load the SoundFont " + Q(broken) + ": not an SF2 file"))
        << run.stdErr.toStdString();
    EXPECT_EQ(testsupport::ReadAll(wav), old);
    EXPECT_FALSE(fs::exists(wav + ".part"));
    // Among many files it stops the run before the first.
    fs::create_directory(Path("out"));
    run = Run({"--fast", "--soundfont", Q(broken), "--to", Q(Path("out")), Q(midi)});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.stdErr.contains("not an SF2 file")) << run.stdErr.toStdString();
    EXPECT_TRUE(fs::is_empty(Path("out")));
}

TEST_F(FastProgram, OptionsAreRefusedOrTakenAsFilesByTheRules) {
    ProgramOutcome run = Run({"--fats", "a.mid", "b.wav"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.stdErr.contains("unknown option --fats"));
    run = Run({"--fast", "--volume", "500", "a.mid", "b.wav"});
    EXPECT_EQ(run.exitCode, 2);
    // A MIDI file literally named --fast, after "--".
    Write("--fast", testsupport::MelodySmf({67}, 0.3));
    run = Run({"--fast", "--", "--fast", "out.wav"}, dir_.QPath());
    EXPECT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
    EXPECT_TRUE(testsupport::ReadWav(Path("out.wav")).has_value());
}

// A piece that plays no note: its file is all zero, a result that is no result.
std::vector<uint8_t> SilentSmf() {
    return testsupport::SmfBuilder().NoteOn(0, 0, 60, 0).NoteOff(960, 0, 60).Bytes();
}

TEST_F(FastProgram, AFailedResultLeavesTheOldFileAndKeepsWhatWasMadeBesideIt) {
    const std::string silent = Write("silent.mid", SilentSmf());
    const std::vector<uint8_t> old{'m', 'i', 'n', 'e'};
    const std::string wav = Write("song.wav", old);
    const ProgramOutcome run = Run({"--fast", Q(silent), Q(wav)});
    EXPECT_EQ(run.exitCode, 1) << run.stdErr.toStdString();
    EXPECT_EQ(testsupport::ReadAll(wav), old);
    EXPECT_TRUE(run.stdErr.contains(Q(wav) + " was not changed; what was recorded is in " + Q(wav) +
                                    ".part"))
        << run.stdErr.toStdString();
    EXPECT_TRUE(testsupport::ReadWav(wav + ".part").has_value());
}

TEST_F(FastProgram, AFileThatFailedInAManyFilesRunIsConvertedAgainByTheNext) {
    fs::create_directory(Path("out"));
    const std::string good = Write("good.mid", testsupport::MelodySmf({60, 64}, 0.3)),
                      silent = Write("silent.mid", SilentSmf());
    for (int pass = 0; pass < 2; ++pass) {
        const ProgramOutcome run = Run({"--fast", "--to", Q(Path("out")), Q(good), Q(silent)});
        EXPECT_EQ(run.exitCode, 1) << run.stdErr.toStdString();
        EXPECT_FALSE(fs::exists(Path("out/silent.wav"))) << "pass " << pass;
        const char* tally =
            pass == 0 ? "1 converted, 0 skipped, 1 failed" : "0 converted, 1 skipped, 1 failed";
        EXPECT_TRUE(run.stdErr.contains(tally)) << run.stdErr.toStdString();
    }
}

TEST_F(FastProgram, AFileSizeLimitIsAWriteErrorWithItsReasonNotASilentDeath) {
    const std::string midi = Write("long.mid", bench::BenchSong(30));
    const std::vector<uint8_t> old{'o', 'l', 'd'};
    const std::string wav = Write("song.wav", old);
    struct rlimit was {};
    ::getrlimit(RLIMIT_FSIZE, &was);
    struct rlimit small = was;
    // The child inherits the limit (a second of sound is 176 kB) and SIGXFSZ at its default,
    // which kills; this process writes nothing meanwhile.
    small.rlim_cur = 1 << 20;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const ProgramOutcome run = Run({"--fast", Q(midi), Q(wav)});
    ::setrlimit(RLIMIT_FSIZE, &was);
    EXPECT_EQ(run.exitCode, 1) << run.stdErr.toStdString();
    EXPECT_TRUE(run.stdErr.contains("File too large")) << run.stdErr.toStdString();
    EXPECT_EQ(testsupport::ReadAll(wav), old);
}

TEST_F(FastProgram, ASignalStopsTheRenderAndTheFileHoldsWhatWasRendered) {
    const std::string midi = Write("long.mid", bench::BenchSong(600));
    const std::string wav = Path("long.wav");
    testsupport::Program p({"--fast", Q(midi), Q(wav)}, {{}, true});
    ASSERT_TRUE(p.started());
    QThread::msleep(1000);
    p.Signal(SIGINT);
    const ProgramOutcome run = p.Wait();
    EXPECT_EQ(run.exitCode, 130) << run.stdErr.toStdString();
    EXPECT_TRUE(run.stdErr.contains("Stopped by SIGINT at ")) << run.stdErr.toStdString();
    const auto file = testsupport::ReadWav(wav);
    ASSERT_TRUE(file.has_value());
    EXPECT_GT(file->seconds(), 1.0);
    EXPECT_LT(file->seconds(), 590.0);

    // Among many files an interrupted one never stands at its final name.
    fs::create_directory(Path("out"));
    testsupport::Program many({"--fast", "--to", Q(Path("out")), Q(midi)}, {{}, true});
    ASSERT_TRUE(many.started());
    QThread::msleep(1000);
    many.Signal(SIGINT);
    const ProgramOutcome stopped = many.Wait();
    EXPECT_EQ(stopped.exitCode, 130) << stopped.stdErr.toStdString();
    EXPECT_FALSE(fs::exists(Path("out/long.wav")));
    EXPECT_TRUE(testsupport::ReadWav(Path("out/long.wav.part")).has_value());
}

}  // namespace
