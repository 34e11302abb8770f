#!/usr/bin/env python3
"""Draws the form's three 16 x 16 status icons as PNG files: 140 blank, 141 a blue tick,
142 a red arrow pointing right (at the error file line). Run it in this folder."""
import struct
import zlib

SIZE = 16


def png(path, pixels):
    raw = b"".join(b"\x00" + bytes(sum((list(p) for p in row), [])) for row in pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def canvas():
    return [[(0, 0, 0, 0) for _ in range(SIZE)] for _ in range(SIZE)]


def dist_to_segment(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    cx, cy = ax + t * dx, ay + t * dy
    return ((px - cx) ** 2 + (py - cy) ** 2) ** 0.5


def tick():
    img = canvas()
    blue = (0x10, 0x40, 0xD0)
    for y in range(SIZE):
        for x in range(SIZE):
            px, py = x + 0.5, y + 0.5
            d = min(dist_to_segment(px, py, 2.5, 8.5, 6.0, 12.5), dist_to_segment(px, py, 6.0, 12.5, 13.5, 3.0))
            alpha = max(0.0, min(1.0, 2.2 - d))
            if alpha > 0:
                img[y][x] = blue + (int(alpha * 255),)
    return img


def arrow():
    img = canvas()
    red = (0xD0, 0x10, 0x10)
    for y in range(SIZE):
        for x in range(SIZE):
            px, py = x + 0.5, y + 0.5
            shaft = 1.5 <= px <= 9.0 and 6.0 <= py <= 10.0
            # head: a triangle from (8, 2) and (8, 14) to the tip (15, 8)
            head = px >= 8.0 and abs(py - 8.0) <= (15.0 - px) * 6.0 / 7.0
            if shaft or head:
                img[y][x] = red + (255,)
    return img


png("140.png", canvas())
png("141.png", tick())
png("142.png", arrow())
