// A recorded conversion on the private sound server with the choices beyond the defaults: another
// SoundFont, a compressed output, one gain for the whole file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "bench/render_compare.h"
#include "support/decoded.h"
#include "support/pcm.h"
#include "support/program_run.h"
#include "support/pulse_env.h"
#include "support/sf2_builder.h"
#include "support/smf_builder.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

class SoundChoice : public testsupport::TempFolderTest {
  protected:
    void SetUp() override {
        midi_ = Path("melody.mid");
        const auto bytes = testsupport::MelodySmf({60, 64, 67, 72}, 0.4);
        std::ofstream(midi_, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        sine_ = Path("sine.sf2");
        ASSERT_TRUE(testsupport::WriteSineSoundFont(sine_));
    }
    std::string midi_, sine_;
};

TEST_F(SoundChoice, TheSoundFontChosenIsTheOneRecorded) {
    REQUIRE_SOUND_SERVER();
    const std::string wav = Path("sine.wav");
    const auto run = testsupport::RunProgram({"--soundfont", Q(sine_), Q(midi_), Q(wav), "60"});
    ASSERT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
    const bench::Residual sine =
        bench::CompareWithRender(midi_, wav, bench::ConversionGains(60), 4410, false, sine_);
    ASSERT_TRUE(sine.error.empty()) << sine.error;
    EXPECT_LE(sine.maxDifference, 1);
    EXPECT_EQ(sine.wavFrames, sine.renderFrames);
    // The default SoundFont's render is another sound altogether.
    const bench::Residual piano = bench::CompareWithRender(midi_, wav, bench::ConversionGains(60));
    ASSERT_TRUE(piano.error.empty()) << piano.error;
    EXPECT_GT(piano.maxDifference, 1000);
}

TEST_F(SoundChoice, ABrokenSoundFontIsRefusedBeforeAnythingPlays) {
    REQUIRE_SOUND_SERVER();
    std::vector<uint8_t> noise(8192);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = uint8_t(i * 2654435761u >> 13);
    const std::string broken = Path("broken.sf2");
    std::ofstream(broken, std::ios::binary)
        .write(reinterpret_cast<const char*>(noise.data()), std::streamsize(noise.size()));
    const std::string wav = Path("old.wav");
    std::ofstream(wav) << "the user's file";
    const std::string clients = testsupport::ClientsLeft();
    const auto run = testsupport::RunProgram({"--soundfont", Q(broken), Q(midi_), Q(wav)});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.stdErr.contains("cannot load the SoundFont " + Q(broken) + ": not an SF2 file"))
        << run.stdErr.toStdString();
    EXPECT_FALSE(run.stdErr.contains("plays for")) << "refused before the piece was announced";
    EXPECT_EQ(testsupport::ReadAll(wav),
              std::vector<uint8_t>(std::begin("the user's file"), std::end("the user's file") - 1));
    EXPECT_FALSE(fs::exists(wav + ".part"));
    EXPECT_EQ(testsupport::ClientsLeft(), clients);
}

TEST_F(SoundChoice, ARecordedFlacIsTheRecordingToTheSampleAndNormalizedWhenAsked) {
    REQUIRE_SOUND_SERVER();
    const std::string flac = Path("melody.flac");
    auto run = testsupport::RunProgram({Q(midi_), Q(flac), "60"});
    ASSERT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
    const bench::Residual r = bench::CompareWithRender(midi_, flac, bench::ConversionGains(60));
    ASSERT_TRUE(r.error.empty()) << r.error;
    EXPECT_LE(r.maxDifference, 1);
    EXPECT_FALSE(fs::exists(flac + ".part"));
    EXPECT_FALSE(fs::exists(flac + ".encoding"));

    const std::string loud = Path("loud.opus");
    run = testsupport::RunProgram({"--normalize", Q(midi_), Q(loud), "60"});
    ASSERT_EQ(run.exitCode, 0) << run.stdErr.toStdString();
    EXPECT_TRUE(run.stdErr.contains("normalized: +")) << run.stdErr.toStdString();
    const auto opus = testsupport::DecodeSound(loud);
    ASSERT_TRUE(opus);
    EXPECT_EQ(opus->rate, 48000);
    int peak = 0;
    for (int16_t s : opus->samples) peak = std::max(peak, std::abs(int(s)));
    // A lossy codec moves the peak a little around the -1 dBFS it was given.
    EXPECT_NEAR(20 * std::log10(peak / 32768.0), -1.0, 0.5);
    EXPECT_GE(testsupport::Correlation(testsupport::RmsEnvelope(*opus),
                                       testsupport::RmsEnvelope(*testsupport::DecodeSound(flac))),
              0.9);
}

}  // namespace
