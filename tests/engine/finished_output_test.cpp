// What becomes of a finished recording on its way to the output: encoded from its own WAV file
// at the stop when the output's name asks for a compressed format, normalized when asked, put
// in place in one step, or kept in that file with the output untouched.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>

#include "capture_fixture.h"
#include "support/decoded.h"
#include "support/tmpfs.h"

namespace {

namespace fs = std::filesystem;
using enginetest::CaptureOnFake;
using enginetest::kSecond;

// Sound no encoder makes much smaller.
std::vector<uint8_t> Noise(size_t bytes) {
    std::mt19937 random(7);
    std::vector<uint8_t> v(bytes);
    for (auto& b : v) b = uint8_t(random());
    return v;
}

std::vector<int16_t> Samples(const std::vector<uint8_t>& pcm) {
    std::vector<int16_t> s(pcm.size() / 2);
    std::memcpy(s.data(), pcm.data(), s.size() * 2);
    return s;
}

class FinishedOutput : public CaptureOnFake {
  protected:
    engine::CaptureResult Record(const std::string& output, const std::vector<uint8_t>& pcm,
                                 const engine::PlacementRule& place = {},
                                 const engine::Finishing& finishing = {}) {
        engine::RecordBtnClick(Fixed(output), nullptr);
        EXPECT_TRUE(fake_->WaitStarted());
        EXPECT_EQ(fake_->Feed(pcm), pcm.size());
        return engine::StopBtnClick({}, place, finishing);
    }
};

TEST_F(FinishedOutput, AFlacNameGetsTheRecordingSampleForSampleAndNothingIsLeftBeside) {
    const std::string flac = Path("song.flac");
    { std::ofstream(flac) << "the user's old file"; }
    const auto pcm = Noise(kSecond + 4000);
    const auto r = Record(flac, pcm);
    EXPECT_TRUE(r.fileWritten) << r.notPlaced;
    EXPECT_EQ(r.path, flac);
    const auto decoded = testsupport::DecodeSound(flac);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->samples, Samples(pcm));
    EXPECT_FALSE(fs::exists(flac + ".part"));
    EXPECT_FALSE(fs::exists(Path("song.flac.encoding")));
}

TEST_F(FinishedOutput, AFailedEncodingKeepsTheRecordingAndTheOldFileAndSaysSo) {
    const std::string ogg = Path("song.ogg");
    { std::ofstream(ogg) << "the user's old file"; }
    // The encoder's file cannot be made where it goes.
    fs::create_directory(Path("song.ogg.encoding"));
    const auto pcm = Noise(kSecond);
    const auto r = Record(ogg, pcm);
    EXPECT_FALSE(r.fileWritten);
    EXPECT_EQ(r.keptAt, ogg + ".part");
    EXPECT_NE(r.notPlaced.find("encoding it as Ogg Vorbis failed"), std::string::npos)
        << r.notPlaced;
    EXPECT_NE(r.notPlaced.find(ogg + " was not changed"), std::string::npos) << r.notPlaced;
    EXPECT_EQ(testsupport::ReadAll(ogg), std::vector<uint8_t>(std::begin("the user's old file"),
                                                              std::end("the user's old file") - 1));
    EXPECT_EQ(DataOf(ogg + ".part"), pcm);
}

TEST_F(FinishedOutput, ADiskTooFullForTheEncodedFileLeavesNoHalfFile) {
    testsupport::Tmpfs disk(1200 * 1024);
    REQUIRE_TMPFS(disk);
    const std::string flac = disk.path() + "/song.flac";
    // The recording fits; its FLAC, which cannot shrink noise, does not fit beside it.
    const auto pcm = Noise(4 * kSecond);
    const auto r = Record(flac, pcm);
    EXPECT_FALSE(r.fileWritten);
    EXPECT_NE(r.notPlaced.find("encoding it as FLAC failed"), std::string::npos) << r.notPlaced;
    EXPECT_FALSE(fs::exists(flac));
    EXPECT_FALSE(fs::exists(disk.path() + "/song.flac.encoding"));
    EXPECT_EQ(DataOf(flac + ".part"), pcm);
}

int PeakOf(const std::vector<int16_t>& samples) {
    int peak = 0;
    for (int16_t s : samples) peak = std::max(peak, std::abs(int(s)));
    return peak;
}

TEST_F(FinishedOutput, NormalizingGivesOnlyAFileThatTakesTheOutputsPlaceItsGain) {
    const auto pcm = testsupport::StereoTone(440, 0.5, 0.25);
    const int before = PeakOf(Samples(pcm));
    // Applied before the encoding: the FLAC file holds the normalized samples.
    const auto r = Record(Path("song.flac"), pcm, {}, engine::Finishing{true});
    ASSERT_TRUE(r.fileWritten) << r.notPlaced;
    ASSERT_TRUE(r.gainDb);
    const auto flac = testsupport::DecodeSound(Path("song.flac"));
    ASSERT_TRUE(flac);
    const int after = PeakOf(flac->samples);
    EXPECT_NEAR(20 * std::log10(after / 32768.0), engine::kNormalizedPeakDbfs, 0.01);
    EXPECT_NEAR(*r.gainDb, 20 * std::log10(double(after) / before), 0.01);
    EXPECT_GT(*r.gainDb, 10) << "a quiet recording is made louder";

    // A recording that may not take the output's place is kept as it was made.
    const auto kept = Record(
        Path("kept.wav"), pcm, [](const engine::CaptureResult&) { return false; },
        engine::Finishing{true});
    EXPECT_FALSE(kept.gainDb);
    EXPECT_EQ(DataOf(Path("kept.wav.part")), pcm);
}

}  // namespace
