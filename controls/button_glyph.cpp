#include "controls/button_glyph.h"

#include <QFontMetrics>
#include <QPaintEngine>
#include <QPainter>
#include <utility>

#include "controls/glyph_list.h"
#include "controls/system_colors.h"

namespace {

QRgb Opaque(QRgb c) {
    return c | 0xFF000000u;
}

// Pixels of the mask take the colour; the others keep theirs.
void PaintMask(QImage& target, const std::vector<bool>& mask, int maskWidth, int dx, int dy,
               QRgb color) {
    const int maskHeight = maskWidth > 0 ? static_cast<int>(mask.size()) / maskWidth : 0;
    for (int y = 0; y < maskHeight; ++y) {
        const int ty = y + dy;
        if (ty < 0 || ty >= target.height()) continue;
        auto* line = reinterpret_cast<QRgb*>(target.scanLine(ty));
        for (int x = 0; x < maskWidth; ++x) {
            const int tx = x + dx;
            if (tx >= 0 && tx < target.width() && mask[y * maskWidth + x]) line[tx] = color;
        }
    }
}

std::vector<bool> KeyMask(const QImage& cell, QRgb key) {
    std::vector<bool> mask(static_cast<size_t>(cell.width()) * cell.height());
    for (int y = 0; y < cell.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(cell.constScanLine(y));
        for (int x = 0; x < cell.width(); ++x)
            mask[y * cell.width() + x] = Opaque(line[x]) == Opaque(key);
    }
    return mask;
}

bool IsMonochrome(const QImage& image) {
    return image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB;
}

// The glyph's black pixels; for a monochrome strip its 0-bits.
std::vector<bool> BlackMask(const QImage& strip, int w, int h) {
    std::vector<bool> mask(static_cast<size_t>(w) * h);
    const QImage argb = strip.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < h && y < strip.height(); ++y)
        for (int x = 0; x < w && x < strip.width(); ++x)
            mask[y * w + x] = IsMonochrome(strip)
                                  ? strip.pixelIndex(x, y) == 0
                                  : Opaque(argb.pixel(x, y)) == Opaque(qRgb(0, 0, 0));
    return mask;
}

}  // namespace

QRgb TransparentColorOf(const QImage& bitmap) {
    if (IsMonochrome(bitmap)) return qRgb(0xFF, 0xFF, 0xFF);
    return Opaque(bitmap.pixel(0, bitmap.height() - 1));
}

TGlyphLayout LayoutGlyphAndCaption(const QRect& client, const QPoint& offset,
                                   const QSize& glyphSize, const QSize& textSize,
                                   TButtonLayout layout, int margin, int spacing,
                                   unsigned textFlags) {
    if (textFlags & DT_RIGHT) {
        if (layout == blGlyphLeft)
            layout = blGlyphRight;
        else if (layout == blGlyphRight)
            layout = blGlyphLeft;
    }
    // Right and bottom are exclusive edges here, as the caller's rectangle arithmetic has them.
    const QPoint cs(client.width(), client.height());
    const QPoint gs(glyphSize.width(), glyphSize.height());
    const QPoint ts(textSize.width(), textSize.height());
    QPoint g;
    QPoint p;
    const bool horizontal = layout == blGlyphLeft || layout == blGlyphRight;
    if (horizontal) {
        g.setY((cs.y() - gs.y() + 1) / 2);
        p.setY((cs.y() - ts.y() + 1) / 2);
    } else {
        g.setX((cs.x() - gs.x() + 1) / 2);
        p.setX((cs.x() - ts.x() + 1) / 2);
    }
    if (ts.x() == 0 || gs.x() == 0) spacing = 0;

    const int csAxis = horizontal ? cs.x() : cs.y();
    const int gsAxis = horizontal ? gs.x() : gs.y();
    const int tsAxis = horizontal ? ts.x() : ts.y();
    if (margin == -1 && spacing == -1) {
        margin = (csAxis - (gsAxis + tsAxis)) / 3;
        spacing = margin;
    } else if (margin == -1) {
        margin = (csAxis - (gsAxis + spacing + tsAxis) + 1) / 2;
    } else if (spacing == -1) {
        spacing = ((csAxis - (margin + gsAxis)) - tsAxis) / 2;
    }

    switch (layout) {
        case blGlyphLeft:
            g.setX(margin);
            p.setX(g.x() + gs.x() + spacing);
            break;
        case blGlyphRight:
            g.setX(cs.x() - margin - gs.x());
            p.setX(g.x() - spacing - ts.x());
            break;
        case blGlyphTop:
            g.setY(margin);
            p.setY(g.y() + gs.y() + spacing);
            break;
        case blGlyphBottom:
            g.setY(cs.y() - margin - gs.y());
            p.setY(g.y() - spacing - ts.y());
            break;
    }
    const QPoint origin(client.left() + offset.x(), client.top() + offset.y());
    TGlyphLayout result;
    result.glyphPos = g + origin;
    result.captionRect = QRect(p + origin, QSize(ts.x(), ts.y()));
    return result;
}

TButtonGlyph::TButtonGlyph() {
    EnsureSharedGlyphCache();
}

TButtonGlyph::~TButtonGlyph() {
    ReleaseImages();
    DropSharedGlyphCacheIfEmpty();
}

void TButtonGlyph::SetGlyph(const QImage& strip) {
    ReleaseImages();
    strip_ = strip;
    strip2x_ = QImage();
    GlyphChanged();
    if (strip_.isNull() || strip_.height() <= 0) return;
    transparentColor_ = TransparentColorOf(strip_);
    if (strip_.width() % strip_.height() == 0) {
        int n = strip_.width() / strip_.height();
        if (n > 4) n = 1;
        SetNumGlyphs(n);
    }
}

void TButtonGlyph::SetGlyph2x(const QImage& strip) {
    ReleaseImages();
    const bool fits = !strip.isNull() && !strip_.isNull() && strip.size() == strip_.size() * 2;
    strip2x_ = fits ? strip : QImage();
    if (OnChange) OnChange();
}

void TButtonGlyph::SetNumGlyphs(int n) {
    if (n > 4) n = 4;
    if (n == numGlyphs_ || n <= 0) return;
    ReleaseImages();
    numGlyphs_ = n;
    GlyphChanged();
}

void TButtonGlyph::GlyphChanged() {
    if (!strip_.isNull()) transparentColor_ = TransparentColorOf(strip_);
    ReleaseImages();
    if (OnChange) OnChange();
}

void TButtonGlyph::ReleaseImages() {
    for (auto [list, indexes] :
         {std::pair{&glyphList_, &imageIndexes_}, std::pair{&glyphList2x_, &imageIndexes2x_}}) {
        for (int& slot : *indexes) {
            if (slot != -1 && *list != nullptr) (*list)->ReleaseImage(slot);
            slot = -1;
        }
        if (TGlyphCache* cache = SharedGlyphCache()) cache->ReleaseList(*list);
        *list = nullptr;
    }
}

QImage TButtonGlyph::BuildStateImage(const QImage& source, int scale, TGlyphState state, int w,
                                     int h) const {
    QImage scratch(w, h, QImage::Format_ARGB32);
    scratch.fill(SystemColor(clBtnFace));
    // Cells are cut and copied pixel for pixel: a 2x strip painted at its ratio would land at
    // half its size.
    QImage strip = source.convertToFormat(QImage::Format_ARGB32);
    strip.setDevicePixelRatio(1);
    if (state != gsDisabled) {
        const int cell = state < numGlyphs_ ? state : 0;
        QPainter painter(&scratch);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(0, 0, strip, cell * w, 0, w, h);
    } else if (numGlyphs_ >= 2) {
        const QImage cell = strip.copy(w, 0, w, h);
        {
            QPainter painter(&scratch);
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.drawImage(0, 0, cell);
        }
        PaintMask(scratch, KeyMask(cell, qRgb(0xFF, 0xFF, 0xFF)), w, 0, 0,
                  SystemColor(clBtnHighlight).rgb());
        PaintMask(scratch, KeyMask(cell, qRgb(0x80, 0x80, 0x80)), w, 0, 0,
                  SystemColor(clBtnShadow).rgb());
        PaintMask(scratch, KeyMask(cell, transparentColor_), w, 0, 0, SystemColor(clBtnFace).rgb());
    } else {
        // The embossing's offset is one point, whatever the pixels.
        const std::vector<bool> mask = BlackMask(source, w, h);
        PaintMask(scratch, mask, w, scale, scale, SystemColor(clBtnHighlight).rgb());
        PaintMask(scratch, mask, w, 0, 0, SystemColor(clBtnShadow).rgb());
    }
    // Drawn at its size in points: a 2x image covers the same spot as the plain one.
    scratch.setDevicePixelRatio(scale);
    return scratch;
}

int TButtonGlyph::StateImageOf(const QImage& strip, int scale, TGlyphList*& list,
                               std::array<int, 4>& indexes, TGlyphState state) {
    if (state == gsDown && numGlyphs_ < 3) state = gsUp;
    if (indexes[state] != -1) return indexes[state];
    if (strip.width() == 0 && strip.height() == 0) return -1;
    const int w = strip.width() / numGlyphs_;
    const int h = strip.height();
    if (list == nullptr) list = EnsureSharedGlyphCache().AcquireList(w, h);
    const QImage scratch = w > 0 && h > 0 ? BuildStateImage(strip, scale, state, w, h) : QImage();
    // Masked by the scratch image's own bottom-left pixel: after the disabled recolouring
    // that is the face colour.
    const QRgb maskColor = scratch.isNull() ? 0 : scratch.pixel(0, h - 1);
    indexes[state] = list->AddImage(scratch, maskColor);
    return indexes[state];
}

int TButtonGlyph::GetStateImage(TGlyphState state) {
    return StateImageOf(strip_, 1, glyphList_, imageIndexes_, state);
}

QImage TButtonGlyph::StateImage(TGlyphState state) {
    const int slot = GetStateImage(state);
    return slot == -1 ? QImage() : glyphList_->Image(slot);
}

int TButtonGlyph::GetStateImage2x(TGlyphState state) {
    return StateImageOf(strip2x_, 2, glyphList2x_, imageIndexes2x_, state);
}

QImage TButtonGlyph::StateImage2x(TGlyphState state) {
    const int slot = GetStateImage2x(state);
    return slot == -1 ? QImage() : glyphList2x_->Image(slot);
}

TGlyphLayout TButtonGlyph::ComputeLayout(QPainter& canvas, const QRect& client,
                                         const QPoint& offset, const QString& caption,
                                         TButtonLayout layout, int margin, int spacing,
                                         unsigned textFlags) const {
    QSize textSize(0, 0);
    if (!caption.isEmpty()) {
        const QFontMetrics metrics(canvas.font());
        textSize =
            metrics.boundingRect(QRect(0, 0, client.width(), 0), Qt::TextShowMnemonic, caption)
                .size();
    }
    const QSize glyphSize(strip_.width() / numGlyphs_, strip_.height());
    return LayoutGlyphAndCaption(client, offset, glyphSize, textSize, layout, margin, spacing,
                                 textFlags);
}

QRect TButtonGlyph::Draw(QPainter& canvas, const QRect& client, const QPoint& offset,
                         const QString& caption, TButtonLayout layout, int margin, int spacing,
                         TGlyphState state, unsigned textFlags) {
    const TGlyphLayout placed =
        ComputeLayout(canvas, client, offset, caption, layout, margin, spacing, textFlags);
    PaintGlyph(canvas, placed.glyphPos, state);
    PaintCaption(canvas, caption, placed.captionRect, state, textFlags);
    return placed.captionRect;
}

bool TButtonGlyph::Sharp(const QPainter& canvas) const {
    if (strip2x_.isNull()) return false;
    // A widget's painting may be redirected (a grab, the backing store): the pixels are those
    // of the engine's device.
    const QPaintEngine* engine = canvas.paintEngine();
    const QPaintDevice* target = engine != nullptr && engine->paintDevice() != nullptr
                                     ? engine->paintDevice()
                                     : canvas.device();
    return target != nullptr && target->devicePixelRatio() >= 1.5;
}

void TButtonGlyph::PaintGlyph(QPainter& canvas, const QPoint& pos, TGlyphState state) {
    if (strip_.isNull() || strip_.width() == 0 || strip_.height() == 0) return;
    if (Sharp(canvas)) {
        const int slot = GetStateImage2x(state);
        if (slot != -1) {
            glyphList2x_->Draw(canvas, slot, pos.x(), pos.y());
            return;
        }
    }
    const int slot = GetStateImage(state);
    if (slot != -1) glyphList_->Draw(canvas, slot, pos.x(), pos.y());
}

void TButtonGlyph::PaintCaption(QPainter& canvas, const QString& caption, const QRect& rect,
                                TGlyphState state, unsigned textFlags) const {
    canvas.save();
    canvas.setBrush(Qt::NoBrush);
    canvas.setLayoutDirection((textFlags & DT_RTLREADING) ? Qt::RightToLeft : Qt::LeftToRight);
    const int format = Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextShowMnemonic;
    if (state == gsDisabled) {
        canvas.setPen(SystemColor(clBtnHighlight));
        canvas.drawText(rect.translated(1, 1), format, caption);
        canvas.setPen(SystemColor(clBtnShadow));
        canvas.drawText(rect, format, caption);
    } else {
        canvas.drawText(rect, format, caption);
    }
    canvas.restore();
}
