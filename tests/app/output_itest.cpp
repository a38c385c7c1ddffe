// The program end to end against outputs that fail and runs that are cut short: the real
// binary on the private sound server, without a display, as a script would run it. Whatever
// happens, the user's old file is either kept byte for byte or replaced by a finished one.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QThread>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>

#include "support/pcm.h"
#include "support/program_run.h"
#include "support/pulse_env.h"
#include "support/smf_builder.h"
#include "support/temp_folder.h"
#include "support/tmpfs.h"

namespace {

namespace fs = std::filesystem;

using Outcome = testsupport::ProgramOutcome;
using testsupport::Program;

Outcome Tonvera(const QStringList& args) {
    return testsupport::RunProgram(args);
}

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

std::vector<uint8_t> Melody(double seconds) {
    std::vector<uint8_t> keys(size_t(seconds * 2), 0);
    for (size_t i = 0; i < keys.size(); ++i) keys[i] = uint8_t(60 + i % 12);
    return testsupport::MelodySmf(keys, 0.5);
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> Noise(size_t n) {
    std::mt19937 random(7);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = uint8_t(random());
    return v;
}

// Waits until the WAV file at `path` holds at least `seconds` of sound.
bool Holds(const std::string& path, double seconds, int timeoutMs = 20000) {
    for (int waited = 0; waited < timeoutMs; waited += 50) {
        const auto wav = testsupport::ReadWav(path);
        if (wav && wav->seconds() >= seconds) return true;
        QThread::msleep(50);
    }
    return false;
}

class OutputTest : public testsupport::TempFolderTest {
  protected:
    void SetUp() override {
        base_ = dir_.path();
        midi_ = base_ + "/melody.mid";
    }
    std::string base_, midi_;
};

TEST_F(OutputTest, AFullDiskKeepsTheOldWavByteForByteAndSaysWhy) {
    REQUIRE_SOUND_SERVER();
    testsupport::Tmpfs disk(1 << 20);
    REQUIRE_TMPFS(disk);
    WriteBytes(midi_, Melody(10));
    const std::string wav = disk.path() + "/song.wav";
    const auto old = Noise(300000);
    WriteBytes(wav, old);

    const Outcome run = Tonvera({Q(midi_), Q(wav)});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_LT(run.ms, 5000) << "the output is checked before the music";
    EXPECT_TRUE(run.stdErr.contains("No space left on device")) << run.stdErr.toStdString();
    EXPECT_TRUE(run.stdErr.contains(Q(wav))) << run.stdErr.toStdString();
    EXPECT_EQ(testsupport::ReadAll(wav), old);
    EXPECT_FALSE(fs::exists(wav + ".part"));
}

TEST_F(OutputTest, ADiskThatFillsDuringTheRunStopsItAndKeepsWhatWasRecorded) {
    REQUIRE_SOUND_SERVER();
    testsupport::Tmpfs disk(4 << 20);
    REQUIRE_TMPFS(disk);
    WriteBytes(midi_, Melody(12));  // 2.1 MB: room at the start
    const std::string wav = disk.path() + "/song.wav";
    const auto old = Noise(100000);
    WriteBytes(wav, old);

    Program program({Q(midi_), Q(wav)});
    ASSERT_TRUE(Holds(wav + ".part", 1.0));
    ASSERT_TRUE(disk.Fill());  // another program takes the rest
    const Outcome run = program.Wait();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_LT(run.ms, 11000) << "the music went on with nowhere to record it";
    EXPECT_TRUE(run.stdErr.contains("No space left on device")) << run.stdErr.toStdString();
    EXPECT_TRUE(run.stdErr.contains("kept in " + Q(wav) + ".part")) << run.stdErr.toStdString();
    EXPECT_EQ(testsupport::ReadAll(wav), old);
    const auto kept = testsupport::ReadWav(wav + ".part");
    ASSERT_TRUE(kept.has_value());
    EXPECT_GE(kept->seconds(), 1.0);
    EXPECT_EQ(kept->data.size() % 4, 0u);
}

TEST_F(OutputTest, AMissingFolderOrAFifoFailsAtOnceWithNothingPlayed) {
    REQUIRE_SOUND_SERVER();
    WriteBytes(midi_, Melody(10));
    const std::string fifo = base_ + "/pipe.wav";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    fs::create_directory(base_ + "/locked");
    const std::pair<std::string, QString> cases[] = {
        {base_ + "/missing/song.wav", "No such file or directory"},
        {fifo, "named pipe"},
        {base_ + "/locked", "Is a directory"}};
    for (const auto& [wav, reason] : cases) {
        const Outcome run = Tonvera({Q(midi_), Q(wav)});
        EXPECT_EQ(run.exitCode, 1) << wav;
        EXPECT_LT(run.ms, 5000) << wav;
        EXPECT_TRUE(run.stdErr.contains(reason)) << run.stdErr.toStdString();
        EXPECT_FALSE(run.stdErr.contains("plays for")) << "it began to play: " << wav;
    }
    EXPECT_FALSE(fs::exists(base_ + "/missing"));
    struct stat st;
    ASSERT_EQ(::stat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(std::distance(fs::directory_iterator(base_), fs::directory_iterator{}), 3);
}

TEST_F(OutputTest, AKillMidRunLeavesAPlayableRecordingOfAllButTheLastSecond) {
    REQUIRE_SOUND_SERVER();
    WriteBytes(midi_, Melody(20));
    const std::string wav = base_ + "/song.wav";
    WriteBytes(wav, {'o', 'l', 'd'});
    Program program({Q(midi_), Q(wav)});
    ASSERT_TRUE(Holds(wav + ".part", 1.0));
    QElapsedTimer since;
    since.start();
    QThread::msleep(2500);
    const double recordedAtLeast = 1.0 + double(since.elapsed()) / 1000;
    program.Signal(SIGKILL);
    EXPECT_EQ(program.Wait().exitCode, -1);

    const auto kept = testsupport::ReadWav(wav + ".part");
    ASSERT_TRUE(kept.has_value()) << "no playable recording after the kill";
    EXPECT_GE(kept->seconds(), recordedAtLeast - 1.0 - 0.1);
    EXPECT_NE(testsupport::FirstLoud(kept->left(), 300), SIZE_MAX) << "the music is not in it";
    EXPECT_EQ(testsupport::ReadAll(wav), std::vector<uint8_t>({'o', 'l', 'd'}));
    int status = 0;
    const std::string soxi = testsupport::RunCommand("soxi -D '" + wav + ".part' 2>&1", &status);
    EXPECT_EQ(status, 0) << soxi;
}

TEST_F(OutputTest, ALostSoundServerEndsTheRunWithAFailureAndLeavesTheOldFileAsItWas) {
    testsupport::PrivateServer server;
    ASSERT_TRUE(server.ok());
    WriteBytes(midi_, Melody(32));
    const std::string wav = base_ + "/song.wav", part = wav + ".part";
    const std::vector<uint8_t> old = Noise(5000);
    WriteBytes(wav, old);
    Program program({Q(midi_), Q(wav)});
    ASSERT_TRUE(Holds(part, 2.0));
    server.kill();
    const Outcome run = program.Wait();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.stdErr.contains("The sound server stopped answering at 0:0"))
        << run.stdErr.toStdString();
    EXPECT_TRUE(run.stdErr.contains(Q(part) + " holds the first 0:0")) << run.stdErr.toStdString();
    EXPECT_TRUE(run.stdErr.contains(Q(wav) + " was not changed")) << run.stdErr.toStdString();
    EXPECT_EQ(testsupport::ReadAll(wav), old);
    const auto got = testsupport::ReadWav(part);
    ASSERT_TRUE(got.has_value());
    EXPECT_GE(got->seconds(), 2.0);
    EXPECT_LT(got->seconds(), 12.0);
}

// How many descriptors the program needs depends on the server, the toolkit and the environment,
// so every limit from too few to enough is tried: each fails at once without a file, up to the
// first that records, and that one records the whole piece.
TEST_F(OutputTest, NoDescriptorsForTheRecordingFailsAtOnceWithNothingPlayed) {
    REQUIRE_SOUND_SERVER();
    WriteBytes(midi_, Melody(8));
    const std::string wav = base_ + "/song.wav";
    const auto run = [&](int limit, const char* within, int* status) {
        // No redirection after the limit: the shell would need a descriptor above it for one.
        return testsupport::RunCommand("exec 2>&1; ulimit -n " + std::to_string(limit) + "; exec " +
                                           within + " env -u DISPLAY -u WAYLAND_DISPLAY '"
                                           TONVERA_BINARY_DIR "/tonvera' '" + midi_ + "' '" + wav + "'",
                                       status);
    };
    bool recordingRefused = false;
    for (int limit = 8; limit <= 96; ++limit) {
        fs::remove(wav);
        fs::remove(wav + ".part");
        int status = -1;
        const std::string said = run(limit, "timeout -s INT 3", &status);
        if (status == 124) {  // still going after 3 s: it records, and must record it all
            fs::remove(wav + ".part");
            const std::string whole = run(limit, "", &status);
            EXPECT_EQ(status, 0) << "limit " << limit << ": " << whole;
            EXPECT_TRUE(testsupport::ReadWav(wav).has_value()) << whole;
            EXPECT_TRUE(recordingRefused) << "no limit reached the recording and failed there";
            return;
        }
        EXPECT_EQ(status, 1) << "limit " << limit << ": " << said;
        EXPECT_FALSE(fs::exists(wav)) << "limit " << limit << ": " << said;
        recordingRefused = recordingRefused || said.find("No WAV file was written: ") != std::string::npos;
    }
    ADD_FAILURE() << "96 descriptors were not enough to record";
}

TEST_F(OutputTest, LinuxNamesAreRecordedAndAReplacedFileKeepsItsPermissions) {
    REQUIRE_SOUND_SERVER();
    const std::string midi = base_ + "/Song [Live] <1>|2.mid", wav = base_ + "/Song [Live].wav";
    WriteBytes(midi, Melody(1));
    WriteBytes(wav, {'o', 'l', 'd'});
    ASSERT_EQ(::chmod(wav.c_str(), 0600), 0);
    const Outcome run = Tonvera({Q(midi), Q(wav)});
    EXPECT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
    EXPECT_TRUE(testsupport::ReadWav(wav).has_value());
    struct stat st {};
    ASSERT_EQ(::stat(wav.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u) << "a private file must not become world-readable";
}

TEST_F(OutputTest, NamesTheFieldWouldChangeAreRefusedAndNoFileIsTouched) {
    REQUIRE_SOUND_SERVER();
    WriteBytes(midi_, Melody(2));
    fs::create_directory(base_ + "/dir");
    WriteBytes(base_ + "/dir/song", {'a'});
    WriteBytes(base_ + "/my best.wav", {'b'});
    for (const QString& wav : {Q(base_ + "/dir/song\tnew.wav"), Q(base_ + "/my \"best\".wav")}) {
        const Outcome run = Tonvera({Q(midi_), wav});
        EXPECT_EQ(run.exitCode, 1);
        // The field's message, and what in the name refused it.
        EXPECT_TRUE(run.stdErr.contains(QStringLiteral("Ungültiger Dateiname - ") + wav + " (a "))
            << run.stdErr.toStdString();
    }
    EXPECT_EQ(testsupport::ReadAll(base_ + "/dir/song"), std::vector<uint8_t>{'a'});
    EXPECT_EQ(testsupport::ReadAll(base_ + "/my best.wav"), std::vector<uint8_t>{'b'});
    EXPECT_EQ(std::distance(fs::directory_iterator(base_), fs::directory_iterator{}), 3);
}

TEST_F(OutputTest, NamesThatAreNotUtf8AreReadAndWrittenAsTheyStand) {
    REQUIRE_SOUND_SERVER();
    WriteBytes(base_ + "/in\xff.mid", Melody(1));
    // Through the shell: the names are bytes that no QString carries.
    int status = -1;
    const std::string said = testsupport::RunCommand(
        "cd '" + base_ + "' && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" +
            TONVERA_BINARY_DIR +
            "/tonvera' \"$(printf 'in\\377.mid')\" \"$(printf 'o\\376.wav')\""
            " 2>&1",
        &status);
    EXPECT_EQ(status, 0) << said;
    EXPECT_NE(said.find("in\xff.mid plays for"), std::string::npos) << said;
    const auto got = testsupport::ReadWav(base_ + "/o\xfe.wav");
    ASSERT_TRUE(got.has_value()) << said;
    EXPECT_GT(got->seconds(), 0.5);
    EXPECT_FALSE(fs::exists(base_ + "/o\xef\xbf\xbd.wav"));  // not the replacement character
    EXPECT_EQ(std::distance(fs::directory_iterator(base_), fs::directory_iterator{}), 2);
}

TEST_F(OutputTest, ASilentResultFailsAPartlyReadMidiFileWarnsAndTheLengthIsToldFirst) {
    REQUIRE_SOUND_SERVER();
    testsupport::SmfBuilder meta(0, 480);
    meta.Raw(1920, {0xFF, 0x01, 0x01, 'x'});  // two seconds of no notes
    ASSERT_TRUE(meta.WriteFile(midi_));
    const std::string wav = base_ + "/song.wav";
    const std::vector<uint8_t> old = Noise(3000);
    WriteBytes(wav, old);
    Outcome run = Tonvera({Q(midi_), Q(wav), "0"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.stdErr.contains("melody.mid plays for 0:02")) << run.stdErr.toStdString();
    EXPECT_TRUE(run.stdErr.contains("The recording is silent")) << run.stdErr.toStdString();
    EXPECT_TRUE(run.stdErr.contains("what was recorded is in " + Q(wav) + ".part"))
        << run.stdErr.toStdString();
    EXPECT_EQ(testsupport::ReadAll(wav), old) << "a silent result replaced the user's file";

    auto cut = Melody(4);
    cut.resize(cut.size() - 6);
    WriteBytes(midi_, cut);
    run = Tonvera({Q(midi_), Q(wav)});
    EXPECT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
    EXPECT_TRUE(run.stdErr.contains("read only in part")) << run.stdErr.toStdString();
    EXPECT_TRUE(testsupport::ReadWav(wav).has_value());
}

}  // namespace
