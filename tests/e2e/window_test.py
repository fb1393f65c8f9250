#!/usr/bin/env python3
"""window_test.py BIN_DIR: drives the real sodrel-tools window in an X server of its own (Xvfb
and openbox), with the mouse and keyboard as a person would, and checks what it writes and what
the screen shows. BIN_DIR is a built program folder; the program runs from a copy of it.
Exit status: 0 passed, 1 failed, 77 a tool is missing (CTest reports a skip)."""

import os
import re
import select
import shutil
import struct
import subprocess
import sys
import tempfile
import time
from pathlib import Path

TOOLS = ("Xvfb", "openbox", "xdotool", "xwininfo", "wmctrl", "import")
WORK_FILES = ("Picture.dds", "PictureLoad.bmp", "ImportFile", "PictureImportFile")
CLIENT_HEIGHT = 575  # the window's fixed client area, below the menu bar
# Client points that show the texture: around the banner (727x170 at 264,392) and in a
# transparent corner of it; and the middle of its opaque tile, which never shows the texture.
TEXTURE_POINTS = [(12, 12), (1333, 12), (660, 300), (12, 565), (1333, 565), (200, 500), (268, 396)]
BANNER_TILE = (351, 477)
EXPORT_COLOUR, IMPORT_COLOUR = (200, 40, 10), (30, 150, 220)


class Failure(Exception):
    pass


def wait_for(what, probe, timeout=20.0):
    deadline = time.monotonic() + timeout
    while not (value := probe()):
        if time.monotonic() > deadline:
            raise Failure(f"gave up waiting for {what}")
        time.sleep(0.1)
    return value


def flat_dds(width, height, rgb):
    """An uncompressed 24-bit DDS file of one colour."""
    header = bytearray(b"DDS ".ljust(128, b"\0"))
    struct.pack_into("<IIIII", header, 4, 124, 0x100F, height, width, width * 3)
    struct.pack_into("<IIIIIIII", header, 76, 32, 0x40, 0, 24, 0xFF0000, 0xFF00, 0xFF, 0)
    struct.pack_into("<I", header, 108, 0x1000)
    return bytes(header) + bytes(rgb[::-1]) * (width * height)


class Session:
    """The X server, the window manager and the program; close() stops them all."""

    def __init__(self, scratch):
        self.scratch, self.processes, self.env = scratch, [], dict(os.environ)
        read_end, write_end = os.pipe()
        self.start("Xvfb", ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1600x900x24",
                            "-nolisten", "tcp"], pass_fds=(write_end,))
        os.close(write_end)
        with os.fdopen(read_end, "rb") as pipe:  # the display number, once Xvfb is ready
            number = pipe.readline().strip() if select.select([pipe], [], [], 20)[0] else b""
        if not number.isdigit():
            raise Failure("Xvfb did not start")
        self.env["DISPLAY"] = ":" + number.decode()
        self.start("openbox", ["openbox", "--sm-disable"])
        wait_for("the window manager", lambda: self.run("wmctrl", "-m", check=False)[0] == 0)

    def start(self, name, argv, env=None, pass_fds=()):
        with open(self.scratch / f"{name}.log", "wb") as log:
            self.processes.append(subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=log,
                                                   stderr=log, env=env or self.env,
                                                   pass_fds=pass_fds))
        return self.processes[-1]

    def close(self):
        for process in reversed(self.processes):
            process.terminate()
            process.wait(10)

    def run(self, *argv, check=True):
        result = subprocess.run(argv, env=self.env, capture_output=True, timeout=20)
        if check and result.returncode != 0:
            raise Failure(f"{' '.join(map(str, argv))} failed: {result.stderr.decode()}")
        return result.returncode, result.stdout.decode(errors="replace")

    def windows_named(self, pattern):
        code, out = self.run("xdotool", "search", "--onlyvisible", "--name", pattern, check=False)
        return [int(wid) for wid in out.split()] if code == 0 else []

    def geometry(self, wid):
        out = self.run("xwininfo", "-id", str(wid))[1]
        field = lambda label: int(re.search(rf"{label}:\s*(-?\d+)", out)[1])  # noqa: E731
        return field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Height")

    def popup_open(self):
        """Whether a menu or suggestion list of the program is on screen."""
        out = self.run("xwininfo", "-root", "-children")[1]
        for wid in re.findall(r'^\s+(0x[0-9a-f]+) .*\("sodrel-tools" ', out, re.M):
            info = self.run("xwininfo", "-id", wid, check=False)[1]
            if "IsViewable" in info and "Override Redirect State: yes" in info and \
                    int(re.search(r"Width:\s*(\d+)", info)[1]) > 4:
                return True
        return False

    def key(self, *keys):
        self.run("xdotool", "key", "--delay", "50", *keys)

    def screen(self):
        ppm = self.run_bytes("import", "-silent", "-window", "root", "-depth", "8", "ppm:-")
        match = re.match(rb"P6\s+(\d+)\s+\d+\s+255\s", ppm)
        width, pixels = int(match[1]), ppm[match.end():]
        return lambda x, y: tuple(pixels[(y * width + x) * 3:(y * width + x) * 3 + 3])

    def run_bytes(self, *argv):
        return subprocess.run(argv, env=self.env, capture_output=True, timeout=20, check=True).stdout


def main():
    bin_dir, missing = Path(sys.argv[1]), [t for t in TOOLS if not shutil.which(t)]
    if missing:
        print(f"skipped: missing {', '.join(missing)} (scripts/install-deps test installs them)")
        return 77
    scratch = Path(tempfile.mkdtemp(prefix="sodrel-e2e-"))
    program, data = scratch / "program", scratch / "files"
    (program / "Temp").mkdir(parents=True)
    data.mkdir()
    for name in ("sodrel-tools", "KX00.dll"):
        shutil.copy2(bin_dir / name, program)
    export_dds, import_dds = flat_dds(64, 64, EXPORT_COLOUR), flat_dds(64, 64, IMPORT_COLOUR)
    container, texture = data / "red texture.bin", data / "blue.dds"
    container.write_bytes(b"E2E CONTAINER HEADER".ljust(64, b"\x07") + export_dds)
    texture.write_bytes(import_dds)
    present = lambda: [n for n in WORK_FILES if (program / "Temp" / n).exists()]  # noqa: E731
    session = None
    try:
        session = Session(scratch)
        env = {k: v for k, v in session.env.items() if not k.startswith("QT_")}
        env.update(QT_QPA_PLATFORM="xcb", QT_SCALE_FACTOR="1", XDG_CONFIG_HOME=str(scratch))
        app = session.start("program", [program / "sodrel-tools"], env=env)
        window = wait_for("the main window", lambda: app.poll() is None and
                          session.windows_named("^Sodrel Tools version "))[0]

        def client(cx, cy):  # screen position of a client point; the manager may move us
            x, y, height = session.geometry(window)
            return x + cx, y + height - CLIENT_HEIGHT + cy

        def click(cx, cy, button=1):  # a negative cy is in the menu bar
            session.run("xdotool", "mousemove", *map(str, client(cx, cy)), "click", str(button))

        def shows(colour):
            at, (left, top) = session.screen(), client(0, 0)
            near = lambda p, tolerance: all(abs(a - b) <= tolerance for a, b in zip(p, colour))  # noqa
            return (all(near(at(left + x, top + y), 4) for x, y in TEXTURE_POINTS)
                    and not near(at(left + BANNER_TILE[0], top + BANNER_TILE[1]), 40))

        def choose(downs, title, path):  # the item `downs` down the open Menu, then the dialog
            wait_for("the menu", session.popup_open)
            session.key(*["Down"] * downs, "Return")
            dialog = wait_for(f"the {title} dialog", lambda: session.windows_named(f"^{title}$"))[0]
            wait_for("the dialog to take the keyboard", lambda: session.run(
                "xdotool", "getactivewindow", check=False)[1].strip() == str(dialog))
            session.key("ctrl+a")
            session.run("xdotool", "type", "--delay", "20", "--", str(path))
            session.key("Return")
            wait_for("the dialog to close", lambda: not session.windows_named(f"^{title}$"))
            wait_for("its suggestion list to close", lambda: not session.popup_open())

        wait_for("the window to be drawn", lambda: session.screen()(*client(660, 300)) == (255,) * 3)
        click(100, 100, button=3)  # the preview's popup menu
        choose(1, "Open Sodrel Bin", container)
        wait_for("the exported texture under the banner", lambda: shows(EXPORT_COLOUR))
        if Path(f"{container}.dds").read_bytes() != export_dds:
            raise Failure("the exported DDS file is not the container's texture")

        click(25, -10)  # the menu bar's Menu
        choose(2, "Open Sodrel DDS", texture)
        wait_for("the imported texture under the banner", lambda: shows(IMPORT_COLOUR))
        if Path(f"{texture}.bin").read_bytes() != (program / "KX00.dll").read_bytes() + import_dds:
            raise Failure("the built container is not the template and the DDS file")

        click(100, 100)  # releasing the button over the preview shows the path
        box = wait_for("the path message", lambda: session.windows_named("^Sodrel Tools$"))[0]
        session.run("wmctrl", "-i", "-c", hex(box))
        wait_for("the message to close", lambda: not session.windows_named("^Sodrel Tools$"))
        if present() != list(WORK_FILES):
            raise Failure(f"working files before closing: {present()}")
        session.run("wmctrl", "-i", "-c", hex(window))
        wait_for("the program to exit", lambda: app.poll() is not None)
        if app.returncode != 0 or present():
            raise Failure(f"exit status {app.returncode}, working files left: {present()}")
    except Failure as failure:
        print(f"FAILED: {failure}; files kept in {scratch}")
        if session:
            session.run("import", "-window", "root", scratch / "failure.png", check=False)
        return 1
    finally:
        if session:
            session.close()
    shutil.rmtree(scratch, ignore_errors=True)
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
