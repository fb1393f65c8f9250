#!/usr/bin/env python3
"""thumbnailer_test.py BUILD_DIR CMAKE: installs the build into a temporary prefix and uses its
MIME package and thumbnailer entry as a file manager does: GLib's content-type detection
(gio info) on the samples and on a .bin of random bytes, then the entry's Exec line."""

import configparser
import os
import re
import shlex
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[2]
CONTAINER = "application/x-sodrel-texture"


def main():
    build, cmake = sys.argv[1:3]
    with tempfile.TemporaryDirectory(prefix="sodrel-thumbnailer-") as scratch:
        share = Path(scratch) / "my prefix/share"
        subprocess.run([cmake, "--install", build, "--prefix", share.parent], check=True,
                       stdout=subprocess.DEVNULL)
        env = dict(os.environ, XDG_DATA_HOME=str(share), XDG_DATA_DIRS=f"{share}:/usr/share",
                   GIO_USE_VFS="local")
        subprocess.run(["update-mime-database", share / "mime"], env=env, check=True)
        files = {"sample.bin": CONTAINER, "sample.dds": "image/x-dds", "random.bin": None}
        (Path(scratch) / "random.bin").write_bytes(os.urandom(8384))
        for name in ("sample.bin", "sample.dds"):
            (Path(scratch) / name).write_bytes((SOURCE / "samples" / name).read_bytes())
        failures = []
        for name, wanted in files.items():
            info = subprocess.run(["gio", "info", "-a", "standard::content-type",
                                   Path(scratch) / name], env=env, capture_output=True, text=True)
            found = re.search(r"standard::content-type: (\S+)", info.stdout)
            found = found and found[1]
            if found != wanted and (wanted or found == CONTAINER):
                failures.append(f"{name} is {found}, not {wanted or 'another type'}")

        entry = configparser.ConfigParser(interpolation=None)
        entry.read(share / "thumbnailers/sodrel-tools.thumbnailer")
        entry = entry["Thumbnailer Entry"]
        if set(entry["MimeType"].strip(";").split(";")) != {CONTAINER, "image/x-dds"}:
            failures.append(f"the thumbnailer is for {entry['MimeType']}")
        # As a file manager reads Exec: key-file escapes, shell words, then %s %i %o %% filled in.
        words = shlex.split(re.sub(r"\\(.)", r"\1", entry["Exec"]))
        for name in ("sample.bin", "sample.dds"):
            output = Path(scratch) / f"{name}.png"
            fill = {"s": "64", "i": str(Path(scratch) / name), "o": str(output), "%": "%"}
            run = subprocess.run([re.sub(r"%(.)", lambda m: fill[m[1]], w) for w in words])
            head = output.read_bytes()[:24] if output.exists() else b""
            if run.returncode != 0 or struct.unpack(">II", head[16:24] or b"\0" * 8) != (64, 64):
                failures.append(f"Exec {words} gave no 64 x 64 picture of {name}")
        if words[0] != str(share.parent / "lib/sodrel-tools/sodrel-convert"):
            failures.append(f"Exec runs {words[0]}, not the installed sodrel-convert")
    print("\n".join(failures) or "passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
