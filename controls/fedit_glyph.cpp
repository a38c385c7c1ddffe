#include "controls/fedit_glyph.h"

#include <array>

namespace {

// One character per pixel: m magenta (transparent), k black, w white, g grey, s silver.
constexpr std::array<const char*, 12> kRows = {
    "mmmmmkkkkmmmmm",  //
    "mmmmkmmmmkmmmm",  //
    "mmmmkmmmkkkkkm",  //
    "mmmmmmmmmkkkmm",  //
    "mkkkkmmmmmkmmm",  //
    "kwwwwkkkkkkkmm",  //
    "kwgggggggggkmm",  //
    "kwggkkkkkkkkkk",  //
    "kwgkwwwwwwwwkm",  //
    "kwksssssssskmm",  //
    "kksssssssskmmm",  //
    "mkkkkkkkkkmmmm",  //
};

QRgb ColourOf(char c) {
    switch (c) {
        case 'k':
            return qRgb(0, 0, 0);
        case 'w':
            return qRgb(255, 255, 255);
        case 'g':
            return qRgb(128, 128, 128);
        case 's':
            return qRgb(192, 192, 192);
        default:
            return qRgb(255, 0, 255);
    }
}

QImage MakeGlyph() {
    QImage image(14, 12, QImage::Format_RGB32);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 14; ++x) image.setPixel(x, y, ColourOf(kRows[y][x]));
    return image;
}

}  // namespace

const QImage& FileEditGlyph() {
    static const QImage glyph = MakeGlyph();
    return glyph;
}
