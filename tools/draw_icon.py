#!/usr/bin/env python3
"""Draws the launcher's application icon and writes resources/setup.ico.

The picture: a rounded blue tile holding a white arrow that points down into
an open tray, "install". Each size is drawn from the same shapes, supersampled
4x4 for smooth edges, and stored as a 32-bit image with alpha.

Run it from anywhere after changing the shapes; commit the new setup.ico.
"""
import os
import struct

SIZES = (16, 24, 32, 48)
SUPERSAMPLE = 4

TILE = (0x1F, 0x5F, 0xAF)      # blue
TILE_EDGE = (0x15, 0x44, 0x80)  # a darker rim
MARK = (0xFF, 0xFF, 0xFF)


def inside_rounded_rect(x, y, left, top, right, bottom, radius):
    if not (left <= x <= right and top <= y <= bottom):
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def inside_polygon(x, y, points):
    hit = False
    j = len(points) - 1
    for i, (xi, yi) in enumerate(points):
        xj, yj = points[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            hit = not hit
        j = i
    return hit


ARROW = [(0.42, 0.16), (0.58, 0.16), (0.58, 0.44), (0.72, 0.44),
         (0.50, 0.66), (0.28, 0.44), (0.42, 0.44)]
TRAY = [(0.20, 0.58), (0.29, 0.58), (0.29, 0.74), (0.71, 0.74), (0.71, 0.58),
        (0.80, 0.58), (0.80, 0.84), (0.20, 0.84)]


def colour_at(u, v):
    """The colour and coverage of one sample at (u, v) in the unit square."""
    if not inside_rounded_rect(u, v, 0.02, 0.02, 0.98, 0.98, 0.18):
        return None
    if inside_polygon(u, v, ARROW) or inside_polygon(u, v, TRAY):
        return MARK
    if not inside_rounded_rect(u, v, 0.07, 0.07, 0.93, 0.93, 0.14):
        return TILE_EDGE
    return TILE


def draw(size):
    """Rows of (b, g, r, a), top row first."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            total = [0, 0, 0]
            covered = 0
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    u = (px + (sx + 0.5) / SUPERSAMPLE) / size
                    v = (py + (sy + 0.5) / SUPERSAMPLE) / size
                    colour = colour_at(u, v)
                    if colour:
                        covered += 1
                        for k in range(3):
                            total[k] += colour[k]
            samples = SUPERSAMPLE * SUPERSAMPLE
            if covered:
                r, g, b = (round(t / covered) for t in total)
            else:
                r = g = b = 0
            row.append((b, g, r, round(255 * covered / samples)))
        rows.append(row)
    return rows


def dib(size, rows):
    """A BITMAPINFOHEADER image as an icon stores it: colour rows bottom-up at
    twice the height, then a 1-bit AND mask, which alpha makes redundant."""
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b''.join(bytes(p) for row in reversed(rows) for p in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def main():
    images = [dib(size, draw(size)) for size in SIZES]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    out += b''.join(images)
    target = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'resources', 'setup.ico')
    with open(target, 'wb') as f:
        f.write(out)
    print(f'{os.path.normpath(target)}: {len(out)} bytes, sizes {SIZES}')


if __name__ == '__main__':
    main()
