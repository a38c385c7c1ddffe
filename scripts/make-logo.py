#!/usr/bin/env python3
"""Draws the info dialog's logo (a burning log with two beamed notes rising from the flame),
306 x 322, and writes it as a progressive JPEG with cjpeg (libjpeg-turbo-progs); and the same
drawing at twice the pixels, for screens that scale by two, beside it as NAME@2x.jpg.

    scripts/make-logo.py [OUTPUT]      default: app/resources/logo.jpg
"""
import math
import os
import subprocess
import sys
import tempfile

WIDTH, HEIGHT = 306, 322
SUB = 3  # samples per pixel side, for smooth edges


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def in_ellipse(x, y, cx, cy, rx, ry, angle=0.0):
    dx, dy = x - cx, y - cy
    c, s = math.cos(angle), math.sin(angle)
    u, v = dx * c + dy * s, -dx * s + dy * c
    return (u / rx) ** 2 + (v / ry) ** 2 <= 1.0


def in_capsule(x, y, x0, x1, cy, r):
    if x < x0:
        return (x - x0) ** 2 + (y - cy) ** 2 <= r * r
    if x > x1:
        return (x - x1) ** 2 + (y - cy) ** 2 <= r * r
    return abs(y - cy) <= r


def in_flame(x, y, cx, base, height, width, sway):
    """A tongue of flame: round at the bottom, pointed at the top, bent sideways."""
    t = (base - y) / height  # 0 at the bottom, 1 at the tip
    if t < -0.25 or t > 1.0:
        return False
    if t < 0:
        return (x - cx) ** 2 + ((y - base) / 0.25 / height * width) ** 2 <= width ** 2
    half = width * (1.0 - t) ** 0.85 * (1.0 + 0.35 * math.sin(t * math.pi))
    centre = cx + sway * math.sin(t * math.pi * 1.1) * t
    return abs(x - centre) <= half


def in_beam(x, y):
    # Parallelogram between the two stems' tops.
    xa, ya, xb, yb = 214, 62, 274, 44
    if x < xa or x > xb:
        return False
    top = ya + (yb - ya) * (x - xa) / (xb - xa)
    return top <= y <= top + 13


NOTE = (58, 28, 22)
BARK = (112, 66, 36)
BARK_DARK = (78, 44, 24)
GRAIN = (226, 188, 138)
RING = (176, 128, 82)
FLAMES = [  # outer to inner: colour, width, height, sway
    ((214, 64, 28), 62, 168, 18),
    ((240, 128, 36), 44, 132, 14),
    ((252, 200, 70), 26, 92, 9),
    ((255, 240, 170), 12, 52, 5),
]


def colour_at(x, y):
    # Warm paper, lighter around the fire.
    c = mix((252, 236, 212), (236, 192, 150), y / HEIGHT)
    glow = math.exp(-(((x - 140) / 110) ** 2 + ((y - 170) / 120) ** 2))
    c = mix(c, (255, 246, 214), 0.7 * glow)
    if in_ellipse(x, y, 150, 300, 128, 11):
        c = mix(c, (150, 100, 70), 0.45)
    # The log at the back, then the one in front with its cut end.
    if in_capsule(x, y, 96, 256, 250, 20):
        c = BARK_DARK if int(y) % 9 in (0, 1) else mix(BARK, BARK_DARK, 0.35)
    if in_capsule(x, y, 54, 236, 276, 24):
        streak = math.sin(y * 0.9 + math.sin(x * 0.05) * 3.0)
        c = BARK_DARK if streak > 0.75 else BARK
        if in_ellipse(x, y, 54, 276, 15, 24):
            d = math.hypot((x - 54) / 15, (y - 276) / 24)
            c = RING if int(d * 6) % 2 else GRAIN
            if d < 0.12:
                c = RING
    for colour, width, height, sway in FLAMES:
        if in_flame(x, y, 140, 252, height, width, sway):
            c = colour
    # Sparks.
    for sx, sy, r in ((96, 96, 3.2), (186, 78, 2.6), (118, 52, 2.0), (70, 140, 2.2)):
        if (x - sx) ** 2 + (y - sy) ** 2 <= r * r:
            c = (250, 170, 50)
    # Two beamed eighth notes rising from the flame.
    if in_ellipse(x, y, 203, 146, 14, 10, -0.42) or in_ellipse(x, y, 263, 128, 14, 10, -0.42):
        c = NOTE
    if 211 <= x <= 216 and 62 <= y <= 144 or 271 <= x <= 276 and 44 <= y <= 126:
        c = NOTE
    if in_beam(x, y):
        c = NOTE
    return c


def render(scale):
    """The picture at `scale` pixels to a unit of the drawing."""
    pixels = bytearray()
    step = 1.0 / SUB
    for py in range(HEIGHT * scale):
        for px in range(WIDTH * scale):
            acc = [0.0, 0.0, 0.0]
            for sy in range(SUB):
                for sx in range(SUB):
                    c = colour_at((px + (sx + 0.5) * step) / scale,
                                  (py + (sy + 0.5) * step) / scale)
                    for i in range(3):
                        acc[i] += c[i]
            pixels.extend(min(255, int(round(v / (SUB * SUB)))) for v in acc)
    return bytes(pixels)


def write_jpeg(output, scale):
    with tempfile.NamedTemporaryFile(suffix=".ppm", delete=False) as ppm:
        ppm.write(b"P6\n%d %d\n255\n" % (WIDTH * scale, HEIGHT * scale))
        ppm.write(render(scale))
    try:
        subprocess.run(["cjpeg", "-progressive", "-quality", "90", "-outfile", output, ppm.name],
                       check=True)
    finally:
        os.unlink(ppm.name)
    print(output)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "app", "resources", "logo.jpg")
    stem, ext = os.path.splitext(output)
    write_jpeg(output, 1)
    write_jpeg(stem + "@2x" + ext, 2)


if __name__ == "__main__":
    main()
