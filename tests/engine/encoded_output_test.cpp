// A recording whose output is named for a compressed format: encoded from its own WAV file at
// the stop and put in place in one step, or kept in that file with the output untouched.
#include <gtest/gtest.h>

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

class EncodedOutput : public CaptureOnFake {
  protected:
    engine::CaptureResult Record(const std::string& output, const std::vector<uint8_t>& pcm) {
        engine::RecordBtnClick(Fixed(output), nullptr);
        EXPECT_TRUE(fake_->WaitStarted());
        EXPECT_EQ(fake_->Feed(pcm), pcm.size());
        return engine::StopBtnClick();
    }
};

TEST_F(EncodedOutput, AFlacNameGetsTheRecordingSampleForSampleAndNothingIsLeftBeside) {
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

TEST_F(EncodedOutput, AFailedEncodingKeepsTheRecordingAndTheOldFileAndSaysSo) {
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

TEST_F(EncodedOutput, ADiskTooFullForTheEncodedFileLeavesNoHalfFile) {
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

}  // namespace
