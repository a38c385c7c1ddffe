#pragma once
// The windows' own glyph strips: two 16 x 16 cells each (normal, disabled).
#include <QImage>

QImage PlayWavGlyph();  // PlayWAVBtn: a play triangle in a frame, olive background
QImage AboutGlyph();    // AboutBtn: an "i" in a blue disc, olive background
QImage GlobeGlyph();    // the info dialog's web button: a globe on purple (RGB 800080)
