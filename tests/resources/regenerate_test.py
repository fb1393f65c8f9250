#!/usr/bin/python3
# The committed pictures and header template are what resources/make-*.py make now (the
# pictures with Debian 12's Pillow 9.4), and are laid out as the program needs them.
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

RESOURCES = Path(__file__).resolve().parents[2] / "resources"
MADE_BY = {"make-pictures.py": ["sodrel-tools.ico", "sodrel-tools.png", "banner.gif"],
           "make-header-template.py": ["KX00.dll"]}
ICON = [(32, 4), (16, 4), (48, 8), (32, 8), (16, 8), (48, 32), (32, 32), (16, 32)]
failures = []


def check(ok, what):
    failures.extend([] if ok else [what])


def icon_images(ico):
    """(size, bpp) of each image as its directory entry and its own header (height doubled
    for the mask) agree, or None; the images lie end to end up to the end of the file."""
    images, end = [], 6 + 16 * ico[4]
    for k in range(ico[4]):
        w, h, _, _, _, bpp, length, offset = struct.unpack_from("<4B2H2I", ico, 6 + 16 * k)
        header = struct.pack("<iiHH", w, 2 * h, 1, bpp)
        images.append((w, bpp) if offset == end and ico[offset + 4 : offset + 16] == header else None)
        end = offset + length
    return images if end == len(ico) else None


def gif_frames(gif):
    """(frames, transparent index) from walking the blocks after the global palette."""
    pos, frames, clear = 13 + 3 * (2 << (gif[10] & 7)) * (gif[10] >> 7), 0, None
    while gif[pos] != 0x3B:
        if gif[pos] == 0x2C:  # image: descriptor, local palette, LZW code size
            frames, flags = frames + 1, gif[pos + 9]
            pos += 11 + 3 * (2 << (flags & 7)) * (flags >> 7)
        else:  # extension; a graphic control one may name the transparent index
            if gif[pos + 1] == 0xF9 and gif[pos + 3] & 1:
                clear = gif[pos + 6]
            pos += 2
        while gif[pos]:  # sub-blocks up to the empty one
            pos += 1 + gif[pos]
        pos += 1
    return (frames, clear) if pos == len(gif) - 1 else None


with tempfile.TemporaryDirectory() as out:
    for script, names in MADE_BY.items():
        subprocess.run([sys.executable, RESOURCES / script, out], check=True)
        for name in names:
            same = (Path(out) / name).read_bytes() == (RESOURCES / name).read_bytes()
            check(same, f"{name} is not what {script} makes now")

ico, png, gif = ((RESOURCES / n).read_bytes() for n in MADE_BY["make-pictures.py"])
check(ico[:4] == b"\0\0\1\0" and icon_images(ico) == ICON, "icon: not the eight images")
check(png[12:26] == b"IHDR" + struct.pack(">IIBB", 256, 256, 8, 6), "not a 256x256 RGBA PNG")
check(len(gif) == 47348 and gif[:10] == b"GIF89a" + struct.pack("<HH", 727, 170), "banner size")
check(gif[10] & 0x87 == 0x87, "banner: no global palette of 256 colours")
check(gif_frames(gif) == (1, 255), "banner: not one frame with index 255 transparent")
print("\n".join(failures) or "the resources are as made")
sys.exit(1 if failures else 0)
