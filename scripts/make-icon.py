#!/usr/bin/env python3
"""Draws Kelp's program icon (res/kelp.ico): a paper receipt with a kelp leaf
across it, at 48, 32 and 16 pixels, 32-bit colour with alpha plus the 1-bit
mask that older Windows versions draw with. Standard library only.

Usage: scripts/make-icon.py [output.ico]   (default: res/kelp.ico)
"""
import math
import os
import struct
import sys

SIZES = (48, 32, 16)
SUPERSAMPLE = 4

PAPER = (252, 251, 244)
PAPER_EDGE = (96, 104, 112)
INK = (150, 156, 164)
LEAF_LIGHT = (86, 190, 104)
LEAF_DARK = (22, 112, 62)
LEAF_EDGE = (12, 74, 40)
RIB = (200, 236, 190)


def receipt_bottom(u):
    """Torn zig-zag lower edge of the receipt."""
    teeth = 5
    phase = ((u - 0.16) * teeth / 0.52) % 1.0
    return 0.84 + 0.05 * abs(2.0 * phase - 1.0)


def inside_receipt(u, v, grow=0.0):
    return 0.16 - grow <= u <= 0.68 + grow and 0.06 - grow <= v <= receipt_bottom(u) + grow


def leaf_coords(u, v):
    """Position in the leaf's own frame: s along the leaf (-1..1), t across."""
    cx, cy, angle = 0.64, 0.60, math.radians(-58)
    du, dv = u - cx, v - cy
    along = du * math.cos(angle) + dv * math.sin(angle)
    across = -du * math.sin(angle) + dv * math.cos(angle)
    s = along / 0.40
    # bend the leaf a little, as kelp drifts
    across -= 0.07 * (1.0 - s * s)
    return s, across


def leaf_halfwidth(s):
    if abs(s) >= 1.0:
        return -1.0
    return 0.14 * math.sqrt(1.0 - s * s) * (1.0 - 0.35 * s)


def sample(u, v):
    """Colour (r, g, b, a) of the picture at (u, v) in the unit square."""
    s, t = leaf_coords(u, v)
    w = leaf_halfwidth(s)
    if w > 0 and abs(t) <= w:
        if abs(t) >= w - 0.035:
            return LEAF_EDGE + (255,)
        if abs(t) < 0.014 and abs(s) < 0.85:
            return RIB + (255,)
        k = (s + 1.0) / 2.0
        colour = tuple(int(a + (b - a) * k) for a, b in zip(LEAF_LIGHT, LEAF_DARK))
        return colour + (255,)
    if inside_receipt(u, v):
        if not inside_receipt(u, v, grow=-0.035):
            return PAPER_EDGE + (255,)
        for line_v, right in ((0.18, 0.58), (0.30, 0.52), (0.42, 0.58), (0.54, 0.46)):
            if abs(v - line_v) <= 0.025 and 0.25 <= u <= right:
                return INK + (255,)
        return PAPER + (255,)
    return (0, 0, 0, 0)


def render(size):
    """Rows of (r, g, b, a), top row first."""
    rows = []
    n = SUPERSAMPLE
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(n):
                for sx in range(n):
                    r, g, b, a = sample((x + (sx + 0.5) / n) / size, (y + (sy + 0.5) / n) / size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            alpha = acc[3] / (n * n)
            if acc[3]:
                row.append(tuple(int(round(c / acc[3])) for c in acc[:3]) + (int(round(alpha)),))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def icon_image(size):
    """One ICO image: BITMAPINFOHEADER, BGRA rows bottom-up, AND mask."""
    rows = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + colour + bytes(mask)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "res", "kelp.ico")
    images = [icon_image(size) for size in SIZES]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        data += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    data += b"".join(images)
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
