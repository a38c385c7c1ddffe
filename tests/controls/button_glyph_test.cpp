#include "controls/button_glyph.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <memory>

#include "base/exception.h"
#include "controls/glyph_list.h"
#include "controls/system_colors.h"

namespace {

const QRgb kOlive = qRgb(0x80, 0x80, 0x00);
const QRgb kPurple = qRgb(0x80, 0x00, 0x80);
const QRgb kWhite = qRgb(0xFF, 0xFF, 0xFF);
const QRgb kGrey = qRgb(0x80, 0x80, 0x80);
const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kRed = qRgb(0xFF, 0, 0);
const QRgb kGreen = qRgb(0, 0x80, 0);
const QRgb kBlue = qRgb(0, 0, 0xFF);

// A strip of `cells` square cells, each filled with its own colour over the background, so a
// state image tells which cell it came from.
QImage Strip(int cellSize, int cells, QRgb background = kOlive,
             std::initializer_list<QRgb> cellColours = {kGreen, kBlue, kRed, kBlack}) {
    QImage strip(cellSize * cells, cellSize, QImage::Format_RGB32);
    strip.fill(background);
    auto colour = cellColours.begin();
    for (int c = 0; c < cells && colour != cellColours.end(); ++c, ++colour)
        strip.setPixel(c * cellSize + 1, 1, *colour);
    return strip;
}

QRgb Rgb(const QColor& c) {
    return c.rgb();
}
bool Transparent(const QImage& image, int x, int y) {
    return qAlpha(image.pixel(x, y)) == 0;
}

class ButtonGlyph : public ::testing::Test {
  protected:
    void TearDown() override {
        EXPECT_EQ(SharedGlyphCache(), nullptr) << "a glyph outlived its test";
    }
};

TEST_F(ButtonGlyph, CellCountFollowsSquareStripsAndIgnoresFiveCellsAndZero) {
    TButtonGlyph glyph;
    int changes = 0;
    glyph.OnChange = [&] { ++changes; };

    glyph.SetGlyph(Strip(18, 2));
    EXPECT_EQ(glyph.NumGlyphs(), 2);
    ASSERT_NE(glyph.GetStateImage(gsUp), -1);
    EXPECT_EQ(glyph.GlyphList()->Width(), 18);
    EXPECT_EQ(glyph.GlyphList()->Height(), 18);

    glyph.SetGlyph(Strip(16, 2));
    EXPECT_EQ(glyph.NumGlyphs(), 2);
    glyph.GetStateImage(gsUp);
    EXPECT_EQ(glyph.GlyphList()->Width(), 16);

    // Five cells are read as one wide image.
    glyph.SetGlyph(Strip(18, 5));
    EXPECT_EQ(glyph.NumGlyphs(), 1);
    glyph.GetStateImage(gsUp);
    EXPECT_EQ(glyph.GlyphList()->Width(), 90);

    // Not a multiple of the height: the count stays as it was.
    glyph.SetNumGlyphs(3);
    glyph.SetGlyph(QImage(36, 19, QImage::Format_RGB32));
    EXPECT_EQ(glyph.NumGlyphs(), 3);

    changes = 0;
    glyph.SetNumGlyphs(0);
    EXPECT_EQ(glyph.NumGlyphs(), 3);
    glyph.SetNumGlyphs(3);
    EXPECT_EQ(changes, 0);
    glyph.SetNumGlyphs(2);
    EXPECT_EQ(changes, 1);
}

TEST_F(ButtonGlyph, TransparentColourIsTheBottomLeftPixel) {
    TButtonGlyph glyph;
    EXPECT_EQ(glyph.TransparentColor(), kOlive);
    glyph.SetGlyph(Strip(16, 2, kPurple));
    EXPECT_EQ(glyph.TransparentColor(), kPurple);
    QImage mono(8, 8, QImage::Format_Mono);
    mono.fill(0);
    glyph.SetGlyph(mono);
    EXPECT_EQ(glyph.TransparentColor(), kWhite);
}

TEST_F(ButtonGlyph, PressedStateUsesCellZeroUnlessTheStripHasThreeCells) {
    TButtonGlyph glyph;
    glyph.SetGlyph(Strip(8, 2));
    EXPECT_EQ(glyph.GetStateImage(gsDown), glyph.GetStateImage(gsUp));
    EXPECT_EQ(glyph.StateImage(gsDown).pixel(1, 1), kGreen);
    EXPECT_TRUE(Transparent(glyph.StateImage(gsUp), 0, 0)) << "background is masked";

    glyph.SetGlyph(Strip(8, 3));
    EXPECT_NE(glyph.GetStateImage(gsDown), glyph.GetStateImage(gsUp));
    EXPECT_EQ(glyph.StateImage(gsDown).pixel(1, 1), kRed);
    // A state beyond the strip's cells falls back to cell 0.
    EXPECT_EQ(glyph.StateImage(gsExclusive).pixel(1, 1), kGreen);
}

TEST_F(ButtonGlyph, DisabledCellOfATwoCellStripIsRecolouredToTheSystemColours) {
    // Cell 1 of a purple-backed strip holds white, grey, red and the background.
    QImage strip(8, 4, QImage::Format_RGB32);
    strip.fill(kPurple);
    strip.setPixel(4 + 1, 0, kWhite);
    strip.setPixel(4 + 2, 0, kGrey);
    strip.setPixel(4 + 3, 0, kRed);
    strip.setPixel(1, 1, kGreen);
    TButtonGlyph glyph;
    glyph.SetGlyph(strip);
    ASSERT_EQ(glyph.NumGlyphs(), 2);

    const QImage disabled = glyph.StateImage(gsDisabled);
    ASSERT_EQ(disabled.size(), QSize(4, 4));
    EXPECT_EQ(disabled.pixel(1, 0), Rgb(SystemColor(clBtnHighlight)));
    EXPECT_EQ(disabled.pixel(2, 0), Rgb(SystemColor(clBtnShadow)));
    EXPECT_EQ(disabled.pixel(3, 0), kRed);
    // The background became the face colour, which the mask then leaves out.
    EXPECT_TRUE(Transparent(disabled, 0, 0));
    EXPECT_TRUE(Transparent(disabled, 1, 1)) << "cell 0 must not leak into the disabled image";
    EXPECT_TRUE(Transparent(disabled, 0, 3));
}

TEST_F(ButtonGlyph, DisabledSingleCellIsTheEmbossedShapeOfItsBlackPixels) {
    QImage strip(6, 6, QImage::Format_RGB32);
    strip.fill(kOlive);
    strip.setPixel(1, 1, kBlack);
    strip.setPixel(2, 2, kBlack);
    strip.setPixel(4, 1, kRed);  // not black: no part of the shape
    TButtonGlyph glyph;
    glyph.SetGlyph(strip);
    ASSERT_EQ(glyph.NumGlyphs(), 1);

    const QImage disabled = glyph.StateImage(gsDisabled);
    const QRgb shadow = Rgb(SystemColor(clBtnShadow));
    const QRgb highlight = Rgb(SystemColor(clBtnHighlight));
    EXPECT_EQ(disabled.pixel(1, 1), shadow);
    EXPECT_EQ(disabled.pixel(2, 2), shadow) << "shadow is painted over the highlight";
    EXPECT_EQ(disabled.pixel(3, 3), highlight);
    EXPECT_TRUE(Transparent(disabled, 2, 1));
    EXPECT_TRUE(Transparent(disabled, 4, 1));
    EXPECT_TRUE(Transparent(disabled, 0, 5));
}

TEST_F(ButtonGlyph, GlyphsOfOneCellSizeShareAListThatGoesWithTheLastOfThem) {
    auto a = std::make_unique<TButtonGlyph>();
    auto b = std::make_unique<TButtonGlyph>();
    a->SetGlyph(Strip(18, 2));
    b->SetGlyph(Strip(18, 2, kOlive, {kRed, kBlue}));
    a->GetStateImage(gsUp);
    b->GetStateImage(gsUp);
    ASSERT_NE(a->GlyphList(), nullptr);
    EXPECT_EQ(a->GlyphList(), b->GlyphList());
    EXPECT_EQ(SharedGlyphCache()->ListCount(), 1);
    EXPECT_EQ(a->GlyphList()->Count(), 2);

    // A freed slot is reused before the list grows.
    TGlyphList* list = b->GlyphList();
    const int slotOfA = a->GetStateImage(gsUp);
    a.reset();
    EXPECT_EQ(list->Count(), 1);
    auto c = std::make_unique<TButtonGlyph>();
    c->SetGlyph(Strip(18, 2, kOlive, {kBlue}));
    EXPECT_EQ(c->GetStateImage(gsUp), slotOfA);
    EXPECT_EQ(list->Capacity(), 2);
    EXPECT_EQ(c->StateImage(gsUp).pixel(1, 1), kBlue);

    // Another size gets a list of its own.
    c->SetGlyph(Strip(16, 2));
    c->GetStateImage(gsUp);
    EXPECT_EQ(SharedGlyphCache()->ListCount(), 2);

    c.reset();
    EXPECT_EQ(SharedGlyphCache()->ListCount(), 1);
    b.reset();
    EXPECT_EQ(SharedGlyphCache(), nullptr);
}

TEST_F(ButtonGlyph, NewPictureReleasesEveryStateImage) {
    TButtonGlyph glyph;
    glyph.SetGlyph(Strip(8, 2));
    glyph.GetStateImage(gsUp);
    glyph.GetStateImage(gsDisabled);
    TGlyphList* list = glyph.GlyphList();
    ASSERT_EQ(list->Count(), 2);
    glyph.SetGlyph(Strip(8, 2, kOlive, {kRed}));
    EXPECT_EQ(glyph.GlyphList(), nullptr);
    EXPECT_EQ(glyph.StateImage(gsUp).pixel(1, 1), kRed);
    glyph.SetGlyph(QImage());
    EXPECT_EQ(glyph.GetStateImage(gsUp), -1);
}

TEST(GlyphList, RefusedImageRaisesTheErrorAndLeavesTheListAsItWas) {
    TGlyphList list(4, 4);
    QImage good(4, 4, QImage::Format_RGB32);
    good.fill(kRed);
    EXPECT_EQ(list.AddImage(good, kOlive), 0);
    try {
        list.AddImage(QImage(5, 4, QImage::Format_RGB32), kOlive);
        FAIL() << "a wrong size was taken";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Bild kann nicht ersetzt werden");
    }
    EXPECT_THROW(list.AddImage(QImage(), kOlive), Exception);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.AddImage(good, kOlive), 1);
    list.ReleaseImage(0);
    list.ReleaseImage(0);
    EXPECT_EQ(list.Count(), 1) << "a second release of a slot must not count twice";
}

TEST_F(ButtonGlyph, GlyphIsDrawnThroughItsMaskAndDisabledCaptionIsEmbossed) {
    TButtonGlyph glyph;
    glyph.SetGlyph(Strip(8, 2));
    QImage canvas(40, 20, QImage::Format_ARGB32);
    canvas.fill(kBlue);
    {
        QPainter painter(&canvas);
        glyph.PaintGlyph(painter, QPoint(3, 2), gsUp);
    }
    EXPECT_EQ(canvas.pixel(4, 3), kGreen);
    EXPECT_EQ(canvas.pixel(3, 2), kBlue) << "background of the glyph must stay see-through";

    canvas.fill(SystemColor(clBtnFace));
    {
        QPainter painter(&canvas);
        QFont font = painter.font();
        font.setStyleStrategy(QFont::NoAntialias);
        font.setPixelSize(16);
        painter.setFont(font);
        painter.setPen(Qt::black);
        glyph.PaintCaption(painter, "W", QRect(0, 0, 40, 20), gsDisabled, 0);
    }
    bool highlight = false, shadow = false, black = false;
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x) {
            highlight |= canvas.pixel(x, y) == Rgb(SystemColor(clBtnHighlight));
            shadow |= canvas.pixel(x, y) == Rgb(SystemColor(clBtnShadow));
            black |= canvas.pixel(x, y) == kBlack;
        }
    EXPECT_TRUE(highlight);
    EXPECT_TRUE(shadow);
    EXPECT_FALSE(black);
}

}  // namespace
