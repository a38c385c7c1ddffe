#pragma once
// The picture half of a bitmap button: owns the glyph strip, turns its cells into masked images
// kept in the shared glyph cache, lays glyph and caption out on the face and paints both. A strip
// drawn at twice the pixels may come with it: on a canvas of two or more device pixels to a
// point it is painted in the plain strip's place, at the same size and spot.
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRgb>
#include <QSize>
#include <QString>
#include <array>
#include <functional>

class QPainter;
class TGlyphList;

// Also the cell numbers of the strip.
enum TGlyphState { gsUp, gsDisabled, gsDown, gsExclusive };

enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

// Text flags of the caption, with their window-system values.
constexpr unsigned DT_RIGHT = 0x0002;
constexpr unsigned DT_RTLREADING = 0x20000;

struct TGlyphLayout {
    QPoint glyphPos;
    QRect captionRect;
};

// The placement arithmetic alone: glyph and text sizes given. Divisions truncate toward zero;
// margin or spacing -1 means automatic.
TGlyphLayout LayoutGlyphAndCaption(const QRect& client, const QPoint& offset,
                                   const QSize& glyphSize, const QSize& textSize,
                                   TButtonLayout layout, int margin, int spacing,
                                   unsigned textFlags);

// Bottom-left pixel; white for a monochrome bitmap (what its 1-bits show as).
QRgb TransparentColorOf(const QImage& bitmap);

class TButtonGlyph {
  public:
    TButtonGlyph();
    ~TButtonGlyph();
    TButtonGlyph(const TButtonGlyph&) = delete;
    TButtonGlyph& operator=(const TButtonGlyph&) = delete;

    const QImage& Glyph() const { return strip_; }
    // A null image empties the strip. A strip whose width is an exact multiple of its height
    // sets the cell count (5 or more such cells are taken as one image).
    void SetGlyph(const QImage& strip);
    int NumGlyphs() const { return numGlyphs_; }
    // 0 is ignored; above 4 becomes 4.
    void SetNumGlyphs(int n);
    // The strip at twice the pixels, cell for cell; taken only when it is exactly twice the
    // size of the strip. SetGlyph drops it, so it is set after the strip.
    const QImage& Glyph2x() const { return strip2x_; }
    void SetGlyph2x(const QImage& strip);
    QRgb TransparentColor() const { return transparentColor_; }
    TGlyphList* GlyphList() const { return glyphList_; }

    // Raised whenever the picture or the cell count changes; the button repaints.
    std::function<void()> OnChange;

    // Slot of the state's image in GlyphList(), built on first use; -1 without a picture.
    int GetStateImage(TGlyphState state);
    // The state's image as stored in the list (transparent where masked); null without one.
    QImage StateImage(TGlyphState state);
    // The same from the 2x strip, with device pixel ratio 2; -1 or null without that strip.
    int GetStateImage2x(TGlyphState state);
    QImage StateImage2x(TGlyphState state);

    QRect Draw(QPainter& canvas, const QRect& client, const QPoint& offset, const QString& caption,
               TButtonLayout layout, int margin, int spacing, TGlyphState state,
               unsigned textFlags);
    // Measures the caption with the canvas's font, then lays out.
    TGlyphLayout ComputeLayout(QPainter& canvas, const QRect& client, const QPoint& offset,
                               const QString& caption, TButtonLayout layout, int margin,
                               int spacing, unsigned textFlags) const;
    void PaintGlyph(QPainter& canvas, const QPoint& pos, TGlyphState state);
    void PaintCaption(QPainter& canvas, const QString& caption, const QRect& rect,
                      TGlyphState state, unsigned textFlags) const;

  private:
    void GlyphChanged();
    void ReleaseImages();
    // The state's slot for a strip at `scale` pixels to the point, made in `list` on first use.
    int StateImageOf(const QImage& strip, int scale, TGlyphList*& list, std::array<int, 4>& indexes,
                     TGlyphState state);
    QImage BuildStateImage(const QImage& strip, int scale, TGlyphState state, int w, int h) const;
    // Whether the canvas wants the 2x strip and there is one.
    bool Sharp(const QPainter& canvas) const;

    QImage strip_;
    QImage strip2x_;
    TGlyphList* glyphList_ = nullptr;
    TGlyphList* glyphList2x_ = nullptr;
    std::array<int, 4> imageIndexes_{-1, -1, -1, -1};
    std::array<int, 4> imageIndexes2x_{-1, -1, -1, -1};
    QRgb transparentColor_ = qRgb(0x80, 0x80, 0x00);
    int numGlyphs_ = 1;
};
