// The program itself recording an external synthesizer: FluidSynth as a JACK client on the
// private JACK server (or PipeWire's JACK), which test.sh starts; skipped without one.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/pcm.h"
#include "support/program_run.h"
#include "support/smf_builder.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

bool OnPipeWire() {
    const char* server = std::getenv("TONVERA_TEST_SERVER");
    return server && std::string(server) == "pipewire";
}

class ExternalSynth : public testsupport::TempFolderTest {
  protected:
    void SetUp() override {
        if (!std::getenv("SYNTH_PID")) GTEST_SKIP() << "no JACK synth (scripts/private-jack.sh)";
        midi_ = Path("melody.mid");
        Write(midi_, testsupport::MelodySmf({60, 64, 67, 72, 76, 79}, 0.5));  // 3 s
    }
    static void Write(const std::string& path, const std::vector<uint8_t>& bytes) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    std::string midi_;
};

TEST_F(ExternalSynth, TheListNamesTheSynthsPortsAndARunRecordsItFromTimeZeroWithItsTail) {
    const auto list = testsupport::RunProgram({"--list-synths"});
    EXPECT_EQ(list.exitCode, 0) << list.stdErr.toStdString();
    EXPECT_TRUE(list.stdOut.contains("midi-input synth:midi_00\n")) << list.stdOut.toStdString();
    EXPECT_TRUE(list.stdOut.contains("audio-output synth:left\n")) << list.stdOut.toStdString();

    const std::string wav = Path("song.wav");
    const auto run = testsupport::RunProgram({"--synth", "synth", Q(midi_), Q(wav)});
    ASSERT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
    const auto got = testsupport::ReadWav(wav);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->sampleRate, 44100u);
    EXPECT_EQ(got->channels, 2u);
    // The music is 3 s; the tail dies away after it, and the quiet end is cut.
    EXPECT_GT(got->seconds(), 3.0);
    EXPECT_LT(got->seconds(), 3.0 + 10.5);
    const std::vector<int16_t> left = got->left();
    // The first note starts at time 0: sound within the first 2 ms, none missing from its start.
    EXPECT_GT(testsupport::Peak({left.begin(), left.begin() + 2 * 441}), 8) << "the start is late";
    EXPECT_GT(testsupport::Rms(left, 0, 4410), 100.0);
    EXPECT_FALSE(fs::exists(wav + ".part"));
}

TEST_F(ExternalSynth, AStalledSynthIsAHoleToldWithItsPlaceAndTheOldFileStays) {
    if (OnPipeWire()) GTEST_SKIP() << "PipeWire does not report a stalled client";
    const std::string wav = Path("song.wav");
    const std::vector<uint8_t> old(4096, 0x5a);
    Write(wav, old);
    testsupport::Program program({"--synth", "synth", Q(midi_), Q(wav)});
    ASSERT_TRUE(program.started());
    const pid_t synth = pid_t(std::atoi(std::getenv("SYNTH_PID")));
    std::this_thread::sleep_for(std::chrono::milliseconds(1800));
    ::kill(synth, SIGSTOP);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ::kill(synth, SIGCONT);
    const auto run = program.Wait();
    EXPECT_EQ(run.exitCode, 1) << run.stdErr.toStdString();
    EXPECT_TRUE(run.stdErr.contains("missing")) << run.stdErr.toStdString();
    EXPECT_TRUE(run.stdErr.contains(Q(wav) + " was not changed")) << run.stdErr.toStdString();
    EXPECT_EQ(testsupport::ReadAll(wav), old);
}

TEST_F(ExternalSynth, APortNobodyHasIsRefusedBeforeAnythingPlays) {
    const std::string wav = Path("song.wav");
    const auto run = testsupport::RunProgram({"--synth", "nobody:here", Q(midi_), Q(wav)});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_LT(run.ms, 3000);
    EXPECT_TRUE(run.stdErr.contains("nobody:here")) << run.stdErr.toStdString();
    EXPECT_FALSE(run.stdErr.contains("sound server")) << "the reason is JACK's, not the server's";
    EXPECT_FALSE(fs::exists(wav));
    EXPECT_FALSE(fs::exists(wav + ".part"));
}

}  // namespace
