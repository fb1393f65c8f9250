#!/usr/bin/env python3
"""Installs the build into temporary prefixes and checks that what lands there is a working
program folder with its links, desktop entry and icon.

    install_test.py BUILD_DIR CMAKE

(cpack is left out: it builds the project first, which must not happen while tests run.)
"""

import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.normpath(os.path.join(HERE, os.pardir, os.pardir))
FOLDER = "lib/sodrel-tools"
PROGRAMS = ("sodrel-tools", "sodrel-convert")
EXPECTED = {
    f"{FOLDER}/sodrel-tools", f"{FOLDER}/sodrel-convert", f"{FOLDER}/KX00.dll", f"{FOLDER}/Temp/",
    "bin/sodrel-tools", "bin/sodrel-convert", "share/applications/sodrel-tools.desktop",
    "share/icons/hicolor/256x256/apps/sodrel-tools.png",
}

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAILED: " + message, flush=True)
    return condition


def tree(root):
    """Every file, link and empty folder under `root`, relative, folders ending in '/'."""
    found = set()
    for folder, dirs, files in os.walk(root):
        rel = os.path.relpath(folder, root)
        for name in files + [d for d in dirs if os.path.islink(os.path.join(folder, d))]:
            found.add(os.path.normpath(os.path.join(rel, name)))
        if not dirs and not files and rel != ".":
            found.add(rel + "/")
    return found


def desktop_entry(path):
    values = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            key, sep, value = line.rstrip("\n").partition("=")
            if sep and not line.startswith("["):
                values[key] = value
    return values


def exec_program(exec_value):
    """The program an Exec value starts, as a desktop reads it: string escapes undone, then the
    first argument unquoted (inside quotes a backslash escapes " ` $ \\), then %% as %."""
    value = re.sub(r"\\(.)", lambda m: {"s": " ", "n": "\n", "t": "\t", "r": "\r"}.get(
        m.group(1), m.group(1)), exec_value)
    if not value.startswith('"'):
        return value.split(" ")[0].replace("%%", "%")
    match = re.match(r'"((?:[^"\\`$]|\\["`$\\])*)"', value)
    if not match:
        return None
    return re.sub(r"\\(.)", r"\1", match.group(1)).replace("%%", "%")


def check_program_starts(program):
    """The window program starts and keeps running (offscreen) until it is told to stop."""
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    process = subprocess.Popen([program], env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE)
    deadline = time.monotonic() + 2.0
    while time.monotonic() < deadline and process.poll() is None:
        time.sleep(0.1)
    alive = process.poll() is None
    if alive:
        process.send_signal(signal.SIGTERM)
    _, err = process.communicate(timeout=20)
    check(alive, f"{program} exited at once with status {process.returncode}: "
                 f"{err.decode(errors='replace')}")


def check_installed(prefix, final_prefix):
    """`prefix` holds the files; `final_prefix` is where they will run from (DESTDIR aside)."""
    found = tree(prefix)
    check(found == EXPECTED, f"installed files differ: missing {sorted(EXPECTED - found)}, "
                             f"unexpected {sorted(found - EXPECTED)}")
    folder = os.path.join(prefix, FOLDER)
    for name in PROGRAMS:
        program = os.path.join(folder, name)
        check(os.access(program, os.X_OK), f"{program} is not executable")
        link = os.path.join(prefix, "bin", name)
        check(os.path.islink(link) and os.readlink(link) == f"../{FOLDER}/{name}",
              f"{link} is not a relative link into the program folder")
    with open(os.path.join(folder, "KX00.dll"), "rb") as f, \
            open(os.path.join(SOURCE, "resources", "KX00.dll"), "rb") as g:
        template = f.read()
        check(len(template) == 64 and template == g.read(),
              "KX00.dll is not the 64-byte header template")
    temp = os.path.join(folder, "Temp")
    check(os.path.isdir(temp) and not os.listdir(temp), "Temp/ is not an empty folder")

    entry = desktop_entry(os.path.join(prefix, "share/applications/sodrel-tools.desktop"))
    check(entry.get("Name") == "Sodrel Tools" and entry.get("Icon") == "sodrel-tools",
          f"desktop entry names or icon wrong: {entry}")
    check(exec_program(entry.get("Exec", "")) == os.path.join(final_prefix, FOLDER,
                                                              "sodrel-tools"),
          f"desktop entry Exec {entry.get('Exec')!r} is not the installed program under "
          f"{final_prefix}")

    with open(os.path.join(prefix, "share/icons/hicolor/256x256/apps/sodrel-tools.png"),
              "rb") as f:
        head = f.read(24)
    check(head[:8] == b"\x89PNG\r\n\x1a\n" and struct.unpack(">II", head[16:24]) == (256, 256),
          "the icon is not a 256x256 PNG")


def check_runs(prefix, scratch):
    """The programs run through their bin/ links and find the program folder from there."""
    texture = os.path.join(scratch, "texture.dds")
    shutil.copyfile(os.path.join(SOURCE, "samples", "sample.dds"), texture)
    result = subprocess.run([os.path.join(prefix, "bin", "sodrel-convert"), "build", texture],
                            capture_output=True, timeout=60)
    check(result.returncode == 0,
          f"sodrel-convert build failed: {result.stderr.decode(errors='replace')}")
    with open(texture + ".bin", "rb") as f, \
            open(os.path.join(SOURCE, "samples", "sample.bin"), "rb") as g:
        check(f.read() == g.read(), "the installed sodrel-convert built a different container")
    check_program_starts(os.path.join(prefix, "bin", "sodrel-tools"))


def install(cmake, build, prefix, destdir=None):
    env = dict(os.environ)
    env.pop("DESTDIR", None)
    if destdir:
        env["DESTDIR"] = destdir
    result = subprocess.run([cmake, "--install", build, "--prefix", prefix], env=env,
                            capture_output=True, timeout=120)
    if not check(result.returncode == 0,
                 f"cmake --install failed: {result.stderr.decode(errors='replace')}"):
        sys.exit(1)


def main():
    build, cmake = sys.argv[1:3]
    scratch = tempfile.mkdtemp(prefix="sodrel-install-")
    try:
        # A prefix with a space, a dollar and a percent sign: Exec must quote and escape them.
        prefix = os.path.join(scratch, "my programs", "$HOME 100%")
        install(cmake, build, prefix)
        check_installed(prefix, prefix)
        check_runs(prefix, scratch)

        # Installing again keeps the user's own header template.
        template = os.path.join(prefix, FOLDER, "KX00.dll")
        own = b"OUR GAME'S OWN HEADER".ljust(64, b"\x01")
        with open(template, "wb") as f:
            f.write(own)
        install(cmake, build, prefix)
        with open(template, "rb") as f:
            check(f.read() == own, "installing again replaced the user's KX00.dll")

        # A staged install: files under DESTDIR, Exec naming where they will be.
        stage = os.path.join(scratch, "stage")
        install(cmake, build, "/opt/sodrel", destdir=stage)
        check_installed(os.path.join(stage, "opt/sodrel"), "/opt/sodrel")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print("passed" if not failures else f"{len(failures)} check(s) failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
