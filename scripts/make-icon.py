#!/usr/bin/env python3
"""Draws the program's icon from the info dialog's logo (the burning log with its two notes,
drawn by make-logo.py): the logo's scene on a rounded tile of its warm paper, as PNG files of
48, 128 and 256 pixels. Run again after changing the logo; the PNGs are committed.

    scripts/make-icon.py [FOLDER]      default: data/icons, writing tonvera-SIZE.png
"""
import importlib.util
import os
import struct
import sys
import zlib

SIZES = (48, 128, 256)
SUB = 4  # samples per pixel side
# The part of the logo that holds the scene, a square in logo pixels.
CROP_X, CROP_Y, CROP = 2.0, 26.0, 300.0
MARGIN = 1.0 / 24  # of the icon's side, clear around the tile
RADIUS = 0.2  # the tile's corner radius, of its side


def load_logo(root):
    spec = importlib.util.spec_from_file_location("make_logo", os.path.join(root, "scripts", "make-logo.py"))
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def in_tile(u, v):
    """Whether the point (in 0..1 of the icon) lies on the rounded tile."""
    lo, hi = MARGIN, 1.0 - MARGIN
    if not (lo <= u <= hi and lo <= v <= hi):
        return False
    r = RADIUS * (hi - lo)
    cu = min(max(u, lo + r), hi - r)
    cv = min(max(v, lo + r), hi - r)
    return (u - cu) ** 2 + (v - cv) ** 2 <= r * r


def render(logo, size):
    rows = []
    step = 1.0 / SUB
    for py in range(size):
        row = bytearray([0])  # PNG filter: none
        for px in range(size):
            acc = [0.0, 0.0, 0.0]
            covered = 0
            for sy in range(SUB):
                for sx in range(SUB):
                    u = (px + (sx + 0.5) * step) / size
                    v = (py + (sy + 0.5) * step) / size
                    if not in_tile(u, v):
                        continue
                    c = logo.colour_at(CROP_X + u * CROP, CROP_Y + v * CROP)
                    covered += 1
                    for i in range(3):
                        acc[i] += c[i]
            if covered:
                row.extend(min(255, int(round(a / covered))) for a in acc)
            else:
                row.extend((0, 0, 0))
            row.append(int(round(255 * covered / (SUB * SUB))))
        rows.append(bytes(row))
    return b"".join(rows)


def png(size, rgba):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(rgba, 9)) + chunk(b"IEND", b""))


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "data", "icons")
    os.makedirs(folder, exist_ok=True)
    logo = load_logo(root)
    for size in SIZES:
        path = os.path.join(folder, "tonvera-%d.png" % size)
        with open(path, "wb") as f:
            f.write(png(size, render(logo, size)))
        print(path)


if __name__ == "__main__":
    main()
