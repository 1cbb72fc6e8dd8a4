#!/usr/bin/env python3
"""Draws the program's pictures and writes them as resource files (standard library only).

    python3 tools/make_resources.py [output folder, default: res/ beside this script's folder]

res/hx350.ico  icon 128: a thermometer at 16x16, 32x32 and 48x48 (32-bit with alpha and a 1-bit mask)
res/wait.bmp   bitmap 310 of the wait window: a thermometer with a scale, 57x109 pixels, 16 colours

The shapes are described once in unit coordinates and rasterised per size, so every size shows the same
thermometer. The output is deterministic: running the script again gives the same bytes.
"""

import math
import os
import struct
import sys

# ---------------------------------------------------------------------------------------------------------------
# Geometry: signed distances (negative inside) in unit coordinates, x to the right and y downwards.


def circle(px, py, cx, cy, r):
    return math.hypot(px - cx, py - cy) - r


def capsule(px, py, x, y0, y1, r):
    """A vertical segment from (x, y0) to (x, y1) widened by r."""
    cy = min(max(py, y0), y1)
    return math.hypot(px - x, py - cy) - r


def box(px, py, x0, y0, x1, y1):
    dx = max(x0 - px, px - x1)
    dy = max(y0 - py, py - y1)
    if dx <= 0 and dy <= 0:
        return max(dx, dy)
    return math.hypot(max(dx, 0), max(dy, 0))


class Thermometer:
    """A glass tube with a bulb, a red column and scale marks, in a box of aspect `aspect` (width / height)."""

    def __init__(self, aspect, outline, ticks, tick_side, x, tube_r, bulb_r):
        self.aspect = aspect
        self.outline = outline  # outline thickness, in units of the height
        self.ticks = ticks  # y positions of the scale marks
        self.tick_side = tick_side  # +1: marks right of the tube, -1: left
        self.x = x  # centre line, in units of the width
        self.tube_top = 0.10
        self.tube_bottom = 0.66
        self.tube_r = tube_r  # in units of the height
        self.bulb_y = 0.80
        self.bulb_r = bulb_r
        self.column_top = 0.36

    def layer(self, px, py):
        """Name of the topmost layer at (px, py), or None outside the picture."""
        # Work in a square space so that circles stay round in a tall box.
        sx = px * self.aspect
        x = self.x * self.aspect
        t = self.outline
        outer = min(capsule(sx, py, x, self.tube_top, self.tube_bottom, self.tube_r),
                    circle(sx, py, x, self.bulb_y, self.bulb_r))
        inner = min(capsule(sx, py, x, self.tube_top, self.tube_bottom, self.tube_r - t),
                    circle(sx, py, x, self.bulb_y, self.bulb_r - t))
        column = min(capsule(sx, py, x, self.column_top, self.bulb_y, (self.tube_r - t) * 0.55),
                     circle(sx, py, x, self.bulb_y, self.bulb_r - t * 1.8))
        if column <= 0:
            shine = circle(sx, py, x - self.bulb_r * 0.35, self.bulb_y - self.bulb_r * 0.35, self.bulb_r * 0.22)
            return "shine" if shine <= 0 else "red"
        if inner <= 0:
            # A thin reflection along the left side of the glass.
            edge = capsule(sx, py, x - (self.tube_r - t) * 0.5, self.tube_top, self.tube_bottom,
                           (self.tube_r - t) * 0.18)
            return "highlight" if edge <= 0 else "glass"
        if outer <= 0:
            return "outline"
        side = self.tick_side
        for i, ty in enumerate(self.ticks):
            length = self.tube_r * (1.2 if i % 2 == 0 else 0.7)
            start = x + side * (self.tube_r + t * 0.8)
            end = start + side * length
            x0, x1 = min(start, end), max(start, end)
            if box(sx, py, x0, ty - t * 0.5, x1, ty + t * 0.5) <= 0:
                return "tick"
        return None


# ---------------------------------------------------------------------------------------------------------------
# Icon: 32-bit BGRA with alpha, supersampled.

ICON_COLOURS = {
    "outline": (40, 48, 80),
    "glass": (236, 244, 255),
    "highlight": (255, 255, 255),
    "red": (214, 28, 28),
    "shine": (255, 150, 150),
    "tick": (40, 48, 80),
}


def render_icon(size):
    outline = max(0.06, 1.05 / size)
    if size >= 32:
        shape = Thermometer(1.0, outline, [0.18, 0.28, 0.38, 0.48, 0.58], +1, 0.42, 0.115, 0.17)
    else:
        # Few pixels: a wider tube and fewer marks keep it readable.
        shape = Thermometer(1.0, outline, [0.25, 0.45], +1, 0.40, 0.16, 0.21)
        shape.bulb_y = 0.77
    samples = 4
    pixels = []  # rows top-down of (r, g, b, a)
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0.0, 0.0, 0.0]
            covered = 0
            for sy in range(samples):
                for sx in range(samples):
                    name = shape.layer((x + (sx + 0.5) / samples) / size, (y + (sy + 0.5) / samples) / size)
                    if name:
                        colour = ICON_COLOURS[name]
                        for i in range(3):
                            acc[i] += colour[i]
                        covered += 1
            if covered:
                row.append(tuple(round(acc[i] / covered) for i in range(3)) + (round(255 * covered / samples ** 2),))
            else:
                row.append((0, 0, 0, 0))
        pixels.append(row)
    return pixels


def icon_image(pixels):
    """One icon image: BITMAPINFOHEADER (double height), bottom-up BGRA, then the AND mask."""
    size = len(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    for row in reversed(pixels):
        for r, g, b, a in row:
            colour += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(colour) + bytes(mask)


def write_icon(path, sizes):
    images = [icon_image(render_icon(size)) for size in sizes]
    data = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        data += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    for image in images:
        data += image
    with open(path, "wb") as out:
        out.write(data)


# ---------------------------------------------------------------------------------------------------------------
# Wait picture: 4 bits per pixel with its own 16-colour palette.

PALETTE = [
    (240, 240, 240),  # 0 dialog face (background)
    (40, 48, 80),  # 1 outline
    (236, 244, 255),  # 2 glass
    (255, 255, 255),  # 3 highlight
    (214, 28, 28),  # 4 red column
    (255, 150, 150),  # 5 shine
    (40, 48, 80),  # 6 scale marks
    (160, 168, 184),  # 7 shadow
] + [(0, 0, 0)] * 8

BITMAP_INDEX = {None: 0, "outline": 1, "glass": 2, "highlight": 3, "red": 4, "shine": 5, "tick": 6}


def render_wait_picture(width, height):
    aspect = width / height
    ticks = [0.14 + 0.06 * i for i in range(9)]
    shape = Thermometer(aspect, 2.2 / height, ticks, -1, 0.60, 0.075, 0.125)
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            row.append(BITMAP_INDEX[shape.layer((x + 0.5) / width, (y + 0.5) / height)])
        rows.append(row)
    # A soft shadow one pixel right and down of the glass, so the picture does not look flat on the dialog face.
    shadowed = [list(row) for row in rows]
    for y in range(1, height):
        for x in range(1, width):
            if rows[y][x] == 0 and rows[y - 1][x - 1] in (1,):
                shadowed[y][x] = 7
    return shadowed


def write_bitmap(path, rows):
    height = len(rows)
    width = len(rows[0])
    stride = ((width * 4 + 31) // 32) * 4
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, index in enumerate(row):
            line[x // 2] |= index << (4 if x % 2 == 0 else 0)
        pixels += line
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in PALETTE)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(pixels), 3780, 3780, 16, 16)
    offset = 14 + len(info) + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    with open(path, "wb") as out:
        out.write(header + info + palette + bytes(pixels))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(here), "res")
    write_icon(os.path.join(folder, "hx350.ico"), [16, 32, 48])
    write_bitmap(os.path.join(folder, "wait.bmp"), render_wait_picture(57, 109))


if __name__ == "__main__":
    main()
