#!/usr/bin/env python3
"""Draws the window's two icons as PNG files (no image library needed).

frame.png (the program, also the desktop icon): a resemblance matrix, its
lower half and diagonal filled. text.png (the Input/Output window): a page of
lines. Run from anywhere; writes next to this script.
"""
import os
import struct
import zlib


def png(path, size, pixel):
    rows = []
    for y in range(size):
        row = bytearray([0])
        for x in range(size):
            row.extend(pixel(x, y))
        rows.append(bytes(row))
    raw = zlib.compress(b"".join(rows), 9)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)))
        f.write(chunk(b"IDAT", raw))
        f.write(chunk(b"IEND", b""))


def rounded(x, y, size, radius):
    cx = min(max(x, radius), size - 1 - radius)
    cy = min(max(y, radius), size - 1 - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def frame_pixel(size):
    n = 5                      # a 5 by 5 matrix
    margin = size // 8
    cell = (size - 2 * margin) // n
    gap = max(1, size // 64)

    def pixel(x, y):
        if not rounded(x, y, size, size // 6):
            return (0, 0, 0, 0)
        i, j = (y - margin) // cell, (x - margin) // cell
        inside = 0 <= i < n and 0 <= j < n
        if inside and (x - margin) % cell >= gap and (y - margin) % cell >= gap:
            if i == j:
                return (255, 214, 64, 255)     # the diagonal
            if j < i:
                return (255, 255, 255, 255)    # the lower semimatrix
            return (86, 128, 200, 255)         # the upper half, left out
        return (32, 72, 150, 255)
    return pixel


def text_pixel(size):
    margin = size // 8

    def pixel(x, y):
        if not (margin <= x < size - margin and 0 <= y < size):
            return (0, 0, 0, 0)
        if x in (margin, size - margin - 1) or y in (0, size - 1):
            return (40, 40, 40, 255)
        line = (y - 3) % 5
        length = size - 2 * margin - 6 - ((y // 5) * 7) % 9
        if 3 <= y < size - 3 and line < 2 and margin + 3 <= x < margin + 3 + length:
            return (20, 40, 140, 255)
        return (255, 255, 255, 255)
    return pixel


here = os.path.dirname(os.path.abspath(__file__))
png(os.path.join(here, "frame.png"), 128, frame_pixel(128))
png(os.path.join(here, "text.png"), 32, text_pixel(32))
