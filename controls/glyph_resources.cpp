#include "controls/glyph_resources.h"

#include <QString>

// The resource lives in a static library: without an explicit reference the linker drops it.
static void InitGlyphResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(glyphs);
        return true;
    }();
    (void)done;
}

QImage LoadGlyphResource(const char* name) {
    InitGlyphResources();
    return QImage(QStringLiteral(":/glyphs/%1.bmp").arg(QString::fromLatin1(name)));
}

QImage LoadGlyphResource2x(const char* name) {
    InitGlyphResources();
    QImage image(QStringLiteral(":/glyphs/%1@2x.bmp").arg(QString::fromLatin1(name)));
    if (!image.isNull()) image.setDevicePixelRatio(2);
    return image;
}
