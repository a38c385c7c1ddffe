#!/usr/bin/env python3
"""Draws the button glyph strips and writes them as 16-colour BMP files into controls/glyphs/.

Each strip holds two cells side by side: the picture, then its disabled version (the picture's
silhouette in grey with a white shadow one pixel right and down). The bottom-left pixel is the
background, which the buttons treat as transparent. Every strip is written twice from the same
drawing: NAME.bmp at its size, and NAME@2x.bmp at twice the pixels for screens that scale by
two, where the shapes are sampled twice as finely rather than blown up. Run again after
changing a picture; the BMPs are committed.
"""
import math
import os
import struct
import sys

PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)


class Cell:
    """A picture in the glyph's own units (one unit a pixel of the plain strip), held as pixels
    at `scale` pixels to the unit."""

    def __init__(self, width, height, background, scale=1):
        self.s = scale
        self.w, self.h, self.bg = width * scale, height * scale, background
        self.px = [[background] * self.w for _ in range(self.h)]

    def fill(self, inside, colour):
        """Sets every pixel whose centre, in units, satisfies inside(x, y)."""
        for y in range(self.h):
            for x in range(self.w):
                if inside((x + 0.5) / self.s, (y + 0.5) / self.s):
                    self.px[y][x] = colour

    def line(self, x0, y0, x1, y1, radius, colour):
        def inside(x, y):
            dx, dy = x1 - x0, y1 - y0
            t = 0.0 if dx == dy == 0 else max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy)))
            return math.hypot(x - (x0 + t * dx), y - (y0 + t * dy)) <= radius
        self.fill(inside, colour)

    def polyline(self, points, radius, colour):
        for (x0, y0), (x1, y1) in zip(points, points[1:]):
            self.line(x0, y0, x1, y1, radius, colour)

    def disc(self, cx, cy, r, colour):
        self.fill(lambda x, y: math.hypot(x - cx, y - cy) <= r, colour)

    def ring(self, cx, cy, r0, r1, colour, start=0.0, end=360.0):
        def inside(x, y):
            d = math.hypot(x - cx, y - cy)
            a = math.degrees(math.atan2(y - cy, x - cx)) % 360.0
            return r0 <= d <= r1 and start <= a <= end
        self.fill(inside, colour)

    def polygon(self, points, colour):
        def inside(x, y):
            hit = False
            for (xa, ya), (xb, yb) in zip(points, points[1:] + points[:1]):
                if (ya > y) != (yb > y) and x < xa + (y - ya) * (xb - xa) / (yb - ya):
                    hit = not hit
            return hit
        self.fill(inside, colour)

    def rect(self, x0, y0, x1, y1, colour):
        """Filled, inclusive bounds in whole units."""
        for y in range(y0 * self.s, (y1 + 1) * self.s):
            for x in range(x0 * self.s, (x1 + 1) * self.s):
                self.px[y][x] = colour

    def frame(self, x0, y0, x1, y1, colour):
        self.rect(x0, y0, x1, y0, colour)
        self.rect(x0, y1, x1, y1, colour)
        self.rect(x0, y0, x0, y1, colour)
        self.rect(x1, y0, x1, y1, colour)

    def bitmap(self, x0, y0, rows, colour):
        for dy, row in enumerate(rows):
            for dx, ch in enumerate(row):
                if ch == "#":
                    self.rect(x0 + dx, y0 + dy, x0 + dx, y0 + dy, colour)


def disabled(cell, shape_colours=None):
    """Grey silhouette with a white shadow one unit off; white pixels of the picture stay
    holes."""
    def in_shape(c):
        if shape_colours is not None:
            return c in shape_colours
        return c not in (cell.bg, WHITE)
    s = cell.s
    out = Cell(cell.w // s, cell.h // s, cell.bg, s)
    shape = [(x, y) for y in range(cell.h) for x in range(cell.w) if in_shape(cell.px[y][x])]
    for x, y in shape:
        if x + s < cell.w and y + s < cell.h:
            out.px[y + s][x + s] = WHITE
    for x, y in shape:
        out.px[y][x] = GREY
    # Keep the transparent corner: the bottom-left pixel names the background.
    out.rect(0, cell.h // s - 1, 0, cell.h // s - 1, cell.bg)
    return out


def write_bmp(path, cells):
    width = sum(c.w for c in cells)
    height = cells[0].h
    rows = []
    for y in range(height - 1, -1, -1):
        indexes = [i for c in cells for i in c.px[y]]
        if len(indexes) % 2:
            indexes.append(0)
        row = bytes((indexes[i] << 4) | indexes[i + 1] for i in range(0, len(indexes), 2))
        rows.append(row + b"\0" * (-len(row) % 4))
    pixels = b"".join(rows)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(pixels), 3780, 3780, 16, 0)
    with open(path, "wb") as f:
        f.write(header + info + palette + pixels)


def check(c, dx=0.0, dy=0.0, radius=1.5, colour=GREEN):
    c.polyline([(3.5 + dx, 9.0 + dy), (7.0 + dx, 12.5 + dy), (14.5 + dx, 4.5 + dy)], radius, colour)


def ok(s):
    c = Cell(18, 18, OLIVE, s)
    check(c)
    return c


def cancel(s):
    c = Cell(18, 18, OLIVE, s)
    c.line(4.5, 4.5, 13.5, 13.5, 1.6, RED)
    c.line(13.5, 4.5, 4.5, 13.5, 1.6, RED)
    return c


QUESTION = [
    ".#####.",
    "##...##",
    "##...##",
    ".....##",
    "....##.",
    "...##..",
    "...##..",
    "...##..",
    ".......",
    "...##..",
    "...##..",
]


def help_(s):
    c = Cell(18, 18, OLIVE, s)
    c.bitmap(6, 3, QUESTION, NAVY)
    return c


def yes(s):
    c = Cell(18, 18, OLIVE, s)
    c.ring(9, 9, 6.2, 7.8, GREEN)
    c.polyline([(5.5, 9.0), (8.0, 11.5), (12.5, 6.0)], 1.1, GREEN)
    return c


def no(s):
    c = Cell(18, 18, OLIVE, s)
    c.ring(9, 9, 5.6, 7.8, RED)
    c.line(4.5, 13.5, 13.5, 4.5, 1.1, RED)
    return c


def close(s):
    c = Cell(18, 18, OLIVE, s)
    c.frame(4, 2, 14, 16, BLACK)
    c.polygon([(5, 3), (11, 5), (11, 17), (5, 16)], TEAL)
    c.rect(9, 9, 9, 10, YELLOW)
    return c


def abort(s):
    c = Cell(18, 18, OLIVE, s)
    c.polygon([(6, 1.5), (12, 1.5), (16.5, 6), (16.5, 12), (12, 16.5), (6, 16.5), (1.5, 12), (1.5, 6)], RED)
    c.rect(5, 8, 12, 9, WHITE)
    return c


def retry(s):
    c = Cell(18, 18, OLIVE, s)
    c.ring(9, 9.5, 4.2, 6.2, BLUE, 40.0, 330.0)
    c.polygon([(11.0, 1.0), (16.5, 5.0), (10.5, 8.5)], BLUE)
    return c


def ignore(s):
    c = Cell(18, 18, OLIVE, s)
    c.rect(7, 12, 10, 16, RED)
    c.ring(8.5, 14.0, 7.0, 8.8, BLUE, 185.0, 330.0)
    c.polygon([(12.5, 12.5), (17.5, 9.0), (17.5, 15.5)], BLUE)
    return c


def all_(s):
    c = Cell(18, 19, OLIVE, s)
    check(c, -1.5, -2.0, 1.2)
    check(c, 1.0, 3.0, 1.2)
    return c


def play_wav(s):
    c = Cell(16, 16, OLIVE, s)
    c.frame(1, 2, 14, 13, BLACK)
    c.polygon([(5, 4.5), (11.5, 8), (5, 11.5)], GREEN)
    return c


def about(s):
    c = Cell(16, 16, OLIVE, s)
    c.disc(8, 8, 7.2, BLUE)
    c.rect(7, 3, 8, 4, WHITE)
    c.rect(7, 6, 8, 12, WHITE)
    c.rect(6, 6, 6, 6, WHITE)
    c.rect(6, 12, 9, 12, WHITE)
    return c


def globe(s):
    c = Cell(16, 16, PURPLE, s)
    c.disc(8, 8, 7.2, BLUE)
    c.polygon([(3, 4), (7, 3), (8, 6), (5, 8), (5, 11), (3, 9)], GREEN)
    c.polygon([(10, 7), (13, 6), (14, 10), (11, 13), (10, 10)], GREEN)
    c.ring(8, 8, 6.3, 7.4, NAVY)
    c.fill(lambda x, y: abs(y - 8) < 0.5 and abs(x - 8) < 7, NAVY)
    c.fill(lambda x, y: abs(x - 8) < 0.5 and abs(y - 8) < 7, NAVY)
    c.fill(lambda x, y: abs(math.hypot((x - 8) * 2.2, y - 8) - 6.9) < 0.8, NAVY)
    return c


GLYPHS = {
    "bbokx": (ok, None), "bbcancelx": (cancel, None), "bbhelpx": (help_, None),
    "bbyesx": (yes, None), "bbnox": (no, None), "bbclosex": (close, {BLACK, YELLOW}),
    "bbabortx": (abort, None), "bbretryx": (retry, None), "bbignorex": (ignore, None),
    "bballx": (all_, None), "playwav": (play_wav, None), "about": (about, None),
    "globe": (globe, {NAVY}),
}


SCALES = ((1, ""), (2, "@2x"))


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "controls", "glyphs")
    os.makedirs(out_dir, exist_ok=True)
    for name, (draw, shape) in GLYPHS.items():
        for scale, suffix in SCALES:
            cell = draw(scale)
            write_bmp(os.path.join(out_dir, name + suffix + ".bmp"), [cell, disabled(cell, shape)])
    with open(os.path.join(out_dir, "glyphs.qrc"), "w") as f:
        f.write('<!DOCTYPE RCC><RCC version="1.0">\n<qresource prefix="/glyphs">\n')
        for name in GLYPHS:
            for _, suffix in SCALES:
                f.write(f"    <file>{name}{suffix}.bmp</file>\n")
        f.write("</qresource>\n</RCC>\n")


if __name__ == "__main__":
    main()
