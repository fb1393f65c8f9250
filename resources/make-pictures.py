#!/usr/bin/env python3
"""Regenerates the binary resources of Sodrel Tools.

Writes, next to this script:
  sodrel-tools.ico  application / window icon, eight images:
                    32x32 4bpp, 16x16 4bpp, 48x48 8bpp, 32x32 8bpp,
                    16x16 8bpp, 48x48 32bpp, 32x32 32bpp, 16x16 32bpp
  sodrel-tools.png  256x256 RGBA picture of the same drawing (desktop icon)
  banner.gif        727x170 GIF89a, one frame, 256-colour global table,
                    index 255 is the transparent colour
  KX00.dll          64-byte header template (a data file, not a library)

Only the Python 3 standard library is used, and the output is deterministic,
so re-running the script reproduces the committed files byte for byte.

    python3 resources/make-pictures.py
"""

import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# --------------------------------------------------------------------------
# Colours
# --------------------------------------------------------------------------

NAVY = (0x1D, 0x35, 0x57)
TILE_A = (0x45, 0x7B, 0x9D)
TILE_B = (0x5F, 0xA8, 0xD3)
GOLD_TOP = (0xFF, 0xF3, 0xB0)
GOLD_BOTTOM = (0xFF, 0xA6, 0x1A)
SHADOW = (0x0B, 0x14, 0x22)
TAGLINE = (0xD8, 0xEC, 0xFF)
RULE_LEFT = (0x5F, 0xA8, 0xD3)
RULE_RIGHT = (0xFF, 0xA6, 0x1A)


def mix(c0, c1, t):
    t = min(1.0, max(0.0, t))
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


# --------------------------------------------------------------------------
# The drawing: a rounded texture tile (checkerboard) carrying a bold "S"
# --------------------------------------------------------------------------

def _arc_distance(px, py, cx, cy, r, a0, a1):
    """Distance from (px, py) to a circular arc running from angle a0 to a1
    (degrees, a0 < a1, y axis pointing down)."""
    dx, dy = px - cx, py - cy
    phi = math.degrees(math.atan2(dy, dx))
    while phi < a0:
        phi += 360.0
    while phi >= a0 + 360.0:
        phi -= 360.0
    if phi <= a1:
        return abs(math.hypot(dx, dy) - r)
    best = float("inf")
    for a in (a0, a1):
        ex = cx + r * math.cos(math.radians(a))
        ey = cy + r * math.sin(math.radians(a))
        best = min(best, math.hypot(px - ex, py - ey))
    return best


def _s_distance(u, v):
    # Upper bowl: from the middle, round the left side and over the top,
    # ending at the upper right.  Lower bowl: from the middle, round the
    # right side and under the bottom, ending at the lower left.
    r = 0.15
    d1 = _arc_distance(u, v, 0.5, 0.35, r, -270.0, -30.0)
    d2 = _arc_distance(u, v, 0.5, 0.65, r, -90.0, 150.0)
    return min(d1, d2)


def _rounded_rect_inside(u, v, x0, y0, x1, y1, rad):
    if u < x0 or u > x1 or v < y0 or v > y1:
        return False
    cx = min(max(u, x0 + rad), x1 - rad)
    cy = min(max(v, y0 + rad), y1 - rad)
    return (u - cx) ** 2 + (v - cy) ** 2 <= rad * rad


def icon_sample(u, v, size):
    """Colour (r, g, b) or None (transparent) of the drawing at unit
    coordinates (u, v)."""
    small = size <= 16
    if not _rounded_rect_inside(u, v, 0.04, 0.04, 0.96, 0.96, 0.16):
        return None
    fill_hw = 0.082 if small else 0.075
    line_hw = fill_hw + (0.045 if small else 0.04)
    ds = _s_distance(u, v)
    if ds <= fill_hw:
        return mix(GOLD_TOP, GOLD_BOTTOM, (v - 0.15) / 0.7)
    if ds <= line_hw:
        return NAVY
    inner = _rounded_rect_inside(u, v, 0.10, 0.10, 0.90, 0.90, 0.10)
    if not inner:
        return NAVY
    cells = 2 if small else 4
    cu = int((u - 0.10) / 0.80 * cells)
    cv = int((v - 0.10) / 0.80 * cells)
    base = TILE_A if (cu + cv) % 2 == 0 else TILE_B
    # a soft light from the upper left
    shade = 1.12 - 0.24 * (u + v) / 2.0
    return tuple(min(255.0, c * shade) for c in base)


def render_icon(size, ss):
    """Returns size*size RGBA tuples (0..255 ints), rows top to bottom."""
    out = []
    n = ss * ss
    for y in range(size):
        for x in range(size):
            r = g = b = a = 0.0
            for j in range(ss):
                for i in range(ss):
                    u = (x + (i + 0.5) / ss) / size
                    v = (y + (j + 0.5) / ss) / size
                    c = icon_sample(u, v, size)
                    if c is not None:
                        r += c[0]
                        g += c[1]
                        b += c[2]
                        a += 1.0
            if a == 0:
                out.append((0, 0, 0, 0))
            else:
                out.append((int(round(r / a)), int(round(g / a)),
                            int(round(b / a)), int(round(255.0 * a / n))))
    return out


# --------------------------------------------------------------------------
# Palette reduction (median cut)
# --------------------------------------------------------------------------

def median_cut(histogram, count):
    """histogram: dict colour -> pixel count.  Returns at most `count`
    colours."""
    colours = sorted(histogram.items())
    if len(colours) <= count:
        return [c for c, _ in colours]
    boxes = [colours]
    while len(boxes) < count:
        best, best_score, best_ch = None, -1, 0
        for idx, box in enumerate(boxes):
            if len(box) < 2:
                continue
            for ch in range(3):
                lo = min(c[ch] for c, _ in box)
                hi = max(c[ch] for c, _ in box)
                weight = sum(n for _, n in box)
                score = (hi - lo) * math.sqrt(weight)
                if score > best_score:
                    best, best_score, best_ch = idx, score, ch
        if best is None or best_score <= 0:
            break
        box = sorted(boxes.pop(best), key=lambda e: (e[0][best_ch], e[0]))
        total = sum(n for _, n in box)
        acc, cut = 0, 1
        for k, (_, n) in enumerate(box):
            acc += n
            if acc * 2 >= total:
                cut = min(max(k + 1, 1), len(box) - 1)
                break
        boxes.append(box[:cut])
        boxes.append(box[cut:])
    palette = []
    for box in boxes:
        w = sum(n for _, n in box)
        palette.append(tuple(int(round(sum(c[ch] * n for c, n in box) / w))
                             for ch in range(3)))
    return palette


def nearest_index(colour, palette, cache):
    hit = cache.get(colour)
    if hit is not None:
        return hit
    best, best_d = 0, None
    for i, p in enumerate(palette):
        d = ((colour[0] - p[0]) ** 2 * 3 + (colour[1] - p[1]) ** 2 * 4 +
             (colour[2] - p[2]) ** 2 * 2)
        if best_d is None or d < best_d:
            best, best_d = i, d
    cache[colour] = best
    return best


# --------------------------------------------------------------------------
# ICO writer
# --------------------------------------------------------------------------

def _row_bytes(width, bpp):
    return ((width * bpp + 31) // 32) * 4


def _and_mask(pixels, size, opaque):
    stride = _row_bytes(size, 1)
    data = bytearray()
    for y in range(size - 1, -1, -1):
        row = bytearray(stride)
        for x in range(size):
            if not opaque(pixels[y * size + x]):
                row[x // 8] |= 0x80 >> (x % 8)
        data += row
    return bytes(data)


def dib_entry(pixels, size, bpp):
    """One ICO image: BITMAPINFOHEADER (height doubled), palette,
    bottom-up XOR bitmap, 1-bpp AND mask."""
    if bpp == 32:
        xor = bytearray()
        for y in range(size - 1, -1, -1):
            for x in range(size):
                r, g, b, a = pixels[y * size + x]
                if a == 0:
                    r = g = b = 0
                xor += bytes((b, g, r, a))
        mask = _and_mask(pixels, size, lambda p: p[3] > 0)
        palette_bytes = b""
    else:
        ncolours = 1 << bpp
        opaque = lambda p: p[3] >= 128
        hist = {}
        for p in pixels:
            if opaque(p):
                c = p[:3]
                hist[c] = hist.get(c, 0) + 1
        # index 0 stays black: it is what transparent pixels hold
        palette = [(0, 0, 0)] + median_cut(hist, ncolours - 1)
        palette += [(0, 0, 0)] * (ncolours - len(palette))
        cache = {}
        stride = _row_bytes(size, bpp)
        xor = bytearray()
        for y in range(size - 1, -1, -1):
            row = bytearray(stride)
            for x in range(size):
                p = pixels[y * size + x]
                idx = nearest_index(p[:3], palette[1:], cache) + 1 \
                    if opaque(p) else 0
                if bpp == 8:
                    row[x] = idx
                else:
                    row[x // 2] |= idx << (4 if x % 2 == 0 else 0)
            xor += row
        mask = _and_mask(pixels, size, opaque)
        palette_bytes = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    return header + palette_bytes + bytes(xor) + mask


def write_ico(path, entries):
    """entries: list of (size, bpp, pixels)."""
    blobs = [dib_entry(px, size, bpp) for size, bpp, px in entries]
    out = bytearray(struct.pack("<HHH", 0, 1, len(entries)))
    offset = 6 + 16 * len(entries)
    for (size, bpp, _), blob in zip(entries, blobs):
        colour_count = (1 << bpp) if bpp < 8 else 0
        out += struct.pack("<BBBBHHII", size % 256, size % 256, colour_count,
                           0, 1, bpp, len(blob), offset)
        offset += len(blob)
    for blob in blobs:
        out += blob
    with open(path, "wb") as f:
        f.write(out)


# --------------------------------------------------------------------------
# PNG writer
# --------------------------------------------------------------------------

def write_png(path, pixels, width, height):
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        for x in range(width):
            raw += bytes(pixels[y * width + x])

    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + \
            struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


# --------------------------------------------------------------------------
# A small 5x7 bitmap font (only the glyphs the banner needs)
# --------------------------------------------------------------------------

FONT = {
    " ": [".....", ".....", ".....", ".....", ".....", ".....", "....."],
    "S": [".###.", "#...#", "#....", ".###.", "....#", "#...#", ".###."],
    "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    "D": ["####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."],
    "a": [".....", ".....", ".###.", "....#", ".####", "#...#", ".####"],
    "c": [".....", ".....", ".###.", "#....", "#....", "#...#", ".###."],
    "d": ["....#", "....#", ".####", "#...#", "#...#", "#...#", ".####"],
    "e": [".....", ".....", ".###.", "#...#", "#####", "#....", ".###."],
    "i": ["..#..", ".....", ".##..", "..#..", "..#..", "..#..", ".###."],
    "l": [".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "n": [".....", ".....", "#.##.", "##..#", "#...#", "#...#", "#...#"],
    "o": [".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."],
    "r": [".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."],
    "s": [".....", ".....", ".####", "#....", ".###.", "....#", "####."],
    "t": [".#...", ".#...", "####.", ".#...", ".#...", ".#..#", "..##."],
    "u": [".....", ".....", "#...#", "#...#", "#...#", "#..##", ".##.#"],
    "x": [".....", ".....", "#...#", ".#.#.", "..#..", ".#.#.", "#...#"],
    "<": ["...#.", "..#..", ".#...", "#....", ".#...", "..#..", "...#."],
    ">": [".#...", "..#..", "...#.", "....#", "...#.", "..#..", ".#..."],
    "-": [".....", ".....", ".....", "#####", ".....", ".....", "....."],
}


def text_cells(text):
    """Set of (col, row) font cells lit for `text` (6 columns per glyph)."""
    cells = set()
    for n, ch in enumerate(text):
        glyph = FONT[ch]
        for row, line in enumerate(glyph):
            for col, mark in enumerate(line):
                if mark == "#":
                    cells.add((n * 6 + col, row))
    return cells


def text_width(text, scale):
    return (len(text) * 6 - 1) * scale


# --------------------------------------------------------------------------
# Banner
# --------------------------------------------------------------------------

BANNER_W, BANNER_H = 727, 170


class Canvas:
    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = [None] * (w * h)      # None = transparent, else (r, g, b)

    def put(self, x, y, colour):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y * self.w + x] = tuple(int(round(c)) for c in colour)


def text_mask(text, x0, y0, scale):
    mask = set()
    for col, row in text_cells(text):
        for dy in range(scale):
            for dx in range(scale):
                mask.add((x0 + col * scale + dx, y0 + row * scale + dy))
    return mask


def dilate(mask, radius):
    out = set()
    offsets = [(dx, dy) for dy in range(-radius, radius + 1)
               for dx in range(-radius, radius + 1)
               if dx * dx + dy * dy <= radius * radius + radius]
    for x, y in mask:
        for dx, dy in offsets:
            out.add((x + dx, y + dy))
    return out


def draw_text(canvas, text, x0, y0, scale, fill, outline, shadow_offset):
    glyphs = text_mask(text, x0, y0, scale)
    ring = dilate(glyphs, max(1, scale // 4))
    if shadow_offset:
        for x, y in ring:
            canvas.put(x + shadow_offset, y + shadow_offset, SHADOW)
    for x, y in ring:
        canvas.put(x, y, outline)
    height = 7 * scale
    for x, y in glyphs:
        canvas.put(x, y, fill((y - y0) / max(1, height - 1)))


def make_banner():
    c = Canvas(BANNER_W, BANNER_H)

    # the icon drawing, 130 px, edges cut at half coverage
    size, ix, iy = 130, 22, 20
    icon = render_icon(size, 3)
    for y in range(size):
        for x in range(size):
            r, g, b, a = icon[y * size + x]
            if a >= 128:
                c.put(ix + x, iy + y, (r, g, b))

    left, right = 176, BANNER_W - 14
    area = right - left

    title = "Sodrel Tools"
    ts = 7
    tx = left + (area - text_width(title, ts)) // 2
    draw_text(c, title, tx, 30, ts,
              lambda t: mix(GOLD_TOP, GOLD_BOTTOM, t), NAVY, 3)

    # a rule under the title, blue fading to gold
    rx0, rx1 = tx, tx + text_width(title, ts)
    for x in range(rx0, rx1):
        col = mix(RULE_LEFT, RULE_RIGHT, (x - rx0) / (rx1 - rx0))
        for y in range(98, 102):
            c.put(x, y, NAVY if y in (98, 101) else col)

    tag = "Texture containers <-> DDS"
    gs = 3
    gx = left + (area - text_width(tag, gs)) // 2
    draw_text(c, tag, gx, 116, gs, lambda t: TAGLINE, NAVY, 0)
    return c


def lzw_encode(indices, min_code_size=8):
    clear = 1 << min_code_size
    eoi = clear + 1
    out = bytearray()
    bitbuf = 0
    nbits = 0

    def emit(code, width):
        nonlocal bitbuf, nbits
        bitbuf |= code << nbits
        nbits += width
        while nbits >= 8:
            out.append(bitbuf & 0xFF)
            bitbuf >>= 8
            nbits -= 8

    def fresh():
        return {(i,): i for i in range(clear)}

    table = fresh()
    next_code = eoi + 1
    width = min_code_size + 1
    emit(clear, width)
    current = ()
    for idx in indices:
        candidate = current + (idx,)
        if candidate in table:
            current = candidate
            continue
        emit(table[current], width)
        if next_code < 4096:
            table[candidate] = next_code
            next_code += 1
            if next_code > (1 << width) and width < 12:
                width += 1
        else:
            emit(clear, width)
            table = fresh()
            next_code = eoi + 1
            width = min_code_size + 1
        current = (idx,)
    if current:
        emit(table[current], width)
    emit(eoi, width)
    if nbits:
        out.append(bitbuf & 0xFF)
    return bytes(out)


def write_gif(path, canvas):
    transparent = 255
    hist = {}
    for p in canvas.px:
        if p is not None:
            hist[p] = hist.get(p, 0) + 1
    palette = median_cut(hist, 255)
    cache = {}
    indices = [transparent if p is None else nearest_index(p, palette, cache)
               for p in canvas.px]
    # 255 opaque colours at most; unused slots black, slot 255 is the key
    palette = palette + [(0, 0, 0)] * (255 - len(palette))
    palette.append((0xFF, 0xFF, 0xFF))
    assert len(palette) == 256

    out = bytearray(b"GIF89a")
    # logical screen: global table present, colour resolution 8 bits,
    # table size 2^(7+1) = 256; background = the transparent index
    out += struct.pack("<HHBBB", canvas.w, canvas.h, 0xF7, transparent, 0)
    for r, g, b in palette:
        out += bytes((r, g, b))
    # graphic control extension: transparency flag, transparent index 255
    out += bytes((0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, transparent, 0x00))
    # image descriptor: whole screen, no local table, not interlaced
    out += b"\x2C" + struct.pack("<HHHHB", 0, 0, canvas.w, canvas.h, 0)
    out.append(8)
    data = lzw_encode(indices, 8)
    for i in range(0, len(data), 255):
        block = data[i:i + 255]
        out.append(len(block))
        out += block
    out.append(0)
    out.append(0x3B)
    with open(path, "wb") as f:
        f.write(out)


# --------------------------------------------------------------------------
# Header template
# --------------------------------------------------------------------------

def make_header_template():
    """64 bytes: an ASCII tag, then a non-zero, non-repeating byte run."""
    tag = b"SODREL-HEADER-TEMPLATE"
    tail = bytes(((i * 29 + 0x41) & 0xFF) for i in range(64 - len(tag)))
    data = tag + tail
    assert len(data) == 64 and 0 not in data
    return data


def main():
    icons = {}
    for size in (16, 32, 48):
        icons[size] = render_icon(size, 6)
    write_ico(os.path.join(HERE, "sodrel-tools.ico"), [
        (32, 4, icons[32]), (16, 4, icons[16]),
        (48, 8, icons[48]), (32, 8, icons[32]), (16, 8, icons[16]),
        (48, 32, icons[48]), (32, 32, icons[32]), (16, 32, icons[16]),
    ])
    write_png(os.path.join(HERE, "sodrel-tools.png"), render_icon(256, 3),
              256, 256)
    write_gif(os.path.join(HERE, "banner.gif"), make_banner())
    with open(os.path.join(HERE, "KX00.dll"), "wb") as f:
        f.write(make_header_template())


if __name__ == "__main__":
    main()
