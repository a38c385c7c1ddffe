#pragma once
// The glyph bitmaps compiled into the program (controls/glyphs/glyphs.qrc).
#include <QImage>

// ":/glyphs/<name>.bmp"; a null image when there is no such resource.
QImage LoadGlyphResource(const char* name);
// ":/glyphs/<name>@2x.bmp", the same picture at twice the pixels for screens that scale by two or
// more, with device pixel ratio 2; a null image when there is none.
QImage LoadGlyphResource2x(const char* name);
