#include "controls/button_kinds.h"

#include <array>

#include "controls/glyph_resources.h"

namespace {

constexpr std::array<TKindInfo, 11> kKinds{{
    {"", "", 0, false, false},
    {"OK", "bbokx", 1, true, false},
    {"Cancel", "bbcancelx", 2, false, true},
    {"&Help", "bbhelpx", 0, false, false},
    {"&Yes", "bbyesx", 6, true, false},
    {"&No", "bbnox", 7, false, true},
    {"&Close", "bbclosex", 0, false, false},
    {"Abort", "bbabortx", 3, false, false},
    {"&Retry", "bbretryx", 4, false, false},
    {"&Ignore", "bbignorex", 5, false, false},
    {"&All", "bballx", 8, false, false},
}};

std::array<QImage, 11> KindGlyphs;
std::array<bool, 11> KindGlyphLoaded{};
std::array<QImage, 11> KindGlyphs2x;
std::array<bool, 11> KindGlyph2xLoaded{};

}  // namespace

const TKindInfo& KindInfo(TBitBtnXPKind kind) {
    return kKinds.at(kind);
}

QImage KindGlyph(TBitBtnXPKind kind) {
    if (kind == bkCustom) return {};
    if (!KindGlyphLoaded.at(kind)) {
        KindGlyphs[kind] = LoadGlyphResource(kKinds[kind].glyphResource);
        KindGlyphLoaded[kind] = true;
    }
    return KindGlyphs[kind];
}

QImage KindGlyph2x(TBitBtnXPKind kind) {
    if (kind == bkCustom) return {};
    if (!KindGlyph2xLoaded.at(kind)) {
        KindGlyphs2x[kind] = LoadGlyphResource2x(kKinds[kind].glyphResource);
        KindGlyph2xLoaded[kind] = true;
    }
    return KindGlyphs2x[kind];
}
