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
