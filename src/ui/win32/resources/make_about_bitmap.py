#!/usr/bin/env python3
"""Draws the about box's picture, a 32 x 32 24-bit bitmap: a television set whose screen shows a
picture with a station logo in its top-right corner, the logo outlined in light grey the way the
plug-in outlines its region.

    python3 make_about_bitmap.py about.bmp

The output is committed beside this script; run it again only to change the picture."""
import struct
import sys

SIZE = 32

CASE = (58, 52, 48)
CASE_LIGHT = (112, 104, 96)
CASE_DARK = (30, 27, 25)
SKY_TOP = (64, 112, 196)
SKY_BOTTOM = (150, 196, 240)
HILL = (60, 140, 70)
LOGO = (255, 210, 40)
LOGO_MARK = (200, 40, 40)
OUTLINE = (192, 192, 192)
KNOB = (200, 190, 170)
BACKGROUND = (212, 208, 200)


def picture():
    px = [[BACKGROUND for _ in range(SIZE)] for _ in range(SIZE)]

    def rect(x0, y0, x1, y1, colour):  # inclusive corners, y from the top
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                px[y][x] = colour

    # Cabinet with a bevel: light top-left edge, dark bottom-right edge.
    rect(1, 3, 30, 26, CASE)
    rect(1, 3, 30, 3, CASE_LIGHT)
    rect(1, 3, 1, 26, CASE_LIGHT)
    rect(1, 26, 30, 26, CASE_DARK)
    rect(30, 3, 30, 26, CASE_DARK)
    # Aerial.
    for i in range(4):
        px[2 - min(i, 2)][12 - i] = CASE_DARK
        px[2 - min(i, 2)][19 + i] = CASE_DARK
    # Screen: a sky gradient over green hills.
    x0, y0, x1, y1 = 3, 5, 24, 23
    for y in range(y0, y1 + 1):
        t = (y - y0) / (y1 - y0)
        colour = tuple(round(a + (b - a) * t) for a, b in zip(SKY_TOP, SKY_BOTTOM))
        rect(x0, y, x1, y, colour)
    for x in range(x0, x1 + 1):
        top = 19 + round(2 * ((x - x0) % 11 - 5) ** 2 / 25)
        rect(x, min(top, y1), x, y1, HILL)
    # The station logo in the screen's top-right corner, outlined in light grey.
    rect(17, 7, 22, 11, OUTLINE)
    rect(18, 8, 21, 10, LOGO)
    px[9][19] = LOGO_MARK
    px[9][20] = LOGO_MARK
    # Controls on the right of the screen.
    rect(26, 7, 28, 9, KNOB)
    rect(26, 12, 28, 14, KNOB)
    for y in range(17, 24, 2):
        rect(26, y, 28, y, CASE_DARK)
    # Feet.
    rect(4, 27, 7, 28, CASE_DARK)
    rect(24, 27, 27, 28, CASE_DARK)
    return px


def bitmap(px):
    row_bytes = (SIZE * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(px):  # bottom-up
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += bytes(row_bytes - len(line))
        pixels += line
    info = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + pixels


if __name__ == '__main__':
    with open(sys.argv[1], 'wb') as f:
        f.write(bitmap(picture()))
