#!/usr/bin/env python3
"""thumbnailer_test.py BUILD_DIR CMAKE: installs the build and uses its MIME package (through
GLib, as file managers do) and its thumbnailer entry's Exec line as a file manager would."""

import os
import re
import shlex
import subprocess
import sys
import tempfile
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[2]
CONTAINER = "application/x-sodrel-texture"


def main():
    build, cmake = sys.argv[1:3]
    with tempfile.TemporaryDirectory(prefix="sodrel-thumbnailer-") as scratch:
        scratch = Path(scratch)
        share = scratch / "my prefix/share"
        env = dict(os.environ, XDG_DATA_HOME=str(share), XDG_DATA_DIRS=f"{share}:/usr/share",
                   GIO_USE_VFS="local")
        subprocess.run([cmake, "--install", build, "--prefix", share.parent], check=True,
                       stdout=subprocess.DEVNULL)
        subprocess.run(["update-mime-database", share / "mime"], env=env, check=True)
        (scratch / "random.bin").write_bytes(os.urandom(8384))
        for name in ("sample.bin", "sample.dds"):
            (scratch / name).write_bytes((SOURCE / "samples" / name).read_bytes())
        for name, wanted in {"sample.bin": True, "sample.dds": False, "random.bin": False}.items():
            info = subprocess.run(["gio", "info", "-a", "standard::content-type", scratch / name],
                                  env=env, capture_output=True, text=True).stdout
            assert (f"content-type: {CONTAINER}\n" in info) == wanted, f"{name}: {info}"

        entry = (share / "thumbnailers/sodrel-tools.thumbnailer").read_text()
        assert f"\nMimeType={CONTAINER};image/x-dds;\n" in entry, entry
        # As a file manager reads Exec: key-file escapes, shell words, then %s %i %o %% filled in.
        words = shlex.split(re.sub(r"\\(.)", r"\1", re.search(r"^Exec=(.*)$", entry, re.M)[1]))
        for name in ("sample.bin", "sample.dds"):
            output = scratch / f"{name}.png"
            fill = {"s": "64", "i": str(scratch / name), "o": str(output), "%": "%"}
            subprocess.run([re.sub(r"%(.)", lambda m: fill[m[1]], word) for word in words])
            png = output.read_bytes() if output.exists() else b""
            # The width and height in the PNG's header.
            assert png[16:24] == bytes([0, 0, 0, 64, 0, 0, 0, 64]), f"{words}: no picture of {name}"
    print("passed")


if __name__ == "__main__":
    main()
