#pragma once
// The look of the bitmap button's face, apart from its behaviour: the themed face comes from the
// widget's QStyle, the classic one is drawn here in the old 3-D manner.
#include <QColor>
#include <QRect>

class QPainter;
class QStyle;
class QWidget;

// Frame-control flags, with their window-system values.
constexpr unsigned DFCS_BUTTONPUSH = 0x0010;
constexpr unsigned DFCS_ADJUSTRECT = 0x2000;
constexpr unsigned DFCS_INACTIVE = 0x0100;
constexpr unsigned DFCS_PUSHED = 0x0200;

// "Windows" is the classic style; every other style counts as a theme. The button asks its own
// style, which is the application's unless one was set on the button. A themed face looks the
// same whether the button is active or not; only the focus rectangle tells.
bool IsThemedStyle(const QStyle* style);

struct TFaceState {
    QRect client;
    bool down = false;
    bool focus = false;
    bool disabled = false;
    bool isActive = false;
    bool themed = false;
    QColor color;  // the control's face colour, clears the themed face's corners
};

// Frame and panel; returns the rectangle left inside for glyph and caption.
QRect PaintButtonFace(QPainter& painter, const QWidget& button, const TFaceState& face);
// The dotted focus rectangle, drawn only for the active button that has the focus.
void PaintButtonFocus(QPainter& painter, const TFaceState& face);

// GDI-style rectangle: 1-pixel outline inside r (right and bottom exclusive), interior filled
// unless fill is invalid.
void DrawRectangle(QPainter& painter, const QRect& r, const QColor& pen, const QColor& fill);
// The raised push-button frame; with DFCS_ADJUSTRECT r shrinks to the inside of the frame.
void DrawFrameControl(QPainter& painter, QRect& r, unsigned flags);
// Every other pixel of the outline inverted, so it shows on any face.
void DrawFocusRect(QPainter& painter, const QRect& r);
