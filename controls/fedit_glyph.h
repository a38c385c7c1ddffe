#pragma once
// "FEDITBMP": the browse glyph of the file-name field, an open folder with a curved arrow above
// it, 14 x 12, black, white and grey on magenta (the bottom-left pixel's colour is transparent).
#include <QImage>

// Made on first use and shared by every field.
const QImage& FileEditGlyph();
