#!/usr/bin/python3
# encode-psnr.py PICTURE.png TEXTURE.dds...: for each texture, the PSNR of its top level, as
# Pillow decodes it, against the picture: "rgb=<dB> alpha=<dB>", one line each. RGB over the
# pixels whose alpha in the picture is at least 128, alpha over every pixel; 99 when exact.
import math
import sys

from PIL import Image


def psnr(squared, count):
    return 99.0 if squared == 0 or count == 0 else 10 * math.log10(255 * 255 * count / squared)


def main():
    with Image.open(sys.argv[1]) as picture:
        original = picture.convert("RGBA").tobytes()
    for path in sys.argv[2:]:
        with Image.open(path) as texture:
            decoded = texture.convert("RGBA").tobytes()
        if len(decoded) != len(original):
            sys.exit(f"{path}: not the picture's size")
        rgb = alpha = visible = 0
        for at in range(0, len(original), 4):
            if original[at + 3] >= 128:
                visible += 1
                for c in range(3):
                    rgb += (original[at + c] - decoded[at + c]) ** 2
            alpha += (original[at + 3] - decoded[at + 3]) ** 2
        print(f"rgb={psnr(rgb, 3 * visible):.2f} alpha={psnr(alpha, len(original) // 4):.2f}")


main()
