// The preview's pixels: the maroon field, the lime line where the arithmetic puts it, and the
// empty field again on any repaint without new data.
#include "app/preview_box.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <cstring>
#include <thread>

namespace {

std::vector<uint8_t> Constant(size_t frames, int16_t left) {
    std::vector<uint8_t> b(frames * 4, 0);
    for (size_t i = 0; i < frames; ++i) std::memcpy(&b[i * 4], &left, 2);
    return b;
}

class PreviewBoxTest : public ::testing::Test {
  protected:
    void SetUp() override { box_.resize(437, 117); }
    QImage Shot() { return box_.grab().toImage(); }
    // Rows of column x that hold the line colour.
    std::vector<int> LitRows(const QImage& img, int x) {
        std::vector<int> rows;
        for (int y = 0; y < img.height(); ++y)
            if (img.pixelColor(x, y) == app::TPreviewBox::Line()) rows.push_back(y);
        return rows;
    }
    bool AllBackground(const QImage& img) {
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.pixelColor(x, y) != app::TPreviewBox::Background()) return false;
        return true;
    }
    app::TPreviewBox box_;
};

TEST_F(PreviewBoxTest, EmptyFieldIsMaroonEverywhere) {
    EXPECT_TRUE(AllBackground(Shot()));
}

TEST_F(PreviewBoxTest, SilenceFullScaleAndMinimumLandOnTheirRows) {
    box_.ShowNewest(Constant(44100, 0));
    EXPECT_EQ(LitRows(Shot(), 200), std::vector<int>{58});
    box_.ShowNewest(Constant(44100, 32767));
    EXPECT_EQ(LitRows(Shot(), 200), std::vector<int>{116});
    box_.ShowNewest(Constant(44100, -32768));
    EXPECT_EQ(LitRows(Shot(), 200), std::vector<int>{0});
}

TEST_F(PreviewBoxTest, AJumpIsJoinedByALineFromThePreviousColumn) {
    auto bytes = Constant(44100, 0);
    const int16_t top = -32768;
    for (int frame = 100 * 100; frame < 44100; ++frame) std::memcpy(&bytes[frame * 4], &top, 2);
    box_.ShowNewest(bytes);
    const QImage img = Shot();
    EXPECT_EQ(LitRows(img, 50), std::vector<int>{58});
    EXPECT_EQ(LitRows(img, 300), std::vector<int>{0});
    // The step from column 99 to 100 is a near-vertical line covering the rows in between.
    size_t lit = LitRows(img, 99).size() + LitRows(img, 100).size();
    EXPECT_GE(lit, 58u);
}

TEST_F(PreviewBoxTest, AShortBufferAndARepaintShowTheEmptyField) {
    box_.ShowNewest(Constant(100, 20000));  // 400 bytes <= 437 columns
    EXPECT_TRUE(AllBackground(Shot()));
    box_.ShowNewest(Constant(44100, 0));
    EXPECT_FALSE(AllBackground(Shot()));
    EXPECT_TRUE(AllBackground(Shot()));  // drawn once; the next paint is PaintBox1Paint's
}

TEST_F(PreviewBoxTest, BuffersPostedFromAnotherThreadAreDrawnOnTheUiThreadUnlessCleared) {
    std::thread([this] { box_.PostNewest(Constant(44100, 32767)); }).join();
    QCoreApplication::processEvents();
    EXPECT_EQ(LitRows(Shot(), 10), std::vector<int>{116});

    std::thread([this] { box_.PostNewest(Constant(44100, 32767)); }).join();
    box_.Clear();
    QCoreApplication::processEvents();
    EXPECT_TRUE(AllBackground(Shot()));
}

}  // namespace
