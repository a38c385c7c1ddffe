#pragma once
// The windows' own glyph strips: two 16 x 16 cells each (normal, disabled), and each drawn again
// at twice the pixels (2x) for screens that scale by two.
#include <QImage>

QImage PlayWavGlyph();  // PlayWAVBtn: a play triangle in a frame, olive background
QImage AboutGlyph();    // AboutBtn: an "i" in a blue disc, olive background
QImage GlobeGlyph();    // the info dialog's web button: a globe on purple (RGB 800080)
QImage PlayWavGlyph2x();
QImage AboutGlyph2x();
QImage GlobeGlyph2x();
