#!/usr/bin/python3
"""Draws the pictures of Sodrel Tools with Pillow (Debian's python3-pil).

    resources/make-pictures.py [FOLDER]

writes into FOLDER (by default the folder of this script):
  sodrel-tools.ico  the application and window icon, eight images in this order:
                    32x32 4bpp, 16x16 4bpp, 48x48 8bpp, 32x32 8bpp, 16x16 8bpp,
                    48x48 32bpp, 32x32 32bpp, 16x16 32bpp
  sodrel-tools.png  the same drawing, 256x256 RGBA (the desktop icon)
  banner.gif        727x170 GIF89a of 47348 bytes, one frame, 256-colour global
                    palette whose index 255 is the transparent colour

The output is the same byte for byte on every run; tests/resources checks that the
committed files are what this script makes.
"""

import io
import math
import struct
import sys
from pathlib import Path

from PIL import Image, ImageDraw, ImageFilter, ImageFont, ImageOps

NAVY = (0x1D, 0x35, 0x57)
TILE_A = (0x45, 0x7B, 0x9D)
TILE_B = (0x5F, 0xA8, 0xD3)
GOLD_TOP = (0xFF, 0xF3, 0xB0)
GOLD_BOTTOM = (0xFF, 0xA6, 0x1A)
SHADOW = (0x0B, 0x14, 0x22)
TAGLINE = (0xD8, 0xEC, 0xFF)

BANNER_SIZE = (727, 170)
BANNER_BYTES = 47348
TRANSPARENT = 255  # the banner's transparent palette index


def ramp(size, c0, c1, across=False):
    """An RGB gradient from c0 to c1, top to bottom (left to right when across)."""
    g = Image.linear_gradient("L")
    if across:
        g = g.transpose(Image.Transpose.TRANSPOSE)
    return ImageOps.colorize(g.resize(size, Image.Resampling.BILINEAR), c0, c1)


def s_mask(n, half_width):
    """The S on an n x n canvas: two bowls of radius 0.15 with round ends, stroked
    half_width either side (both in units of n)."""
    mask = Image.new("L", (n, n))
    d = ImageDraw.Draw(mask)
    r, w = 0.15 * n, half_width * n
    # upper bowl from the middle round the left and over the top; lower bowl from the
    # middle round the right and under the bottom (angles clockwise from 3 o'clock)
    for cy, start, end in ((0.35 * n, 90, 330), (0.65 * n, 270, 510)):
        cx = 0.5 * n
        d.arc((cx - r - w, cy - r - w, cx + r + w, cy + r + w), start, end, 255, round(2 * w))
        for a in (math.radians(start), math.radians(end)):
            x, y = cx + r * math.cos(a), cy + r * math.sin(a)
            d.ellipse((x - w, y - w, x + w, y + w), 255)
    return mask


def draw_icon(size, ss):
    """The drawing, a rounded checkered tile carrying a gold S, as a size x size RGBA
    image (drawn ss times larger and scaled down, which smooths the edges)."""
    n, small = size * ss, size <= 16
    box = lambda u0, v0, u1, v1: (u0 * n, v0 * n, u1 * n, v1 * n)
    icon = Image.new("RGBA", (n, n))
    ImageDraw.Draw(icon).rounded_rectangle(box(0.04, 0.04, 0.96, 0.96), 0.16 * n, NAVY)

    # the checkerboard, lit from the upper left (x1.12 there, x0.88 at the lower right)
    cells = 2 if small else 4
    step = 0.8 / cells
    board = Image.new("RGB", (n, n), TILE_A)
    d = ImageDraw.Draw(board)
    for cv in range(cells):
        for cu in range(cv % 2 == 0, cells, 2):
            u, v = 0.1 + cu * step, 0.1 + cv * step
            d.rectangle(box(u, v, u + step, v + step), TILE_B)
    g = Image.linear_gradient("L").resize((n, n))
    light = ImageOps.invert(Image.blend(g, g.transpose(Image.Transpose.TRANSPOSE), 0.5))
    board = Image.composite(board.point(lambda c: c * 1.12), board.point(lambda c: c * 0.88), light)
    inner = Image.new("L", (n, n))
    ImageDraw.Draw(inner).rounded_rectangle(box(0.1, 0.1, 0.9, 0.9), 0.1 * n, 255)
    icon.paste(board, mask=inner)

    # the S: a navy outline, then the gold from light (v = 0.15) to deep (v = 0.85)
    fill = 0.082 if small else 0.075
    icon.paste(NAVY, mask=s_mask(n, fill + (0.045 if small else 0.04)))
    gold = Image.new("RGB", (n, n), GOLD_TOP)
    gold.paste(ramp((n, round(0.7 * n)), GOLD_TOP, GOLD_BOTTOM), (0, round(0.15 * n)))
    gold.paste(GOLD_BOTTOM, (0, round(0.85 * n), n, n))
    icon.paste(gold, mask=s_mask(n, fill))
    return icon.resize((size, size), Image.Resampling.BOX)


# ---- the icon file: Pillow writes no 4-bit icon images, so the container is ours ----


def bottom_up_rows(data, row_bytes):
    """Rows of a top-down image, bottom row first, each padded to 4 bytes."""
    rows = [data[i : i + row_bytes] for i in range(0, len(data), row_bytes)]
    return b"".join(row + bytes(-row_bytes % 4) for row in reversed(rows))


def ico_image(rgba, bpp):
    """One icon image: its header (height doubled for the mask), palette, colour
    bitmap and AND mask (1 = transparent), rows bottom up."""
    size = rgba.width
    alpha = rgba.getchannel("A")
    if bpp == 32:
        palette, xor = b"", bottom_up_rows(rgba.tobytes("raw", "BGRA"), size * 4)
        hidden = alpha.point(lambda a: 255 * (a == 0))
    else:
        # colours - 1 colours for the drawing; index 0, black, is what hidden pixels hold
        colours = 1 << bpp
        hidden = alpha.point(lambda a: 255 * (a < 128))
        rgb = Image.new("RGB", rgba.size, NAVY)
        rgb.paste(rgba.convert("RGB"), mask=ImageOps.invert(hidden))
        q = rgb.quantize(colours - 1, Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
        rgb_palette = bytes(3) + bytes(q.getpalette()[: 3 * (colours - 1)])
        rgb_palette += bytes(3 * colours - len(rgb_palette))
        palette = Image.frombytes("RGB", (colours, 1), rgb_palette).tobytes("raw", "BGRX")
        index = bytes(0 if h else i + 1 for i, h in zip(q.tobytes(), hidden.tobytes()))
        packed = Image.frombytes("P", rgba.size, index).tobytes("raw", "P;4" if bpp == 4 else "P")
        xor = bottom_up_rows(packed, size * bpp // 8)
    mask = bottom_up_rows(hidden.convert("1").tobytes(), (size + 7) // 8)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, bpp, 0, len(xor) + len(mask),
                         0, 0, 0, 0)
    return header + palette + xor + mask


def ico_bytes(images):
    """images: (RGBA picture, bits per pixel) in file order."""
    blobs = [ico_image(im, bpp) for im, bpp in images]
    out = struct.pack("<HHH", 0, 1, len(blobs))
    offset = len(out) + 16 * len(blobs)
    for (im, bpp), blob in zip(images, blobs):
        colours = 1 << bpp if bpp < 8 else 0
        out += struct.pack("<BBBBHHII", im.width, im.height, colours, 0, 1, bpp, len(blob), offset)
        offset += len(blob)
    return out + b"".join(blobs)


# ---- the banner ----


def letter_masks(text, scale):
    """Masks of the whole text and of each letter in Pillow's built-in font (6 x 11
    pixel cells), all in one frame cut to the text's ink, each pixel a scale x scale
    block."""

    def mask(s, cell):
        im = Image.new("L", (6 * len(text), 11))
        ImageDraw.Draw(im).text((6 * cell, 0), s, 255, ImageFont.load_default())
        return im

    box = mask(text, 0).getbbox()
    size = ((box[2] - box[0]) * scale, (box[3] - box[1]) * scale)
    big = lambda im: im.crop(box).resize(size, Image.Resampling.NEAREST)
    return big(mask(text, 0)), [big(mask(c, i)) for i, c in enumerate(text) if c != " "]


def draw_text(banner, text, scale, top, fill, shadow=0):
    """Centres the text over the banner right of the icon, with a navy outline one
    pixel wide and a drop shadow when shadow > 0. Returns the text's box."""
    whole, letters = letter_masks(text, scale)
    left, right = 176, banner.width - 14
    x = left + (right - left - whole.width) // 2
    ring = lambda m: ImageOps.expand(m, 1).filter(ImageFilter.MaxFilter(3))
    if shadow:
        banner.paste(SHADOW, (x - 1 + shadow, top - 1 + shadow), ring(whole))
    # letter by letter, each outline over the letter before: touching letters stay apart
    paint = fill(whole.size)
    for letter in letters:
        banner.paste(NAVY, (x - 1, top - 1), ring(letter))
        banner.paste(paint, (x, top), letter)
    return x, top, x + whole.width, top + whole.height


def draw_banner():
    """The banner as RGBA: opaque where drawn, transparent elsewhere."""
    banner = Image.new("RGBA", BANNER_SIZE)
    icon = draw_icon(130, 3)
    banner.paste(icon, (22, 20), icon.getchannel("A").point(lambda a: 255 * (a >= 128)))

    gold = lambda size: ramp(size, GOLD_TOP, GOLD_BOTTOM)
    x0, _, x1, _ = draw_text(banner, "Sodrel Tools", 7, 30, gold, shadow=3)
    # a rule under the title, blue fading to gold between navy lines
    banner.paste(NAVY, (x0, 98, x1, 102))
    banner.paste(ramp((x1 - x0, 2), TILE_B, GOLD_BOTTOM, across=True), (x0, 99))
    draw_text(banner, "Texture containers <-> DDS", 3, 116, lambda s: Image.new("RGB", s, TAGLINE))
    return banner


def gif_bytes(banner):
    """One frame, 255 colours for the drawing and index 255 transparent, padded with
    a comment block to exactly BANNER_BYTES."""
    opaque = banner.getchannel("A")
    rgb = Image.new("RGB", banner.size, NAVY)
    rgb.paste(banner, mask=opaque)
    q = rgb.quantize(255, Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
    palette = q.getpalette()[: 3 * 255]
    q.putpalette(palette + [0] * (3 * 255 - len(palette)) + [255, 255, 255])
    q.paste(TRANSPARENT, mask=ImageOps.invert(opaque))
    out = io.BytesIO()
    q.save(out, "GIF", transparency=TRANSPARENT, background=TRANSPARENT, interlace=False)
    gif = out.getvalue()
    assert gif.endswith(b";"), "a GIF ends with its trailer"
    # the comment block: 0x21 0xFE, sub-blocks of at most 255 bytes each after a
    # length byte, a zero byte; sized so that the file has BANNER_BYTES
    room = BANNER_BYTES - len(gif) - 3
    assert room >= 2, f"the banner is {len(gif)} bytes, too big to pad"
    blocks = -(-room // 256)
    text, comment = b"Sodrel Tools banner " * (room // 20 + 1), b"\x21\xfe"
    for n in ((room - blocks + k) // blocks for k in range(blocks)):  # 1 to 255 each
        comment += bytes([n]) + text[:n]
        text = text[n:]
    gif = gif[:-1] + comment + b"\0;"
    assert len(gif) == BANNER_BYTES
    return gif


def main():
    folder = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent
    icons = {size: draw_icon(size, 8) for size in (16, 32, 48)}
    order = [(32, 4), (16, 4), (48, 8), (32, 8), (16, 8), (48, 32), (32, 32), (16, 32)]
    (folder / "sodrel-tools.ico").write_bytes(ico_bytes([(icons[s], bpp) for s, bpp in order]))
    png = io.BytesIO()
    draw_icon(256, 4).save(png, "PNG", optimize=True)
    (folder / "sodrel-tools.png").write_bytes(png.getvalue())
    (folder / "banner.gif").write_bytes(gif_bytes(draw_banner()))


if __name__ == "__main__":
    main()
