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
QImage PlayWavGlyph2x() {
    return LoadGlyphResource2x("playwav");
}
QImage AboutGlyph2x() {
    return LoadGlyphResource2x("about");
}
QImage GlobeGlyph2x() {
    return LoadGlyphResource2x("globe");
}
