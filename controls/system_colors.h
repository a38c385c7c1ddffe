#pragma once
// The button colours of the desktop, taken from the application's palette at the moment they
// are needed, so a palette change shows on the next repaint.
#include <QColor>

enum TSystemColor {
    clBtnFace,       // QPalette::Button: face of buttons and dialogs
    clBtnShadow,     // QPalette::Dark: the grey shadow edge
    clBtnHighlight,  // QPalette::Light: the lit edge, white on most palettes
    clWindowFrame,   // QPalette::WindowText: the black outer frame of the active button
    cl3DDkShadow,    // QPalette::Shadow: the outermost dark edge of a raised frame
    cl3DLight,       // QPalette::Midlight: the inner lit edge of a raised frame
};

QColor SystemColor(TSystemColor color);
