#!/usr/bin/env python3
"""install_test.py BUILD_DIR CMAKE: installs the build into temporary prefixes and checks that
each holds a working program folder with its links, desktop entry and icon. (Not cpack: it would
build the project first, which must not happen while tests run.)"""

import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[2]
FOLDER = "lib/sodrel-tools"
PROGRAMS = ("sodrel-tools", "sodrel-convert")
ICON = "share/icons/hicolor/256x256/apps/sodrel-tools.png"
DESKTOP = "share/applications/sodrel-tools.desktop"
THUMBNAILS = ("share/mime/packages/sodrel-tools.xml", "share/thumbnailers/sodrel-tools.thumbnailer")
EXPECTED = {f"{FOLDER}/KX00.dll", f"{FOLDER}/Temp/", DESKTOP, ICON, *THUMBNAILS,  # Temp/: empty
            *(f"{FOLDER}/{name}" for name in PROGRAMS), *(f"bin/{name}" for name in PROGRAMS)}
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAILED: " + message, flush=True)


def tree(root):
    """Every file, link and empty folder under `root`, relative, folders ending in '/'."""
    return {path.relative_to(root).as_posix() + ("/" if path.is_dir() else "")
            for path in root.rglob("*") if not path.is_dir() or not any(path.iterdir())}


def exec_program(value):
    """The program an Exec value starts, as a desktop reads it: string escapes undone, then the
    first argument unquoted (inside quotes a backslash escapes " ` $ \\), then %% as %."""
    value = re.sub(r"\\(.)", lambda m: {"s": " ", "n": "\n", "t": "\t", "r": "\r"}.get(m[1], m[1]),
                   value)
    match = re.match(r'"((?:[^"\\`$]|\\["`$\\])*)"|([^" ]*)', value)
    program = match[2] if match[1] is None else re.sub(r"\\(.)", r"\1", match[1])
    return program.replace("%%", "%")


def check_installed(prefix, final_prefix):
    """`prefix` holds the files; `final_prefix` is where they will run from (DESTDIR aside)."""
    found = tree(prefix)
    check(found == EXPECTED, f"installed files differ: missing {sorted(EXPECTED - found)}, "
                             f"unexpected {sorted(found - EXPECTED)}")
    for name in PROGRAMS:
        check(os.access(prefix / FOLDER / name, os.X_OK), f"{name} is not executable")
        link = prefix / "bin" / name
        check(link.is_symlink() and os.readlink(link) == f"../{FOLDER}/{name}",
              f"bin/{name} is not a relative link into the program folder")
    template = (prefix / FOLDER / "KX00.dll").read_bytes()
    check(len(template) == 64 and template == (SOURCE / "resources/KX00.dll").read_bytes(),
          "KX00.dll is not the 64-byte header template")
    entry = dict(line.split("=", 1) for line in (prefix / DESKTOP).read_text().splitlines()
                 if "=" in line and not line.startswith(("[", "#")))
    check(entry.get("Name") == "Sodrel Tools" and entry.get("Icon") == "sodrel-tools",
          f"desktop entry names or icon wrong: {entry}")
    check(exec_program(entry.get("Exec", "")) == f"{final_prefix}/{FOLDER}/sodrel-tools",
          f"desktop entry Exec {entry.get('Exec')!r} is not the program under {final_prefix}")
    head = (prefix / ICON).read_bytes()[:24]
    check(head[:8] == b"\x89PNG\r\n\x1a\n" and struct.unpack(">II", head[16:24]) == (256, 256),
          "the icon is not a 256x256 PNG")


def keeps_running(program):
    """Whether the window program starts (offscreen) and runs until it is told to stop."""
    process = subprocess.Popen([program], env=dict(os.environ, QT_QPA_PLATFORM="offscreen"),
                               stdout=subprocess.DEVNULL)
    try:
        process.wait(2)
        return False
    except subprocess.TimeoutExpired:
        process.terminate()
        process.wait(20)
        return True


def install(cmake, build, prefix, destdir=None):
    result = subprocess.run([cmake, "--install", build, "--prefix", prefix], text=True,
                            env=dict(os.environ, DESTDIR=str(destdir or "")),  # "": none
                            capture_output=True, timeout=120)
    if result.returncode != 0:
        sys.exit(f"FAILED: cmake --install failed: {result.stderr}")


def main():
    build, cmake = sys.argv[1:3]
    scratch = Path(tempfile.mkdtemp(prefix="sodrel-install-"))
    try:
        # A prefix with a space, a dollar and a percent sign: Exec must quote and escape them.
        prefix = scratch / "my programs" / "$HOME 100%"
        install(cmake, build, prefix)
        check_installed(prefix, prefix)

        # The programs run through their bin/ links and find the program folder from there.
        texture = Path(shutil.copy(SOURCE / "samples/sample.dds", scratch / "texture.dds"))
        built = subprocess.run([prefix / "bin/sodrel-convert", "build", texture], timeout=60)
        check(built.returncode == 0 and Path(f"{texture}.bin").read_bytes()
              == (SOURCE / "samples/sample.bin").read_bytes(),
              "the installed sodrel-convert did not build samples/sample.bin")
        check(keeps_running(prefix / "bin/sodrel-tools"), "the installed sodrel-tools exited")

        # Installing again keeps the user's own header template.
        own = b"OUR GAME'S OWN HEADER".ljust(64, b"\x01")
        (prefix / FOLDER / "KX00.dll").write_bytes(own)
        install(cmake, build, prefix)
        check((prefix / FOLDER / "KX00.dll").read_bytes() == own,
              "installing again replaced the user's KX00.dll")

        # A staged install: files under DESTDIR, Exec naming where they will be.
        install(cmake, build, "/opt/sodrel", destdir=scratch / "stage")
        check_installed(scratch / "stage/opt/sodrel", "/opt/sodrel")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print("passed" if not failures else f"{len(failures)} check(s) failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
