#pragma once
// The standard kinds of the bitmap button: caption, glyph, modal result and roles of each.
#include <QImage>
#include <QString>

enum TBitBtnXPKind {
    bkCustom,
    bkOK,
    bkCancel,
    bkHelp,
    bkYes,
    bkNo,
    bkClose,
    bkAbort,
    bkRetry,
    bkIgnore,
    bkAll
};

struct TKindInfo {
    const char* caption;
    const char* glyphResource;  // file in controls/glyphs/, lower-case resource name
    int modalResult;
    bool isDefault;
    bool isCancel;
};

// bkCustom has no values of its own; its entry is empty.
const TKindInfo& KindInfo(TBitBtnXPKind kind);

// The kind's two-cell glyph strip, loaded on first use and kept for the whole process
// (KindGlyphs); buttons get a copy. Null for bkCustom.
QImage KindGlyph(TBitBtnXPKind kind);
// The same strip at twice the pixels, for screens that scale by two.
QImage KindGlyph2x(TBitBtnXPKind kind);
