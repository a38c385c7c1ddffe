#include "controls/app_glyphs.h"

#include "controls/glyph_resources.h"

QImage PlayWavGlyph() {
    return LoadGlyphResource("playwav");
}
QImage AboutGlyph() {
    return LoadGlyphResource("about");
}
QImage GlobeGlyph() {
    return LoadGlyphResource("globe");
}
