#include <gtest/gtest.h>

#include "controls/button_glyph.h"

namespace {

TGlyphLayout Place(QSize glyph, QSize text, TButtonLayout layout, int margin, int spacing,
                   QRect client = QRect(0, 0, 141, 21), unsigned flags = 0) {
    return LayoutGlyphAndCaption(client, QPoint(0, 0), glyph, text, layout, margin, spacing, flags);
}

TEST(ButtonLayout, WorkedExampleCentresGlyphAndCaptionAsOneBlock) {
    const TGlyphLayout l = Place({18, 19}, {60, 13}, blGlyphLeft, -1, 4);
    EXPECT_EQ(l.glyphPos, QPoint(30, 1));
    EXPECT_EQ(l.captionRect, QRect(52, 4, 60, 13));
}

TEST(ButtonLayout, AutomaticMarginAndSpacingShareTheRoomInThirds) {
    // (141 - (18 + 60)) div 3 = 21 on both sides of the glyph.
    const TGlyphLayout l = Place({18, 19}, {60, 13}, blGlyphLeft, -1, -1);
    EXPECT_EQ(l.glyphPos, QPoint(21, 1));
    EXPECT_EQ(l.captionRect.topLeft(), QPoint(21 + 18 + 21, 4));
}

TEST(ButtonLayout, GivenMarginWithAutomaticSpacingCentresTheCaptionInTheRest) {
    // S = ((141 - (5 + 18)) - 60) div 2 = 29.
    const TGlyphLayout l = Place({18, 19}, {60, 13}, blGlyphLeft, 5, -1);
    EXPECT_EQ(l.glyphPos, QPoint(5, 1));
    EXPECT_EQ(l.captionRect.left(), 5 + 18 + 29);
}

TEST(ButtonLayout, GivenMarginAndSpacingAreUsedAsTheyAre) {
    const TGlyphLayout l = Place({18, 19}, {60, 13}, blGlyphLeft, 3, 7);
    EXPECT_EQ(l.glyphPos.x(), 3);
    EXPECT_EQ(l.captionRect.left(), 28);
}

TEST(ButtonLayout, DivisionTruncatesTowardZeroWhenTheButtonIsTooSmall) {
    // Block 18 + 4 + 60 = 82 in a 20-wide face: M = (20 - 82 + 1) div 2 = -30 (not -31).
    const TGlyphLayout l = Place({18, 19}, {60, 13}, blGlyphLeft, -1, 4, QRect(0, 0, 20, 21));
    EXPECT_EQ(l.glyphPos.x(), -30);
    // Glyph taller than the face: (10 - 19 + 1) div 2 = -4.
    const TGlyphLayout t = Place({18, 19}, {60, 13}, blGlyphLeft, -1, 4, QRect(0, 0, 141, 10));
    EXPECT_EQ(t.glyphPos.y(), -4);
}

TEST(ButtonLayout, CaptionWithoutGlyphOrGlyphWithoutCaptionGetsNoSpacing) {
    const TGlyphLayout textOnly = Place({0, 0}, {60, 13}, blGlyphLeft, -1, 4);
    EXPECT_EQ(textOnly.captionRect.left(), (141 - 60 + 1) / 2);
    const TGlyphLayout glyphOnly = Place({18, 19}, {0, 0}, blGlyphLeft, -1, 4);
    EXPECT_EQ(glyphOnly.glyphPos.x(), (141 - 18 + 1) / 2);
    // Automatic spacing turns into none, so an automatic margin centres the caption.
    const TGlyphLayout autoBoth = Place({0, 0}, {60, 13}, blGlyphLeft, -1, -1);
    EXPECT_EQ(autoBoth.captionRect.left(), (141 - 60 + 1) / 2);
}

TEST(ButtonLayout, RightTopAndBottomLayoutsMirrorTheArithmetic) {
    const TGlyphLayout right = Place({18, 19}, {60, 13}, blGlyphRight, -1, 4);
    EXPECT_EQ(right.glyphPos, QPoint(141 - 30 - 18, 1));
    EXPECT_EQ(right.captionRect.left(), 93 - 4 - 60);

    const QRect tall(0, 0, 80, 60);
    const TGlyphLayout top = Place({18, 19}, {60, 13}, blGlyphTop, -1, 4, tall);
    // M = (60 - (19 + 4 + 13) + 1) div 2 = 12; x centred: (80 - 18 + 1) div 2 = 31.
    EXPECT_EQ(top.glyphPos, QPoint(31, 12));
    EXPECT_EQ(top.captionRect, QRect(10, 12 + 19 + 4, 60, 13));

    const TGlyphLayout bottom = Place({18, 19}, {60, 13}, blGlyphBottom, -1, 4, tall);
    EXPECT_EQ(bottom.glyphPos, QPoint(31, 60 - 12 - 19));
    EXPECT_EQ(bottom.captionRect.top(), 29 - 4 - 13);
}

TEST(ButtonLayout, RightAlignedTextSwapsLeftAndRightAndOffsetsEverything) {
    const TGlyphLayout swapped =
        Place({18, 19}, {60, 13}, blGlyphLeft, -1, 4, QRect(0, 0, 141, 21), DT_RIGHT);
    EXPECT_EQ(swapped.glyphPos.x(), 93);
    const TGlyphLayout shifted = LayoutGlyphAndCaption(QRect(2, 3, 141, 21), QPoint(1, 1), {18, 19},
                                                       {60, 13}, blGlyphLeft, -1, 4, 0);
    EXPECT_EQ(shifted.glyphPos, QPoint(33, 5));
    EXPECT_EQ(shifted.captionRect.topLeft(), QPoint(55, 8));
}

}  // namespace
