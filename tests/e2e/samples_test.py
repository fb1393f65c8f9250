#!/usr/bin/env python3
"""samples_test.py SODREL_CONVERT: the committed samples are what samples/make-samples.py makes,
and the program's own export and build turn each into the other."""

import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

SAMPLES = Path(__file__).resolve().parents[2] / "samples"


def main():
    convert, failures = sys.argv[1], []

    def check(condition, message):
        if not condition:
            failures.append(message)
            print("FAILED: " + message)

    with tempfile.TemporaryDirectory(prefix="sodrel-samples-") as scratch:
        made, work = Path(scratch), Path(scratch, "work")
        subprocess.run([sys.executable, SAMPLES / "make-samples.py", made], check=True, timeout=60)
        work.mkdir()
        for name in ("sample.dds", "sample.bin"):
            check((made / name).read_bytes() == (SAMPLES / name).read_bytes(),
                  f"samples/{name} is not what make-samples.py makes; rerun it")
            shutil.copy(SAMPLES / name, work)
        # The program folder may hold the user's own template; the samples use the default.
        template = SAMPLES.parent / "resources" / "KX00.dll"
        for command in (["export", work], ["build", "--template", template, work]):
            check(subprocess.run([convert, *command], timeout=60).returncode == 0,
                  f"sodrel-convert {command[0]} failed")
        for out, expected in (("sample.bin.dds", "sample.dds"), ("sample.dds.bin", "sample.bin")):
            check((work / out).is_file() and (work / out).read_bytes()
                  == (SAMPLES / expected).read_bytes(), f"{out} is not samples/{expected}")
        info = subprocess.run([convert, "info", SAMPLES / "sample.dds"], capture_output=True,
                              text=True, timeout=60).stdout
        check("DXT1, 128 x 128\n  preview:  yes\n" in info,
              f"sample.dds is not a previewable 128x128 DXT1 texture:\n{info}")
    print("passed" if not failures else f"{len(failures)} check(s) failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
