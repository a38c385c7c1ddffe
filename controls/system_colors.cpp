#include "controls/system_colors.h"

#include <QApplication>
#include <QPalette>

QColor SystemColor(TSystemColor color) {
    const QPalette palette = QApplication::palette();
    switch (color) {
        case clBtnFace:
            return palette.color(QPalette::Active, QPalette::Button);
        case clBtnShadow:
            return palette.color(QPalette::Active, QPalette::Dark);
        case clBtnHighlight:
            return palette.color(QPalette::Active, QPalette::Light);
        case clWindowFrame:
            return palette.color(QPalette::Active, QPalette::WindowText);
        case cl3DDkShadow:
            return palette.color(QPalette::Active, QPalette::Shadow);
        case cl3DLight:
            return palette.color(QPalette::Active, QPalette::Midlight);
    }
    return {};
}
