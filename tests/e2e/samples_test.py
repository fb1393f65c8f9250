#!/usr/bin/env python3
"""The committed samples are what samples/make-samples.py makes, and the program's own export
and build turn each into the other.

    samples_test.py SODREL_CONVERT
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLES = os.path.normpath(os.path.join(HERE, os.pardir, os.pardir, "samples"))


def read(path):
    with open(path, "rb") as f:
        return f.read()


def main():
    convert = sys.argv[1]
    failures = []

    def check(condition, message):
        if not condition:
            failures.append(message)
            print("FAILED: " + message)

    scratch = tempfile.mkdtemp(prefix="sodrel-samples-")
    try:
        subprocess.run([sys.executable, os.path.join(SAMPLES, "make-samples.py"), scratch],
                       check=True, timeout=60)
        for name in ("sample.dds", "sample.bin"):
            check(read(os.path.join(scratch, name)) == read(os.path.join(SAMPLES, name)),
                  f"samples/{name} is not what make-samples.py makes; rerun it")

        dds, container = read(os.path.join(SAMPLES, "sample.dds")), read(
            os.path.join(SAMPLES, "sample.bin"))
        work = os.path.join(scratch, "work")
        os.makedirs(work)
        for name in ("sample.dds", "sample.bin"):
            shutil.copyfile(os.path.join(SAMPLES, name), os.path.join(work, name))
        # The program folder may hold the user's own template; the samples use the default.
        template = os.path.join(SAMPLES, os.pardir, "resources", "KX00.dll")
        for command in (["export", work], ["build", "--template", template, work]):
            result = subprocess.run([convert] + command, capture_output=True, timeout=60)
            check(result.returncode == 0, f"sodrel-convert {command[0]} failed: "
                                          f"{result.stderr.decode(errors='replace')}")
        check(read(os.path.join(work, "sample.bin.dds")) == dds,
              "exporting sample.bin does not give sample.dds")
        check(read(os.path.join(work, "sample.dds.bin")) == container,
              "building sample.dds with the default KX00.dll does not give sample.bin")

        result = subprocess.run([convert, "info", os.path.join(SAMPLES, "sample.dds")],
                                capture_output=True, text=True, timeout=60)
        check(re.search(r"DXT1, 128 x 128", result.stdout)
              and re.search(r"preview:\s+yes", result.stdout),
              f"sample.dds is not a previewable 128x128 DXT1 texture:\n{result.stdout}")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print("passed" if not failures else f"{len(failures)} check(s) failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
