#include "controls/edit_button.h"

#include <QPainter>
#include <QStyleOptionButton>
#include <algorithm>

namespace {

// The first cell with its key colour (bottom-left pixel) made transparent.
QImage MaskedCell(const QImage& strip, int numGlyphs) {
    if (strip.isNull()) return {};
    const int cellWidth = strip.width() / std::max(numGlyphs, 1);
    QImage cell =
        strip.copy(0, 0, cellWidth, strip.height()).convertToFormat(QImage::Format_ARGB32);
    const QRgb key = strip.pixel(0, strip.height() - 1);
    for (int y = 0; y < cell.height(); ++y)
        for (int x = 0; x < cell.width(); ++x)
            if (cell.pixel(x, y) == key) cell.setPixel(x, y, qRgba(0, 0, 0, 0));
    return cell;
}

// Disabled look of a single cell: its dark pixels as an etched shape, highlight below-right and
// shadow on top.
QImage EmbossedCell(const QImage& cell, const QColor& light, const QColor& shadow) {
    QImage shape(cell.size(), QImage::Format_ARGB32);
    shape.fill(Qt::transparent);
    for (int y = 0; y < cell.height(); ++y)
        for (int x = 0; x < cell.width(); ++x) {
            const QRgb p = cell.pixel(x, y);
            if (qAlpha(p) != 0 && qGray(p) < 160) shape.setPixel(x, y, qRgba(0, 0, 0, 255));
        }
    QImage result(cell.width() + 1, cell.height() + 1, QImage::Format_ARGB32);
    result.fill(Qt::transparent);
    auto stamp = [&](const QColor& colour, int dx, int dy) {
        for (int y = 0; y < shape.height(); ++y)
            for (int x = 0; x < shape.width(); ++x)
                if (qAlpha(shape.pixel(x, y)) != 0) result.setPixel(x + dx, y + dy, colour.rgba());
    };
    stamp(light, 1, 1);
    stamp(shadow, 0, 0);
    return result;
}

}  // namespace

TEditButton::TEditButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
}

void TEditButton::SetGlyph(const QImage& strip) {
    glyph_ = strip;
    update();
}

void TEditButton::SetNumGlyphs(int count) {
    numGlyphs_ = std::clamp(count, 1, 4);
    update();
}

QSize TEditButton::sizeHint() const {
    const int cellWidth = glyph_.isNull() ? 0 : glyph_.width() / numGlyphs_;
    return {std::max(cellWidth + 6, 21), std::max(glyph_.height() + 4, 17)};
}

void TEditButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const bool pressed = isDown();
    QStyleOptionButton option;
    option.initFrom(this);
    option.state |= pressed ? QStyle::State_Sunken : QStyle::State_Raised;
    option.features = QStyleOptionButton::None;
    style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &option, &painter, this);

    const QImage cell = MaskedCell(glyph_, numGlyphs_);
    if (!cell.isNull()) {
        QImage shown = isEnabled() ? cell
                                   : EmbossedCell(cell, palette().color(QPalette::Light),
                                                  palette().color(QPalette::Dark));
        const int offset = pressed ? 1 : 0;
        const QPoint at((width() - cell.width()) / 2 + offset,
                        (height() - cell.height()) / 2 + offset);
        painter.drawImage(at, shown);
    }
    if (!pressed) {
        // Sets the button off from the text beside it.
        painter.setPen(palette().color(QPalette::Button));
        painter.drawLine(0, 0, 0, height() - 1);
        painter.setPen(palette().color(QPalette::Light));
        painter.drawLine(1, 1, 1, height() - 2);
    }
}
