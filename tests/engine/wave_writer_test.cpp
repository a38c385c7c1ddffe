#include "engine/wave_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/pcm.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

class WaveWriter : public testsupport::TempFolderTest {
  protected:
    std::string Written(const std::string& data, bool stereo = true, bool sixteen = true,
                        uint32_t rate = 44100) {
        const std::string path = Path("out.wav");
        EXPECT_TRUE(engine::WriteWaveFile(path, data.data(), data.size(), stereo, sixteen, rate));
        const auto bytes = testsupport::ReadAll(path);
        return std::string(bytes.begin(), bytes.end());
    }
};

// The header of the program's own format, with the RIFF and data sizes given.
std::string Header(uint32_t riffSize, uint32_t dataSize) {
    auto u32 = [](uint32_t v) {
        return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    };
    return "RIFF" + u32(riffSize) + "WAVE" + "fmt " + u32(16) +
           std::string("\x01\x00\x02\x00\x44\xac\x00\x00\x10\xb1\x02\x00\x04\x00\x10\x00", 16) +
           "data" + u32(dataSize);
}

TEST_F(WaveWriter, GoldenFilesForEvenOddAndEmptyData) {
    EXPECT_EQ(Written(std::string("\x01\x02\xfe\xff", 4)),
              Header(40, 4) + std::string("\x01\x02\xfe\xff", 4));
    // An odd chunk gets a zero pad byte that the RIFF size counts and the data size does not.
    EXPECT_EQ(Written("abc"), Header(40, 3) + std::string("abc\0", 4));
    EXPECT_EQ(Written(""), Header(36, 0));
}

TEST_F(WaveWriter, MonoAndEightBitChangeOnlyTheirFourFields) {
    const std::string data(16, '\x7f');
    const std::string base = Written(data);
    struct Case {
        bool stereo, sixteen;
        uint16_t channels;
        uint32_t byteRate;
        uint16_t align, bits;
    };
    for (const Case& c : {Case{false, true, 1, 88200, 2, 16}, Case{true, false, 2, 88200, 2, 8},
                          Case{false, false, 1, 44100, 1, 8}}) {
        SCOPED_TRACE(testing::Message() << "stereo " << c.stereo << " sixteen " << c.sixteen);
        std::string expected = base;
        expected[22] = char(c.channels);
        expected[28] = char(c.byteRate);
        expected[29] = char(c.byteRate >> 8);
        expected[30] = char(c.byteRate >> 16);
        expected[32] = char(c.align);
        expected[34] = char(c.bits);
        EXPECT_EQ(Written(data, c.stereo, c.sixteen), expected);
    }
    // The rate goes into the header unchanged.
    const std::string odd = Written(data, true, true, 8000);
    EXPECT_EQ(odd.substr(24, 8), std::string("\x40\x1f\0\0\x00\x7d\0\0", 8));
}

TEST_F(WaveWriter, ReplacesAnExistingLongerFile) {
    const std::string path = Path("out.wav");
    const std::string big(1000, 'z');
    ASSERT_TRUE(engine::WriteWaveFile(path, big.data(), big.size(), true, true, 44100));
    EXPECT_EQ(Written("abcd"), Header(40, 4) + "abcd");
}

TEST_F(WaveWriter, WhatCannotBeWrittenCreatesNothing) {
    const std::string data = "abcd";
    const std::string missing = Path("no-such-folder/out.wav");
    EXPECT_FALSE(engine::WriteWaveFile(missing, data.data(), data.size(), true, true, 44100));
    EXPECT_FALSE(fs::exists(Path("no-such-folder")));

    // A folder named as the file.
    fs::create_directory(Path("folder.wav"));
    EXPECT_FALSE(
        engine::WriteWaveFile(Path("folder.wav"), data.data(), data.size(), true, true, 44100));

    // Lengths whose RIFF size does not fit 32 bits; the data is never touched.
    const std::string huge = Path("huge.wav");
    for (uint64_t n : {engine::kLargestWaveData + 1, engine::kLargestWaveData, uint64_t(1) << 32,
                       ~uint64_t(0)}) {
        EXPECT_FALSE(engine::WriteWaveFile(huge, data.data(), n, true, true, 44100)) << n;
    }
    EXPECT_FALSE(fs::exists(huge));

    // The data of a full disk never arrives: that is a failure, not a success.
    EXPECT_FALSE(engine::WriteWaveFile("/dev/full", data.data(), data.size(), true, true, 44100));
}

}  // namespace
