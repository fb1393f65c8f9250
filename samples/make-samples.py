#!/usr/bin/env python3
"""Regenerates the sample files of Sodrel Tools.

Writes, next to this script (or into the folder given as the only argument):
  sample.dds  a 128x128 DXT1 texture of our own drawing: hills under an evening sky
  sample.bin  a texture container holding it: the 64 bytes of resources/KX00.dll,
              then sample.dds byte for byte

Because the header is the program's own template, building a container from
sample.dds with the default KX00.dll gives sample.bin again, byte for byte.

Only the Python 3 standard library is used, and the output is deterministic.

    python3 samples/make-samples.py
"""

import math
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
TEMPLATE = os.path.join(HERE, os.pardir, "resources", "KX00.dll")
SIZE = 128
HEADER_BYTES = 64


def mix(c0, c1, t):
    t = min(1.0, max(0.0, t))
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


def ridge(x, base, waves):
    """Height (in pixels from the top) of a hill line at column x."""
    return base + sum(a * math.sin(x * f + p) for a, f, p in waves)


def pixel(x, y):
    """The drawing: a sky fading from violet to orange, a sun, two rows of hills."""
    sky = mix((0x3A, 0x2C, 0x6B), (0xFF, 0x9E, 0x4A), y / 80.0)
    colour = sky
    sun = math.hypot(x - 84, y - 58)
    if sun < 15:
        colour = (0xFF, 0xE8, 0x9A)
    elif sun < 22:
        colour = mix((0xFF, 0xD0, 0x70), sky, (sun - 15) / 7.0)
    far = ridge(x, 74, [(6, 0.07, 0.3), (3, 0.19, 1.7)])
    near = ridge(x, 96, [(8, 0.045, 2.1), (2.5, 0.23, 0.4)])
    if y >= far:
        colour = mix((0x6E, 0x4A, 0x7E), (0x4A, 0x35, 0x62), (y - far) / 30.0)
    if y >= near:
        colour = mix((0x2F, 0x6B, 0x3A), (0x1C, 0x3D, 0x24), (y - near) / 30.0)
        # furrows across the near field
        if int(y - near) % 6 == 0 and y - near > 3:
            colour = mix(colour, (0x12, 0x28, 0x18), 0.5)
    return tuple(int(round(c)) for c in colour)


def rgb565(c):
    r, g, b = c
    return (r * 31 + 127) // 255 << 11 | (g * 63 + 127) // 255 << 5 | (b * 31 + 127) // 255


def unpack565(v):
    return ((v >> 11 & 31) * 255 // 31, (v >> 5 & 63) * 255 // 63, (v & 31) * 255 // 31)


def dxt1_block(pixels):
    """Eight bytes for sixteen (r, g, b) pixels: the darkest and brightest end points along
    luminance, the four-colour palette, the nearest palette entry for each pixel."""
    lum = [0.299 * r + 0.587 * g + 0.114 * b for r, g, b in pixels]
    hi = rgb565(pixels[lum.index(max(lum))])
    lo = rgb565(pixels[lum.index(min(lum))])
    if hi < lo:
        hi, lo = lo, hi
    if hi == lo:
        return struct.pack("<HHI", hi, lo, 0)
    c0, c1 = unpack565(hi), unpack565(lo)
    palette = [c0, c1, mix(c0, c1, 1 / 3), mix(c0, c1, 2 / 3)]
    indices = 0
    for i, p in enumerate(pixels):
        best = min(range(4), key=lambda k: sum((a - b) ** 2 for a, b in zip(p, palette[k])))
        indices |= best << (2 * i)
    return struct.pack("<HHI", hi, lo, indices)


def make_dds():
    header = bytearray(128)
    header[0:4] = b"DDS "
    # size, flags (caps, height, width, pixel format, linear size), height, width, linear size
    struct.pack_into("<IIIII", header, 4, 124, 0x81007, SIZE, SIZE, SIZE * SIZE // 2)
    struct.pack_into("<II4s", header, 76, 32, 0x4, b"DXT1")  # pixel format: FourCC
    struct.pack_into("<I", header, 108, 0x1000)  # caps: texture
    body = bytearray()
    for by in range(0, SIZE, 4):
        for bx in range(0, SIZE, 4):
            block = [pixel(bx + i % 4, by + i // 4) for i in range(16)]
            body += dxt1_block(block)
    return bytes(header) + bytes(body)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else HERE
    with open(TEMPLATE, "rb") as f:
        header = f.read(HEADER_BYTES)
    header += bytes(HEADER_BYTES - len(header))
    dds = make_dds()
    with open(os.path.join(out, "sample.dds"), "wb") as f:
        f.write(dds)
    with open(os.path.join(out, "sample.bin"), "wb") as f:
        f.write(header + dds)


if __name__ == "__main__":
    main()
