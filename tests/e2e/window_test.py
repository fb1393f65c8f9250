#!/usr/bin/env python3
"""Drives the real sodrel-tools window in an X server of its own, as a person would, and checks
what it writes and shows.

    window_test.py BIN_DIR [--screenshot PNG]

BIN_DIR is a built program folder (sodrel-tools and KX00.dll); the program runs from a copy of
it, so BIN_DIR is never written. Needs Xvfb, openbox, xdotool, xwininfo, xprop, wmctrl and
ImageMagick's import. With --screenshot it also opens samples/sample.bin and saves a picture of
the window (docs/screenshot.png is made so).

Exit status: 0 passed, 1 failed, 77 a tool is missing (CTest reports a skip).
"""

import argparse
import os
import shutil
import signal
import struct
import sys
import tempfile
import time
from pathlib import Path

sys.dont_write_bytecode = True  # leave no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from desktop_session import DesktopSession, Failure, wait_for  # noqa: E402

SAMPLE = Path(__file__).resolve().parents[2] / "samples" / "sample.bin"
TOOLS = ("Xvfb", "openbox", "xdotool", "xwininfo", "xprop", "wmctrl", "import")
APP_CLASS = "sodrel-tools"
CLIENT_SIZE = (1344, 575)  # the window's fixed client area, below the menu bar
WORK_FILES = ("Picture.dds", "PictureLoad.bmp", "ImportFile", "PictureImportFile")
WHITE = (255, 255, 255)
# Two textures of one colour each, so that the screen tells which one is shown.
EXPORT_COLOUR, IMPORT_COLOUR = (200, 40, 10), (30, 150, 220)
# Client points that show the texture: the preview area (Image1: 8,8 sized 1329x561) around the
# banner (Image2: 264,392 sized 727x170), and a transparent corner of the banner...
TEXTURE_POINTS = [(12, 12), (660, 12), (1333, 12), (100, 100), (660, 300), (12, 565),
                  (200, 500), (1100, 500), (1333, 565), (268, 396)]
BANNER_TILE = (351, 477)  # ...but not the middle of the banner's opaque tile.
STARTED = time.monotonic()


def flat_dds(width, height, rgb):
    """An uncompressed 24-bit DDS file of one colour."""
    header = bytearray(b"DDS ".ljust(128, b"\0"))
    struct.pack_into("<IIIII", header, 4, 124, 0x100F, height, width, width * 3)
    struct.pack_into("<II", header, 76, 32, 0x40)
    struct.pack_into("<IIII", header, 88, 24, 0xFF0000, 0x00FF00, 0x0000FF)
    struct.pack_into("<I", header, 108, 0x1000)
    return bytes(header) + bytes(rgb[::-1]) * (width * height)


def near(pixel, colour, tolerance):
    return all(abs(a - b) <= tolerance for a, b in zip(pixel, colour))


def step(text):
    print(f"[{time.monotonic() - STARTED:6.1f} s] {text}", flush=True)


def expect_file(path, expected, what):
    wait_for(f"{what} ({path})", lambda: path.exists() and path.stat().st_size == len(expected))
    if path.read_bytes() != expected:
        raise Failure(f"{what} ({path}) does not hold the expected bytes")


class MainWindow:
    """The program under test and where its window is."""

    def __init__(self, session, program, cwd, scratch):
        self.session = session
        env = {k: v for k, v in session.env.items() if not k.startswith("QT_")}  # no scaling
        env.update(QT_QPA_PLATFORM="xcb", QT_SCALE_FACTOR="1", XDG_RUNTIME_DIR=f"{scratch}/run",
                   XDG_CONFIG_HOME=f"{scratch}/config", XDG_CACHE_HOME=f"{scratch}/cache",
                   XDG_DATA_HOME=f"{scratch}/share")
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
        self.process = session.start("program", [program], env=env, cwd=cwd)

        def shown():
            if self.process.poll() is not None:
                raise Failure(f"the program exited with status {self.process.returncode}")
            return session.windows_named("^Sodrel Tools version ")

        self.id = wait_for("the main window", shown)[0]
        self.menu_bar = session.window(self.id).height - CLIENT_SIZE[1]  # all above the client
        wait_for("the white client area below the menu bar", self.drawn)

    def drawn(self):
        """Whether the screen shows the white client area starting below the menu bar."""
        shot, (x, y) = self.session.screenshot(), self.to_screen(CLIENT_SIZE[0] - 3, 0)
        return shot.at(x, y - 1) != WHITE and all(shot.at(x, y + k) == WHITE for k in range(6))

    def to_screen(self, cx, cy):
        """Screen position of a client-area point; asked afresh, the manager may move us."""
        g = self.session.window(self.id)
        return g.x + cx, g.y + self.menu_bar + cy

    def click(self, cx, cy, button=1):
        """Clicks a client point; a negative `cy` is in the menu bar."""
        self.session.xdotool("mousemove", *self.to_screen(cx, cy), "click", button)

    def choose(self, index):
        """Clicks entry `index` of the open "Menu": two entries with a separator between."""
        menu = wait_for("the menu to open", lambda: self.session.popups(APP_CLASS))[0]
        self.session.xdotool("mousemove", menu.x + 40, menu.y + menu.height * (1 + 2 * index) // 4,
                             "click", 1)

    def answer_file_dialog(self, title, path):
        named = lambda: self.session.windows_named(f"^{title}$")  # noqa: E731
        dialog = wait_for(f'the "{title}" dialog', named)[0]
        wait_for("the dialog to take the keyboard", lambda: self.session.active_window() == dialog)
        self.session.xdotool("key", "ctrl+a")  # the field may still hold the last name
        self.session.xdotool("type", "--delay", 20, "--", path)
        self.session.xdotool("key", "Return")
        wait_for(f'the "{title}" dialog to close', lambda: not named())
        wait_for("its suggestion list to close", lambda: not self.session.popups(APP_CLASS))

    def preview_shows(self, colour):
        """Whether the preview area shows `colour` with the banner over it."""
        shot, (left, top) = self.session.screenshot(), self.to_screen(0, 0)
        return (all(near(shot.at(left + x, top + y), colour, 4) for x, y in TEXTURE_POINTS)
                and not near(shot.at(left + BANNER_TILE[0], top + BANNER_TILE[1]), colour, 40))


def run(args, session, scratch):
    program, data = scratch / "program", scratch / "files"
    temp = program / "Temp"
    temp.mkdir(parents=True)
    data.mkdir()
    for name in ("sodrel-tools", "KX00.dll"):
        shutil.copy2(args.bin_dir / name, program)
    present = lambda: [n for n in WORK_FILES if (temp / n).exists()]  # noqa: E731
    export_dds, import_dds = flat_dds(64, 64, EXPORT_COLOUR), flat_dds(64, 64, IMPORT_COLOUR)
    container, texture = data / "red texture.bin", data / "blue.dds"
    container.write_bytes(b"E2E CONTAINER HEADER".ljust(64, b"\x07") + export_dds)
    texture.write_bytes(import_dds)

    session.start_desktop()
    step(f"starting the program on display {session.display}")
    window = MainWindow(session, program / "sodrel-tools", data, scratch)

    step("right click on the preview > Open and Export DDS")
    window.click(100, 100, button=3)
    window.choose(0)
    window.answer_file_dialog("Open Sodrel Bin", container)
    expect_file(Path(f"{container}.dds"), container.read_bytes()[64:], "the exported DDS file")
    wait_for("the preview to show the exported texture under the banner",
             lambda: window.preview_shows(EXPORT_COLOUR))

    step("menu bar: Menu > Import and Bulit New Bin")
    window.click(25, -window.menu_bar // 2)
    window.choose(1)
    window.answer_file_dialog("Open Sodrel DDS", texture)
    template = (program / "KX00.dll").read_bytes()[:64]
    expect_file(Path(f"{texture}.bin"), template + import_dds, "the built container")
    wait_for("the preview to show the imported texture under the banner",
             lambda: window.preview_shows(IMPORT_COLOUR))

    step('left click on the preview: a message titled "Sodrel Tools"')
    window.click(100, 100)
    box = wait_for("the message", lambda: session.windows_named("^Sodrel Tools$"))[0]
    session.run(["wmctrl", "-i", "-c", hex(box)])
    wait_for("the message to close", lambda: not session.windows_named("^Sodrel Tools$"))

    if args.screenshot:
        step("opening the sample for the screenshot")
        sample = Path(shutil.copy(SAMPLE, data))
        window.click(100, 100, button=3)
        window.choose(0)
        window.answer_file_dialog("Open Sodrel Bin", sample)
        expect_file(Path(f"{sample}.dds"), sample.read_bytes()[64:], "the sample's DDS file")
        wait_for("the sample's picture", lambda: not window.preview_shows(IMPORT_COLOUR))
        session.xdotool("mousemove", 0, 0)
        shots = []
        wait_for("the screen to settle", lambda: shots.append(session.screenshot().pixels)
                 or len(shots) > 1 and shots[-1] == shots[-2])
        session.save_picture(args.screenshot, window.id)
        step(f"saved {args.screenshot}")

    if present() != list(WORK_FILES):
        raise Failure(f"working files before closing: {present()}, not all of {WORK_FILES}")
    step("closing the window")
    session.run(["wmctrl", "-i", "-c", hex(window.id)])
    wait_for("the program to exit", lambda: window.process.poll() is not None)
    if window.process.returncode != 0 or present():
        raise Failure(f"the program exited with status {window.process.returncode}, leaving "
                      f"{present() or 'no working files'}")
    step("closed; the working files are gone")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("bin_dir", type=Path, help="the built program folder")
    parser.add_argument("--screenshot", type=os.path.abspath,
                        help="save a PNG of the window showing samples/sample.bin")
    args = parser.parse_args()
    missing = [tool for tool in TOOLS if not shutil.which(tool)]
    if missing:
        print(f"skipped: missing {', '.join(missing)} (scripts/install-deps test installs them)")
        return 77

    # A test timeout sends SIGTERM: stop the processes we started on the way out.
    signal.signal(signal.SIGTERM, lambda signum, _: sys.exit(128 + signum))
    scratch = Path(tempfile.mkdtemp(prefix="sodrel-e2e-"))
    session, passed = DesktopSession(scratch), False
    try:
        run(args, session, scratch)
        passed = True
    except Failure as failure:
        print(f"FAILED: {failure}", flush=True)
        if session.display:
            session.run(["import", "-silent", "-window", "root", f"{scratch}/failure.png"],
                        check=False)
    finally:
        session.close()
        if passed:
            shutil.rmtree(scratch, ignore_errors=True)
        else:
            log = scratch / "program.log"
            if log.exists():
                print("program output:\n" + log.read_text(errors="replace")[-4000:])
            print(f"files kept in {scratch}")
    print(f"{'passed' if passed else 'failed'} in {time.monotonic() - STARTED:.1f} s")
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
