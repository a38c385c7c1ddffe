#include "controls/button_face.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QWidget>

#include "controls/system_colors.h"

bool IsThemedStyle(const QStyle* style) {
    return style != nullptr &&
           style->name().compare(QLatin1String("windows"), Qt::CaseInsensitive) != 0;
}

void DrawRectangle(QPainter& painter, const QRect& r, const QColor& pen, const QColor& fill) {
    if (r.width() <= 0 || r.height() <= 0) return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    if (fill.isValid() && r.width() > 2 && r.height() > 2)
        painter.fillRect(r.adjusted(1, 1, -1, -1), fill);
    painter.setPen(QPen(pen, 0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(r.adjusted(0, 0, -1, -1));
    painter.restore();
}

namespace {

// Top and left edges in one colour, bottom and right in another, one pixel wide.
void DrawEdge(QPainter& painter, const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
    const int l = r.left(), t = r.top(), rt = r.left() + r.width() - 1,
              b = r.top() + r.height() - 1;
    painter.setPen(QPen(topLeft, 0));
    painter.drawLine(l, t, rt - 1, t);
    painter.drawLine(l, t, l, b - 1);
    painter.setPen(QPen(bottomRight, 0));
    painter.drawLine(l, b, rt, b);
    painter.drawLine(rt, t, rt, b);
}

}  // namespace

void DrawFrameControl(QPainter& painter, QRect& r, unsigned flags) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    if (flags & DFCS_PUSHED) {
        DrawEdge(painter, r, SystemColor(cl3DDkShadow), SystemColor(clBtnHighlight));
        DrawEdge(painter, r.adjusted(1, 1, -1, -1), SystemColor(clBtnShadow),
                 SystemColor(cl3DLight));
    } else {
        DrawEdge(painter, r, SystemColor(clBtnHighlight), SystemColor(cl3DDkShadow));
        DrawEdge(painter, r.adjusted(1, 1, -1, -1), SystemColor(cl3DLight),
                 SystemColor(clBtnShadow));
    }
    const QRect inside = r.adjusted(2, 2, -2, -2);
    if (inside.width() > 0 && inside.height() > 0) painter.fillRect(inside, SystemColor(clBtnFace));
    painter.restore();
    if (flags & DFCS_ADJUSTRECT) r = inside;
}

void DrawFocusRect(QPainter& painter, const QRect& r) {
    if (r.width() <= 0 || r.height() <= 0) return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.setPen(QPen(Qt::white, 0));
    // A checkered dot pattern fixed to the surface, so corners never get a double dot.
    const int l = r.left(), t = r.top(), rt = r.left() + r.width() - 1,
              b = r.top() + r.height() - 1;
    auto dot = [&](int x, int y) {
        if (((x + y) & 1) == 0) painter.drawPoint(x, y);
    };
    for (int x = l; x <= rt; ++x) {
        dot(x, t);
        if (b != t) dot(x, b);
    }
    for (int y = t + 1; y < b; ++y) {
        dot(l, y);
        if (rt != l) dot(rt, y);
    }
    painter.restore();
}

QRect PaintButtonFace(QPainter& painter, const QWidget& button, const TFaceState& face) {
    QRect r = face.client;
    if (face.themed) DrawRectangle(painter, r, face.color, face.color);
    unsigned flags = DFCS_BUTTONPUSH | DFCS_ADJUSTRECT;
    if (face.down) flags |= DFCS_PUSHED;
    if (face.disabled) flags |= DFCS_INACTIVE;
    if (!face.themed && (face.isActive || face.focus)) {
        DrawRectangle(painter, r, SystemColor(clWindowFrame), QColor());
        r.adjust(1, 1, -1, -1);
    }
    if (face.themed) {
        QStyleOptionButton option;
        option.initFrom(&button);
        option.rect = r;
        option.state &= ~(QStyle::State_HasFocus | QStyle::State_MouseOver | QStyle::State_Sunken |
                          QStyle::State_Raised | QStyle::State_On);
        option.state |= face.down ? QStyle::State_Sunken : QStyle::State_Raised;
        if (face.disabled) option.state &= ~QStyle::State_Enabled;
        button.style()->drawControl(QStyle::CE_PushButtonBevel, &option, &painter, &button);
        if (face.down) r.adjust(1, 1, -1, -1);
    } else if (face.down) {
        DrawRectangle(painter, r, SystemColor(clBtnShadow), SystemColor(clBtnFace));
        r.adjust(1, 1, -1, -1);
    } else {
        DrawFrameControl(painter, r, flags);
    }
    if (face.isActive) r = face.client.adjusted(1, 1, -1, -1);
    return r;
}

void PaintButtonFocus(QPainter& painter, const TFaceState& face) {
    if (face.isActive && face.focus) DrawFocusRect(painter, face.client.adjusted(4, 4, -4, -4));
}
