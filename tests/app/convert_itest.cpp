// The program end to end on the private sound server: the real binary, without a display, as a
// script would run it.
#include <gtest/gtest.h>

#include <QThread>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>

#include "support/pcm.h"
#include "support/program_run.h"
#include "support/pulse_env.h"
#include "support/smf_builder.h"
#include "support/temp_folder.h"
#include "support/tmpfs.h"

namespace {

using Outcome = testsupport::ProgramOutcome;

Outcome Tonvera(const QStringList& args) {
    return testsupport::RunProgram(args);
}

class ConvertTest : public testsupport::TempFolderTest {
  protected:
    void SetUp() override {
        midi_ = Path("melody.mid");
        wav_ = Path("melody out.wav");
    }
    void WriteMidi(const std::vector<uint8_t>& bytes) {
        std::ofstream(midi_, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    std::string midi_, wav_;
};

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}
uint16_t Le16(const std::vector<uint8_t>& b, size_t at) {
    return uint16_t(b[at] | b[at + 1] << 8);
}

TEST_F(ConvertTest, AMelodyBecomesAWavWithEveryNoteAtItsPitchAndNoGaps) {
    REQUIRE_SOUND_SERVER();
    const std::vector<uint8_t> keys = {60, 64, 67, 72, 69, 65};
    const double noteSeconds = 0.5;
    WriteMidi(testsupport::MelodySmf(keys, noteSeconds));

    const Outcome run =
        Tonvera({QString::fromStdString(midi_), QString::fromStdString(wav_), "100"});
    ASSERT_EQ(run.exitCode, 0) << run.stdErr.toStdString();

    const auto bytes = testsupport::ReadAll(wav_);
    ASSERT_GE(bytes.size(), 44u);
    const uint32_t n = uint32_t(bytes.size() - 44);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(Le32(bytes, 4), 36 + n);
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(Le32(bytes, 16), 16u);
    EXPECT_EQ(Le16(bytes, 20), 1);  // PCM
    EXPECT_EQ(Le16(bytes, 22), 2);
    EXPECT_EQ(Le32(bytes, 24), 44100u);
    EXPECT_EQ(Le32(bytes, 28), 176400u);
    EXPECT_EQ(Le16(bytes, 32), 4);
    EXPECT_EQ(Le16(bytes, 34), 16);
    EXPECT_EQ(std::string(bytes.begin() + 36, bytes.begin() + 40), "data");
    EXPECT_EQ(Le32(bytes, 40), n);
    EXPECT_EQ(n % 4, 0u);

    const auto wav = testsupport::ReadWav(wav_);
    ASSERT_TRUE(wav.has_value());
    const auto left = wav->left();
    const size_t first = testsupport::FirstLoud(left, 300);
    ASSERT_NE(first, SIZE_MAX) << "nothing audible was recorded";
    const double music = keys.size() * noteSeconds;
    EXPECT_GE(double(left.size() - first) / 44100, music) << "the end of the music is missing";

    for (size_t i = 0; i < keys.size(); ++i) {
        const size_t at = first + size_t((i * noteSeconds + 0.15) * 44100);
        const double pitch = testsupport::EstimatePitch(left, at, 4410);
        const double want = testsupport::KeyFrequency(keys[i]);
        EXPECT_NEAR(pitch, want, want * 0.03) << "note " << i << " (key " << int(keys[i]) << ")";
    }
    EXPECT_TRUE(testsupport::InnerSilences(left, 2205, 0, 300).empty())
        << "the recording has a gap";
}

TEST_F(ConvertTest, ASignalStopsTheConversionAndKeepsWhatWasCaptured) {
    REQUIRE_SOUND_SERVER();
    std::vector<uint8_t> keys(20, 0);
    for (size_t i = 0; i < keys.size(); ++i) keys[i] = uint8_t(60 + i % 12);
    WriteMidi(testsupport::MelodySmf(keys, 0.5));  // 10 s of music

    testsupport::Program p({QString::fromStdString(midi_), QString::fromStdString(wav_)});
    ASSERT_TRUE(p.started());
    QThread::msleep(1500);
    p.Signal(SIGINT);
    const Outcome run = p.Wait(30000);
    // 128 + SIGINT, as a shell tells a run that was stopped from one that finished.
    EXPECT_EQ(run.exitCode, 130);
    const QString said = run.stdErr;
    EXPECT_TRUE(said.contains("Stopped by SIGINT at 0:0")) << said.toStdString();
    EXPECT_FALSE(std::filesystem::exists(wav_ + ".part"));

    const auto wav = testsupport::ReadWav(wav_);
    ASSERT_TRUE(wav.has_value());
    EXPECT_GT(wav->seconds(), 0.2);
    EXPECT_LT(wav->seconds(), 5.0);
    EXPECT_EQ(wav->data.size() % 4, 0u);
}

TEST_F(ConvertTest, RefusedInputsExitWithAFailureAndWriteNothing) {
    REQUIRE_SOUND_SERVER();
    // A MIDI file that is not there: the player's error, no file.
    const std::string missing = Path("missing.mid");
    Outcome run = Tonvera({QString::fromStdString(missing), QString::fromStdString(wav_)});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.stdErr.contains("tonvera: ")) << run.stdErr.toStdString();
    EXPECT_FALSE(std::filesystem::exists(wav_));

    // The WAV path naming the MIDI file itself, through a link: refused, the MIDI untouched.
    const auto smf = testsupport::MelodySmf({60}, 0.5);
    WriteMidi(smf);
    const std::string link = Path("same.wav");
    std::filesystem::create_symlink(midi_, link);
    run = Tonvera({QString::fromStdString(midi_), QString::fromStdString(link)});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.stdErr.contains("must not be the MIDI file")) << run.stdErr.toStdString();
    EXPECT_EQ(testsupport::ReadAll(midi_), smf);

    // Without a display there is no window to open: fewer than two arguments is a usage error.
    run = Tonvera({QString::fromStdString(midi_)});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.stdErr.contains("usage")) << run.stdErr.toStdString();
}

}  // namespace
