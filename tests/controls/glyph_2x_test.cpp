// Glyphs on screens that scale by two: the 2x strips drawn from the same pictures, and a button
// that paints them there while every pixel at scale 1 stays the plain strip's.
#include <gtest/gtest.h>

#include <QPainter>

#include "controls/app_glyphs.h"
#include "controls/button_glyph.h"
#include "controls/buttons_xp.h"

namespace {

// How many of the plain strip's pixels come back in their 2 x 2 block of the 2x strip: the same
// picture sampled twice as finely differs only along some edges.
double Agreement(const QImage& plain, const QImage& sharp) {
    const QImage a = plain.convertToFormat(QImage::Format_RGB32);
    const QImage b = sharp.convertToFormat(QImage::Format_RGB32);
    int same = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            for (int d = 0; d < 4; ++d)
                if (a.pixel(x, y) == b.pixel(2 * x + d % 2, 2 * y + d / 2)) {
                    ++same;
                    break;
                }
    return double(same) / (a.width() * a.height());
}

TEST(Glyph2x, EveryGlyphHasTheSamePictureAtTwiceThePixels) {
    std::vector<std::pair<QImage, QImage>> glyphs = {{PlayWavGlyph(), PlayWavGlyph2x()},
                                                     {AboutGlyph(), AboutGlyph2x()},
                                                     {GlobeGlyph(), GlobeGlyph2x()}};
    for (int kind = bkOK; kind <= bkAll; ++kind)
        glyphs.push_back({KindGlyph(TBitBtnXPKind(kind)), KindGlyph2x(TBitBtnXPKind(kind))});
    for (const auto& [plain, sharp] : glyphs) {
        ASSERT_FALSE(sharp.isNull());
        EXPECT_EQ(sharp.devicePixelRatio(), 2.0);
        EXPECT_EQ(sharp.size(), plain.size() * 2);
        EXPECT_EQ(TransparentColorOf(sharp), TransparentColorOf(plain));
        EXPECT_GE(Agreement(plain, sharp), 0.9);
    }
}

TEST(Glyph2x, TheStateImagesAreTheStripsCellsPixelForPixel) {
    for (const auto& [plain, sharp] :
         {std::pair{AboutGlyph(), AboutGlyph2x()}, std::pair{KindGlyph(bkOK), KindGlyph2x(bkOK)}}) {
        TButtonGlyph glyph;
        glyph.SetGlyph(plain);
        glyph.SetGlyph2x(sharp);
        const QImage up = glyph.StateImage2x(gsUp);
        const QImage disabled = glyph.StateImage2x(gsDisabled);
        // Twice the pixels of the plain one, on the same spot in points.
        EXPECT_EQ(up.devicePixelRatio(), 2.0);
        ASSERT_EQ(up.size(), glyph.StateImage(gsUp).size() * 2);
        const QRgb key = TransparentColorOf(sharp);
        const QImage strip = sharp.convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < up.height(); ++y)
            for (int x = 0; x < up.width(); ++x) {
                const QRgb want = strip.pixel(x, y);
                ASSERT_EQ(qAlpha(up.pixel(x, y)) == 0, want == key) << x << "," << y;
                if (want != key) {
                    ASSERT_EQ(up.pixel(x, y) | 0xFF000000u, want) << x << "," << y;
                }
                // The disabled picture is the second cell's shape, recoloured.
                ASSERT_EQ(qAlpha(disabled.pixel(x, y)) == 0, strip.pixel(x + up.width(), y) == key);
            }
    }
}

// The canvas, white at the given ratio, after the glyph was painted at (3, 4) in points.
QImage Painted(TButtonGlyph& glyph, qreal ratio) {
    QImage canvas(QSize(40, 40) * ratio, QImage::Format_RGB32);
    canvas.setDevicePixelRatio(ratio);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    glyph.PaintGlyph(painter, QPoint(3, 4), gsUp);
    return canvas;
}

// Whether the canvas shows the image at the pixel position, white through its transparent pixels.
bool Shows(const QImage& canvas, const QImage& image, QPoint at) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (canvas.pixel(at + QPoint(x, y)) != (qAlpha(p) == 0 ? qRgb(255, 255, 255) : p))
                return false;
        }
    return true;
}

TEST(Glyph2x, PaintedWhereTheCanvasHasTwoPixelsToAPointAndOnlyThere) {
    TButtonGlyph glyph;
    glyph.SetGlyph(AboutGlyph());
    glyph.SetGlyph2x(AboutGlyph2x());
    EXPECT_TRUE(Shows(Painted(glyph, 1), glyph.StateImage(gsUp), {3, 4}));
    EXPECT_TRUE(Shows(Painted(glyph, 2), glyph.StateImage2x(gsUp), {6, 8}));
    // A new picture comes without the old one's 2x strip.
    glyph.SetGlyph(GlobeGlyph());
    EXPECT_TRUE(glyph.Glyph2x().isNull());
}

QImage Rendered(QWidget& widget, qreal ratio) {
    QImage image(widget.size() * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    widget.render(&image);
    return image;
}

TEST(Glyph2x, AButtonAtScaleOneKeepsEveryPixelAndAtScaleTwoShowsTheSharpGlyph) {
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
