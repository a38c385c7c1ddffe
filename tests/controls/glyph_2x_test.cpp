// Glyphs on screens that scale by two: the 2x strips drawn from the same pictures, and a button
// that paints them there while every pixel at scale 1 stays the plain strip's.
#include <gtest/gtest.h>

#include <QPainter>

#include "controls/app_glyphs.h"
#include "controls/button_glyph.h"
#include "controls/buttons_xp.h"
#include "controls/glyph_list.h"

namespace {

const QRgb kOlive = qRgb(0x80, 0x80, 0x00);
const QRgb kWhite = qRgb(0xFF, 0xFF, 0xFF);

// How many of the plain strip's pixels come back in their 2 x 2 block of the 2x strip: the same
// picture sampled twice as finely differs only along some edges.
double Agreement(const QImage& plain, const QImage& sharp) {
    const QImage a = plain.convertToFormat(QImage::Format_RGB32);
    const QImage b = sharp.convertToFormat(QImage::Format_RGB32);
    int same = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            same += p == b.pixel(2 * x, 2 * y) || p == b.pixel(2 * x + 1, 2 * y) ||
                    p == b.pixel(2 * x, 2 * y + 1) || p == b.pixel(2 * x + 1, 2 * y + 1);
        }
    return double(same) / (a.width() * a.height());
}

TEST(Glyph2xResources, EveryGlyphHasTheSamePictureAtTwiceThePixels) {
    std::vector<std::pair<std::string, std::pair<QImage, QImage>>> glyphs = {
        {"playwav", {PlayWavGlyph(), PlayWavGlyph2x()}},
        {"about", {AboutGlyph(), AboutGlyph2x()}},
        {"globe", {GlobeGlyph(), GlobeGlyph2x()}}};
    for (int kind = bkOK; kind <= bkAll; ++kind)
        glyphs.push_back({KindInfo(TBitBtnXPKind(kind)).glyphResource,
                          {KindGlyph(TBitBtnXPKind(kind)), KindGlyph2x(TBitBtnXPKind(kind))}});
    for (const auto& [name, strips] : glyphs) {
        const auto& [plain, sharp] = strips;
        ASSERT_FALSE(plain.isNull()) << name;
        ASSERT_FALSE(sharp.isNull()) << name;
        EXPECT_EQ(plain.devicePixelRatio(), 1.0) << name;
        EXPECT_EQ(sharp.devicePixelRatio(), 2.0) << name;
        EXPECT_EQ(sharp.size(), plain.size() * 2) << name;
        EXPECT_EQ(sharp.deviceIndependentSize(), QSizeF(plain.size())) << name;
        // The same colour is transparent in both.
        EXPECT_EQ(TransparentColorOf(sharp), TransparentColorOf(plain)) << name;
        EXPECT_GE(Agreement(plain, sharp), 0.9) << name;
    }
    EXPECT_TRUE(KindGlyph2x(bkCustom).isNull());
}

// A plain strip, and a 2x one that no blowing up of it could give: a checkerboard.
QImage PlainStrip() {
    QImage strip(32, 16, QImage::Format_RGB32);
    strip.fill(kOlive);
    for (int y = 4; y < 12; ++y) strip.setPixel(8, y, qRgb(0, 0, 0xFF));
    return strip;
}

QImage SharpStrip() {
    QImage strip(64, 32, QImage::Format_RGB32);
    strip.fill(kOlive);
    for (int y = 8; y < 24; ++y)
        for (int x = 8; x < 24; ++x)
            if ((x + y) % 2) strip.setPixel(x, y, qRgb(0, 0, 0xFF));
    strip.setDevicePixelRatio(2);
    return strip;
}

class Glyph2x : public ::testing::Test {
  protected:
    void TearDown() override {
        EXPECT_EQ(SharedGlyphCache(), nullptr) << "a glyph outlived its test";
    }
    // The canvas after the glyph was painted at (3, 4) on white, at the given ratio.
    static QImage Painted(TButtonGlyph& glyph, qreal ratio, TGlyphState state = gsUp) {
        QImage canvas(QSize(40, 40) * ratio, QImage::Format_RGB32);
        canvas.setDevicePixelRatio(ratio);
        canvas.fill(kWhite);
        QPainter painter(&canvas);
        glyph.PaintGlyph(painter, QPoint(3, 4), state);
        return canvas;
    }
    // Whether the canvas shows the image at the pixel position, its transparent pixels leaving
    // the white through.
    static bool Shows(const QImage& canvas, const QImage& image, QPoint at) {
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb p = image.pixel(x, y);
                const QRgb want = qAlpha(p) == 0 ? kWhite : p | 0xFF000000u;
                if (canvas.pixel(at + QPoint(x, y)) != want) return false;
            }
        return true;
    }
};

TEST_F(Glyph2x, TakenOnlyAtTwiceTheSizeAndDroppedWithANewStrip) {
    TButtonGlyph glyph;
    glyph.SetGlyph2x(SharpStrip());  // no plain strip to match
    EXPECT_TRUE(glyph.Glyph2x().isNull());
    glyph.SetGlyph(PlainStrip());
    glyph.SetGlyph2x(SharpStrip().scaled(48, 24));
    EXPECT_TRUE(glyph.Glyph2x().isNull());
    glyph.SetGlyph2x(SharpStrip());
    EXPECT_FALSE(glyph.Glyph2x().isNull());
    EXPECT_EQ(glyph.GetStateImage2x(gsUp), glyph.GetStateImage2x(gsUp));
    // Another picture: its 2x strip, if any, comes after it.
    glyph.SetGlyph(PlainStrip());
    EXPECT_TRUE(glyph.Glyph2x().isNull());
    EXPECT_EQ(glyph.GetStateImage2x(gsUp), -1);
}

TEST_F(Glyph2x, StateImagesOfTheSharpStripCoverTheSameSpotInPoints) {
    TButtonGlyph glyph;
    glyph.SetGlyph(PlainStrip());
    glyph.SetGlyph2x(SharpStrip());
    for (TGlyphState state : {gsUp, gsDisabled, gsDown}) {
        const QImage plain = glyph.StateImage(state);
        const QImage sharp = glyph.StateImage2x(state);
        EXPECT_EQ(plain.devicePixelRatio(), 1.0);
        EXPECT_EQ(sharp.devicePixelRatio(), 2.0);
        EXPECT_EQ(sharp.size(), QSize(32, 32));
        EXPECT_EQ(sharp.deviceIndependentSize(), QSizeF(plain.size()));
        // The background is masked in both.
        EXPECT_EQ(qAlpha(sharp.pixel(0, 31)), 0);
    }
    // Both sizes of one picture share the cache with other glyphs of their size.
    EXPECT_EQ(SharedGlyphCache()->ListCount(), 2);
}

TEST_F(Glyph2x, TheSharpPictureIsTheStripsCellPixelForPixel) {
    // The real strips: their pictures are far from the face colour.
    for (const auto& [plain, sharp] :
         {std::pair{AboutGlyph(), AboutGlyph2x()}, std::pair{KindGlyph(bkOK), KindGlyph2x(bkOK)}}) {
        TButtonGlyph glyph;
        glyph.SetGlyph(plain);
        glyph.SetGlyph2x(sharp);
        glyph.SetNumGlyphs(2);
        const QImage up = glyph.StateImage2x(gsUp);
        const QImage disabled = glyph.StateImage2x(gsDisabled);
        ASSERT_EQ(up.size(), QSize(sharp.width() / 2, sharp.height()));
        const QRgb key = TransparentColorOf(sharp);
        const QImage strip = sharp.convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < up.height(); ++y)
            for (int x = 0; x < up.width(); ++x) {
                const QRgb want = strip.pixel(x, y);
                const QRgb got = up.pixel(x, y);
                ASSERT_EQ(qAlpha(got) == 0, want == key) << x << "," << y;
                if (want != key) {
                    ASSERT_EQ(got | 0xFF000000u, want) << x << "," << y;
                }
                // The disabled picture is the second cell's shape, recoloured.
                ASSERT_EQ(qAlpha(disabled.pixel(x, y)) == 0, strip.pixel(x + up.width(), y) == key)
                    << x << "," << y;
            }
    }
}

TEST_F(Glyph2x, PaintedSharpOnlyWhereTheCanvasHasTwoPixelsToAPoint) {
    TButtonGlyph glyph;
    glyph.SetGlyph(PlainStrip());
    glyph.SetGlyph2x(SharpStrip());
    for (TGlyphState state : {gsUp, gsDisabled}) {
        EXPECT_TRUE(Shows(Painted(glyph, 1, state), glyph.StateImage(state), {3, 4}));
        EXPECT_TRUE(Shows(Painted(glyph, 2, state), glyph.StateImage2x(state), {6, 8}));
    }
    // Without a 2x strip a scaled screen shows the plain one, blown up.
    TButtonGlyph plain;
    plain.SetGlyph(PlainStrip());
    const QImage blownUp = Painted(plain, 2);
    EXPECT_FALSE(Shows(blownUp, glyph.StateImage2x(gsUp), {6, 8}));
    EXPECT_EQ(blownUp.pixel(6 + 16, 8 + 8), qRgb(0, 0, 0xFF));
    EXPECT_EQ(blownUp.pixel(6 + 17, 8 + 9), qRgb(0, 0, 0xFF));
}

QImage Rendered(QWidget& widget, qreal ratio) {
    QImage image(widget.size() * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    widget.render(&image);
    return image;
}

TEST(BitBtnXP2x, ScaleOneKeepsEveryPixelAndScaleTwoShowsTheSharpGlyph) {
    // The same buttons with and without the 2x strips.
    TBitBtnXP kind, kindPlain, own, ownPlain;
    kind.SetKind(bkOK);
    kindPlain.SetKind(bkOK);
    kindPlain.SetGlyph(KindGlyph(bkOK));
    own.SetGlyph(AboutGlyph(), AboutGlyph2x());
    ownPlain.SetGlyph(AboutGlyph());
    for (auto [sharp, plain] : {std::pair{&kind, &kindPlain}, std::pair{&own, &ownPlain}}) {
        for (TBitBtnXP* button : {sharp, plain}) {
            button->SetCaption("Caption");
            button->resize(147, 25);
        }
        EXPECT_EQ(Rendered(*sharp, 1), Rendered(*plain, 1));
        EXPECT_NE(Rendered(*sharp, 2), Rendered(*plain, 2));
    }
}

}  // namespace
