#!/usr/bin/env python3
"""Draws the window's images: the result page's PNGs (107 error, 109 finished, 110 restart
needed; 192 x 192 RGBA) and the program icon (16, 32 and 48 pixels, 32 bits per pixel).

Every shape is a disc or a stroke with round ends, drawn from its distance to the pixel
centre, so the edges are anti-aliased without supersampling. Only the standard library is
used (zlib and struct for the PNG and ICO formats).

Usage: MakeImages.py <output directory>
"""
import math
import os
import struct
import sys
import zlib

WHITE = (255, 255, 255)


def disc(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def stroke(points, half_width):
    """A polyline of segments with round joins and ends."""
    segments = list(zip(points, points[1:]))

    def distance(x, y):
        best = float("inf")
        for (ax, ay), (bx, by) in segments:
            dx, dy = bx - ax, by - ay
            t = ((x - ax) * dx + (y - ay) * dy) / float(dx * dx + dy * dy)
            t = max(0.0, min(1.0, t))
            best = min(best, math.hypot(x - (ax + t * dx), y - (ay + t * dy)))
        return best - half_width

    return distance


def coverage(distance, x, y, scale):
    # Distances are in units of the 192-pixel design; a pixel is 1 / scale of them.
    return max(0.0, min(1.0, 0.5 - distance(x, y) * scale))


def render(size, background, glyphs):
    """RGBA rows of a background disc with white glyphs, drawn on a 192-unit design."""
    scale = size / 192.0
    ground = disc(96, 96, 90)
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            x = (px + 0.5) / scale
            y = (py + 0.5) / scale
            alpha = coverage(ground, x, y, scale)
            glyph = max((coverage(g, x, y, scale) for g in glyphs), default=0.0)
            colour = [round(b + (w - b) * glyph) for b, w in zip(background, WHITE)]
            row += bytes(colour) + bytes([round(alpha * 255)])
        rows.append(bytes(row))
    return rows


def png(size, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\x00" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico(images):
    """An icon file of 32-bit DIB entries (BGRA bottom-up plus an empty AND mask)."""
    entries = []
    for size, rows in images:
        pixels = bytearray()
        for row in reversed(rows):
            for i in range(0, len(row), 4):
                r, g, b, a = row[i:i + 4]
                pixels += bytes((b, g, r, a))
        mask_row = ((size + 31) // 32) * 4
        header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                             len(pixels) + mask_row * size, 0, 0, 0, 0)
        entries.append((size, header + pixels + b"\x00" * (mask_row * size)))
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for size, data in entries:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in entries)


IMAGES = {
    # A red disc with a white cross: an error.
    "107.png": ((0xD3, 0x2F, 0x2F),
                [stroke([(58, 58), (134, 134)], 9), stroke([(134, 58), (58, 134)], 9)]),
    # A green disc with a white check mark: finished.
    "109.png": ((0x2E, 0x9E, 0x4F), [stroke([(56, 100), (84, 128), (138, 70)], 10)]),
    # A light-blue disc with a white letter i: a restart is needed.
    "110.png": ((0x4F, 0xA3, 0xE0), [disc(96, 56, 13), stroke([(96, 88), (96, 142)], 11)]),
}

# The program icon: the accent blue with a white bar, "take away".
ICON = ((0x00, 0x6C, 0xD9), [stroke([(54, 96), (138, 96)], 16)])


def main():
    out_dir = sys.argv[1]
    os.makedirs(out_dir, exist_ok=True)
    for name, (background, glyphs) in IMAGES.items():
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(png(192, render(192, background, glyphs)))
    background, glyphs = ICON
    icons = [(size, render(size, background, glyphs)) for size in (48, 32, 16)]
    with open(os.path.join(out_dir, "PurgeKit.ico"), "wb") as f:
        f.write(ico(icons))


if __name__ == "__main__":
    main()
