#!/usr/bin/env python3
"""Writes the sample cards' binary files: preview bitmaps and a stand-in
firmware image. Deterministic, so that rerunning it changes nothing."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def bmp(path, width, height, seed):
    row = (width * 3 + 3) & ~3
    pixels = bytearray()
    for y in range(height):
        line = bytearray()
        for x in range(width):
            r = (x * seed + y) & 0xFF
            g = ((x ^ y) * (seed + 3)) & 0xFF
            b = ((x * y) >> 3 ^ seed * 17) & 0xFF
            line += bytes((b, g, r))
        line += b"\0" * (row - width * 3)
        pixels += line
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(header + info + pixels)


def firmware(path, size, seed):
    state = seed
    out = bytearray()
    while len(out) < size:
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        out += struct.pack("<I", state)
    with open(path, "wb") as f:
        f.write(out[:size])


prv = os.path.join(HERE, "A", "media", "prv_bmp")
bmp(os.path.join(prv, "steel_plate.bmp"), 320, 240, 7)
bmp(os.path.join(prv, "logo.bmp"), 200, 200, 11)
bmp(os.path.join(prv, "jobs", "2024", "bracket_17.bmp"), 256, 256, 5)
bmp(os.path.join(prv, "jobs", "2024", "cover_18.bmp"), 160, 120, 13)
firmware(os.path.join(HERE, "A", "zel", "firmware.bin"), 64 * 1024, 1)
firmware(os.path.join(HERE, "B", "zel", "firmware.bin"), 32 * 1024, 2)
