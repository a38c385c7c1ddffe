// One gain for a whole WAV file: its loudest sample at the level asked, every sample rounded.
#include "platform/normalize.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "support/decoded.h"
#include "support/pcm.h"
#include "support/temp_folder.h"

namespace {

std::vector<uint8_t> Pcm(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> out;
    for (int16_t s : samples) {
        out.push_back(uint8_t(s));
        out.push_back(uint8_t(uint16_t(s) >> 8));
    }
    return out;
}

class Normalize : public testsupport::TempFolderTest {};

TEST_F(Normalize, TheLoudestSampleComesToTheLevelUpOrDownAndTheRestInProportion) {
    for (int16_t loudest : {int16_t(-3000), int16_t(32000)}) {
        const std::string path = Path("take.wav");
        const std::vector<int16_t> samples = {0, 1, -1, 1000, loudest, -7, int16_t(loudest / 3), 3};
        ASSERT_TRUE(testsupport::WriteWavFile(path, Pcm(samples)));
        const auto header = testsupport::ReadWav(path)->header;
        double gainDb = 0;
        std::string error;
        ASSERT_TRUE(platform::NormalizeWave(path, -1.0, &gainDb, &error)) << error;
        const double gain = 32768 * std::pow(10, -1 / 20.0) / std::abs(loudest);
        EXPECT_NEAR(gainDb, 20 * std::log10(gain), 1e-9);
        const auto after = testsupport::ReadWav(path);
        ASSERT_TRUE(after);
        EXPECT_EQ(after->header, header) << "the file stays the program's own";
        std::vector<int16_t> got(after->data.size() / 2);
        std::memcpy(got.data(), after->data.data(), after->data.size());
        ASSERT_EQ(got.size(), samples.size());
        for (size_t i = 0; i < samples.size(); ++i)
            EXPECT_EQ(got[i], std::lround(samples[i] * gain)) << "sample " << i;
        EXPECT_NEAR(20 * std::log10(std::abs(got[4]) / 32768.0), -1.0, 0.001);
    }
}

TEST_F(Normalize, SilenceStaysAndWhatIsNoWavFileIsRefused) {
    const std::string silent = Path("silent.wav");
    ASSERT_TRUE(testsupport::WriteWavFile(silent, std::vector<uint8_t>(400, 0)));
    const auto before = testsupport::ReadAll(silent);
    double gainDb = 7;
    std::string error;
    ASSERT_TRUE(platform::NormalizeWave(silent, -1.0, &gainDb, &error)) << error;
    EXPECT_EQ(gainDb, 0);
    EXPECT_EQ(testsupport::ReadAll(silent), before);

    std::ofstream(Path("text.wav")) << "not a sound at all, only words";
    EXPECT_FALSE(platform::NormalizeWave(Path("text.wav"), -1.0, &gainDb, &error));
    EXPECT_NE(error.find("not a WAV file"), std::string::npos) << error;
    EXPECT_FALSE(platform::NormalizeWave(Path("none.wav"), -1.0, &gainDb, &error));
    EXPECT_NE(error.find(Path("none.wav")), std::string::npos) << error;
}

}  // namespace
