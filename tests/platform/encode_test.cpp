// The compressed forms of a recording: which name asks for which, and what the encoder makes of
// a WAV file: FLAC sample for sample, the lossy ones valid, as long and carrying the same sound.
#include "platform/encode.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <filesystem>

#include "support/decoded.h"
#include "support/pcm.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using platform::OutputFormat;

TEST(OutputFormats, TheNameTellsTheFormatAndAnyOtherNameIsAWav) {
    const std::pair<const char*, OutputFormat> cases[] = {
        {"/m/song.flac", OutputFormat::kFlac},
        {"SONG.FLAC", OutputFormat::kFlac},
        {"a.b.ogg", OutputFormat::kVorbis},
        {"x.Opus", OutputFormat::kOpus},
        {"x.mp3", OutputFormat::kMp3},
        {"x.wav", OutputFormat::kWav},
        {"x.flac.wav", OutputFormat::kWav},
        {"x.aiff", OutputFormat::kWav},
        {"x", OutputFormat::kWav},
        {"/m/dir.mp3/song", OutputFormat::kWav},
        {"/m/.mp3", OutputFormat::kWav},
    };
    for (const auto& [name, format] : cases)
        EXPECT_EQ(platform::FormatOfName(name), format) << name;
    EXPECT_EQ(platform::FormatNamed("OGG"), OutputFormat::kVorbis);
    EXPECT_EQ(platform::FormatNamed("wav"), OutputFormat::kWav);
    EXPECT_EQ(platform::FormatNamed("vorbis"), std::nullopt);
    EXPECT_EQ(platform::FormatExtension(OutputFormat::kOpus), std::string(".opus"));
    // The space to ask for: a WAV's data exactly, the others less, FLAC most of them.
    EXPECT_EQ(platform::EncodedBytesEstimate(OutputFormat::kWav, 1000), 176400u);
    EXPECT_LT(platform::EncodedBytesEstimate(OutputFormat::kFlac, 60000), 60 * 176400u);
    EXPECT_GT(platform::EncodedBytesEstimate(OutputFormat::kMp3, 60000), 60 * 190000u / 8);
}

// Tones of changing pitch and loudness with rests between: an envelope worth comparing.
std::vector<uint8_t> Phrase() {
    std::vector<uint8_t> pcm;
    for (int k = 0; k < 10; ++k) {
        const auto note = testsupport::StereoTone(220.0 * (1 + k % 4), 0.2, 0.1 + 0.08 * k);
        pcm.insert(pcm.end(), note.begin(), note.end());
        pcm.resize(pcm.size() + 4410 * 4, 0);
    }
    return pcm;
}

class Encoding : public testsupport::TempFolderTest {
  protected:
    void SetUp() override {
        wav_ = Path("take.wav");
        ASSERT_TRUE(testsupport::WriteWavFile(wav_, Phrase()));
        source_ = *testsupport::DecodeSound(wav_);
    }
    testsupport::DecodedSound Encode(OutputFormat format) {
        const std::string out = Path(std::string("take") + platform::FormatExtension(format));
        std::string error;
        EXPECT_TRUE(platform::EncodeRecording(wav_, out, format, &error)) << error;
        std::string why;
        auto decoded = testsupport::DecodeSound(out, &why);
        EXPECT_TRUE(decoded) << out << ": " << why;
        return decoded.value_or(testsupport::DecodedSound{});
    }
    std::string wav_;
    testsupport::DecodedSound source_;
};

TEST_F(Encoding, ThisSystemWritesEveryFormat) {
    for (auto format :
         {OutputFormat::kFlac, OutputFormat::kVorbis, OutputFormat::kOpus, OutputFormat::kMp3}) {
        std::string why;
        EXPECT_TRUE(platform::CanEncode(format, &why)) << why;
    }
}

TEST_F(Encoding, FlacHoldsEverySampleOfTheWav) {
    const auto flac = Encode(OutputFormat::kFlac);
    EXPECT_EQ(flac.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    EXPECT_EQ(flac.rate, 44100);
    EXPECT_EQ(flac.samples, source_.samples);
}

TEST_F(Encoding, TheLossyFormatsAreAsLongAsTheWavAndCarryItsSound) {
    const std::tuple<OutputFormat, int, int, size_t> cases[] = {
        {OutputFormat::kVorbis, SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 2048},
        {OutputFormat::kOpus, SF_FORMAT_OGG | SF_FORMAT_OPUS, 48000, 960},
        {OutputFormat::kMp3, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100, 1152},
    };
    for (const auto& [format, kind, rate, codecFrame] : cases) {
        const auto sound = Encode(format);
        const char* title = platform::FormatTitle(format);
        EXPECT_EQ(sound.format, kind) << title;
        EXPECT_EQ(sound.rate, rate) << title;
        EXPECT_EQ(sound.channels, 2) << title;
        const double want = double(source_.frames()) * rate / 44100;
        EXPECT_NEAR(double(sound.frames()), want, double(codecFrame)) << title;
        EXPECT_GE(testsupport::Correlation(testsupport::RmsEnvelope(sound),
                                           testsupport::RmsEnvelope(source_)),
                  0.9)
            << title;
    }
}

TEST_F(Encoding, AFailureLeavesNothingAtTheOutputAndSaysWhy) {
    std::string error;
    EXPECT_FALSE(
        platform::EncodeRecording(Path("none.wav"), Path("x.flac"), OutputFormat::kFlac, &error));
    EXPECT_NE(error.find(Path("none.wav")), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(Path("x.flac")));
    EXPECT_FALSE(platform::EncodeRecording(wav_, Path("no/such/folder/x.ogg"),
                                           OutputFormat::kVorbis, &error));
    EXPECT_NE(error.find("no/such/folder/x.ogg"), std::string::npos) << error;
}

}  // namespace
