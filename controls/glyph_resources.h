#pragma once
// The glyph bitmaps compiled into the program (controls/glyphs/glyphs.qrc).
#include <QImage>

// ":/glyphs/<name>.bmp"; a null image when there is no such resource.
QImage LoadGlyphResource(const char* name);
