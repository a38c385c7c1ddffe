#include "engine/preview.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

std::vector<uint8_t> Frames(size_t count, int16_t left, int16_t right = 0) {
    std::vector<uint8_t> b(count * 4);
    for (size_t i = 0; i < count; ++i) {
        std::memcpy(&b[i * 4], &left, 2);
        std::memcpy(&b[i * 4 + 2], &right, 2);
    }
    return b;
}

TEST(PreviewSegments, RowsOfFullScaleSilenceAndTruncation) {
    EXPECT_EQ(engine::PreviewRow(0, 58), 58);
    EXPECT_EQ(engine::PreviewRow(32767, 58), 116);
    EXPECT_EQ(engine::PreviewRow(-32767, 58), 0);
    EXPECT_EQ(engine::PreviewRow(-32768, 58), 0);  // -58.0017 truncates to -58
    // 1000 * 58 / 32767 = 1.77: truncated towards zero on both sides of the middle.
    EXPECT_EQ(engine::PreviewRow(1000, 58), 59);
    EXPECT_EQ(engine::PreviewRow(-1000, 58), 57);
}

TEST(PreviewSegments, OneSegmentPerColumnFromThePreviousPoint) {
    // A full one-second buffer on the window's surface: 100 frames per column.
    auto bytes = Frames(44100, 0);
    const int16_t loud = 32767, low = -32768;
    std::memcpy(&bytes[1 * 100 * 4], &loud, 2);     // column 1
    std::memcpy(&bytes[2 * 100 * 4], &low, 2);      // column 2
    std::memcpy(&bytes[1 * 100 * 4 + 4], &low, 2);  // not a sampled frame: ignored
    const auto s = engine::PreviewSegments(bytes.data(), int64_t(bytes.size()), 437, 117);
    ASSERT_EQ(s.size(), 437u);
    EXPECT_EQ(s[0], (engine::PreviewSegment{-1, 58, 0, 58}));
    EXPECT_EQ(s[1], (engine::PreviewSegment{0, 58, 1, 116}));
    EXPECT_EQ(s[2], (engine::PreviewSegment{1, 116, 2, 0}));
    EXPECT_EQ(s[3], (engine::PreviewSegment{2, 0, 3, 58}));
    EXPECT_EQ(s[436], (engine::PreviewSegment{435, 58, 436, 58}));
}

TEST(PreviewSegments, OnlyTheLeftChannelIsShown) {
    const auto bytes = Frames(4000, 0, 32767);
    for (const auto& seg : engine::PreviewSegments(bytes.data(), int64_t(bytes.size()), 100, 60))
        EXPECT_EQ(seg.y2, 30);
}

TEST(PreviewSegments, NothingWhenTheSurfaceIsNotNarrowerThanTheBuffer) {
    const auto bytes = Frames(200, 1000);
    EXPECT_TRUE(engine::PreviewSegments(bytes.data(), 437, 437, 117).empty());
    EXPECT_TRUE(engine::PreviewSegments(bytes.data(), 100, 437, 117).empty());
    EXPECT_TRUE(engine::PreviewSegments(bytes.data(), 800, 0, 117).empty());
    EXPECT_TRUE(engine::PreviewSegments(bytes.data(), 800, -3, 117).empty());
}

TEST(PreviewSegments, FewerFramesThanColumnsReadTheFirstFrameEverywhere) {
    // 438 bytes on 437 columns: step 0, every column shows frame 0, and nothing reads past n.
    auto bytes = Frames(110, 0);
    bytes.resize(438);
    const int16_t v = 16384;
    std::memcpy(&bytes[0], &v, 2);
    const auto s = engine::PreviewSegments(bytes.data(), 438, 437, 117);
    ASSERT_EQ(s.size(), 437u);
    for (size_t x = 1; x < s.size(); ++x) EXPECT_EQ(s[x].y2, 58 + 29);
}

}  // namespace
