#!/usr/bin/env python3
"""Draws the client's icon (a printer on a blue tile) at every size Windows asks for
at 100 % to 200 % scaling, and writes them as one .ico file.

The design lives on a 48 x 48 grid; each size snaps the shapes' edges to its own pixel
grid, so no edge is blurred, and only the tile's rounded corners are smoothed.
Usage: make_icon.py OUT.ico
"""
import struct
import sys

SIZES = (16, 20, 24, 32, 40, 48, 64)
GRID = 48
BLUE = (31, 95, 168)
# Painted in order, each over the last: (colour, x0, y0, x1, y1) on the 48 grid.
SHAPES = (
    ((232, 238, 246), 14, 6, 34, 18),   # the paper going in
    ((255, 255, 255), 8, 18, 40, 34),   # the printer
    (BLUE, 12, 27, 36, 30),             # its slot
    ((60, 195, 107), 33, 21, 38, 25),   # the light
    ((255, 255, 255), 14, 34, 34, 42),  # the tray
    ((159, 182, 211), 16, 34, 32, 37),  # the paper coming out
)
CORNER = 6  # the tile's corner radius on the grid


def tile_alpha(size, x, y):
    """Coverage of pixel (x, y) by the rounded tile, from 8 x 8 samples."""
    radius = CORNER * size / GRID
    inside = 0
    for i in range(8):
        for j in range(8):
            px, py = x + (i + 0.5) / 8, y + (j + 0.5) / 8
            cx = min(max(px, radius), size - radius)
            cy = min(max(py, radius), size - radius)
            inside += (px - cx) ** 2 + (py - cy) ** 2 <= radius * radius
    return round(255 * inside / 64)


def render(size):
    snap = lambda v: round(v * size / GRID)
    pixels = []
    for y in range(size):
        row = []
        for x in range(size):
            colour = BLUE
            for shape, x0, y0, x1, y1 in SHAPES:
                if snap(x0) <= x < snap(x1) and snap(y0) <= y < snap(y1):
                    colour = shape
            row.append(colour + (tile_alpha(size, x, y),))
        pixels.append(row)
    return pixels


def dib(size, pixels):
    """A 32-bit bottom-up DIB with its (empty) AND mask, as an icon frame holds it."""
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    body = b''.join(bytes((b, g, r, a)) for row in reversed(pixels) for (r, g, b, a) in row)
    mask = bytes(((size + 31) // 32) * 4 * size)
    return header + body + mask


def main(out):
    frames = [dib(size, render(size)) for size in SIZES]
    data = struct.pack('<HHH', 0, 1, len(frames))
    offset = 6 + 16 * len(frames)
    for size, frame in zip(SIZES, frames):
        data += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(frame), offset)
        offset += len(frame)
    with open(out, 'wb') as f:
        f.write(data + b''.join(frames))


if __name__ == '__main__':
    main(sys.argv[1])
