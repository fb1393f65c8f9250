#!/usr/bin/python3
# The committed pictures, header template and samples are what resources/make-*.py and
# samples/make-samples.py make now (the pictures with Debian 12's Pillow 9.4), and the pictures
# are laid out as the program needs them.
import struct
import subprocess
import sys
import tempfile
import warnings
from pathlib import Path

from PIL import Image

SOURCE = Path(__file__).resolve().parents[2]
RESOURCES = SOURCE / "resources"
MADE_BY = {"resources/make-pictures.py": ["sodrel-tools.ico", "sodrel-tools.png", "banner.gif"],
           "resources/make-header-template.py": ["KX00.dll"],
           "samples/make-samples.py": ["sample.dds", "sample.bin"]}
ICON = [(32, 4), (16, 4), (48, 8), (32, 8), (16, 8), (48, 32), (32, 32), (16, 32)]

with tempfile.TemporaryDirectory() as out:
    for script, names in MADE_BY.items():
        subprocess.run([sys.executable, SOURCE / script, out], check=True)
        for name in names:
            same = (Path(out) / name).read_bytes() == (SOURCE / script).with_name(name).read_bytes()
            assert same, f"{name} is not what {script} makes now"

ico, png, gif = (Image.open(RESOURCES / n) for n in MADE_BY["resources/make-pictures.py"])
entries = sorted(ico.ico.entry, key=lambda e: e["offset"])  # in the file's order
assert [(e["width"], e["bpp"]) for e in entries] == ICON, "icon: not the eight images"
warnings.simplefilter("error", UserWarning)  # Pillow reads a damaged icon image with a warning
data = (RESOURCES / "sodrel-tools.ico").read_bytes()  # each image's header: mask rows counted
assert all(data[e["offset"] + 4:e["offset"] + 16] == struct.pack(
    "<iiHH", e["width"], 2 * e["width"], 1, e["bpp"]) and ico.ico.frame(i)
    for i, e in enumerate(entries)), "icon: an image's header is not the directory's"
assert (png.format, png.size, png.mode) == ("PNG", (256, 256), "RGBA"), "not a 256x256 RGBA PNG"
assert (RESOURCES / "banner.gif").stat().st_size == 47348 and gif.size == (727, 170), "size"
assert gif.mode == "P" and len(gif.palette.palette) == 768, "banner: no palette of 256 colours"
assert (gif.n_frames, gif.info.get("transparency")) == (1, 255), "banner: not one frame, 255 clear"
print("the resources are as made")
