#!/usr/bin/env python3
"""Drives the real sodrel-tools window in an X server, as a person would, and checks what it
writes and shows.

    window_test.py BIN_DIR [--screenshot PNG [--sample BIN]] [--display :N] [--keep]

BIN_DIR is a built program folder (sodrel-tools and KX00.dll); the program runs from a copy of
it in a temporary folder, so BIN_DIR is never written. The test starts its own Xvfb server and
openbox (or uses --display, which must already have a window manager), and needs xdotool,
xwininfo, wmctrl and ImageMagick's import. With --screenshot it also opens the sample container
and saves a picture of the window.

Exit status: 0 passed, 1 failed, 77 a tool is missing (CTest reports a skip).
"""

import argparse
import os
import re
import shutil
import signal
import struct
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # leave no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from desktop_session import DesktopSession, Failure, wait_for  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLE = os.path.join(HERE, os.pardir, os.pardir, "samples", "sample.bin")
TOOLS = ("Xvfb", "openbox", "xdotool", "xwininfo", "wmctrl", "import")

# The window's fixed layout, in client-area coordinates (the client area starts below the
# menu bar).
CLIENT_SIZE = (1344, 575)
BANNER = (264, 392, 727, 170)  # Image2, in front of the preview
CAPTION = re.compile(r"Sodrel Tools version \d+\.\d+\.\d+ by the Sodrel Tools team")
APP_CLASS = "sodrel-tools"
WORK_FILES = ("Picture.dds", "PictureLoad.bmp", "ImportFile", "PictureImportFile")

# Two textures of one colour each, so that the screen tells which one is shown.
EXPORT_COLOUR = (200, 40, 10)
IMPORT_COLOUR = (30, 150, 220)
# Points of the preview area (Image1: 8,8 sized 1329x561) outside the banner.
PREVIEW_POINTS = [(12, 12), (660, 12), (1333, 12), (100, 100), (660, 300), (12, 565),
                  (200, 500), (1100, 500), (1333, 565)]
# Banner points: a transparent corner shows the texture through it; the middle of the drawn
# tile is opaque.
BANNER_CLEAR = (4, 4)
BANNER_OPAQUE = (87, 85)


def flat_dds(width, height, rgb):
    """An uncompressed 24-bit DDS file of one colour."""
    header = bytearray(128)
    header[0:4] = b"DDS "
    struct.pack_into("<IIIII", header, 4, 124, 0x100F, height, width, width * 3)
    struct.pack_into("<II", header, 76, 32, 0x40)
    struct.pack_into("<IIII", header, 88, 24, 0xFF0000, 0x00FF00, 0x0000FF)
    struct.pack_into("<I", header, 108, 0x1000)
    return bytes(header) + bytes((rgb[2], rgb[1], rgb[0])) * (width * height)


def near(pixel, colour, tolerance=4):
    return all(abs(a - b) <= tolerance for a, b in zip(pixel, colour))


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def step(text):
    print(f"[{time.monotonic() - STARTED:6.1f} s] {text}", flush=True)


STARTED = time.monotonic()


class MainWindow:
    """The program under test and where its window is."""

    def __init__(self, session, folder, data_dir, scratch):
        self.session, self.folder, self.data_dir = session, folder, data_dir
        env = {
            "QT_QPA_PLATFORM": "xcb",
            "XDG_CONFIG_HOME": os.path.join(scratch, "config"),
            "XDG_CACHE_HOME": os.path.join(scratch, "cache"),
            "XDG_DATA_HOME": os.path.join(scratch, "data-home"),
            "XDG_RUNTIME_DIR": os.path.join(scratch, "runtime"),
            "QT_SCALE_FACTOR": "1",
        }
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
        for name in ("QT_SCREEN_SCALE_FACTORS", "QT_AUTO_SCREEN_SCALE_FACTOR", "QT_FONT_DPI",
                     "QT_QPA_PLATFORMTHEME", "QT_STYLE_OVERRIDE"):
            session.env.pop(name, None)
        self.process = session.start_program([os.path.join(folder, "sodrel-tools")],
                                             cwd=data_dir, env_overrides=env)
        found = wait_for("the main window", self._find_main_window)
        self.id = found[0]
        name = session.window_name(self.id)
        if not CAPTION.fullmatch(name):
            raise Failure(f"the window caption is {name!r}")
        geometry = session.window(self.id)
        if geometry.width != CLIENT_SIZE[0]:
            raise Failure(f"the window is {geometry.width} px wide, not {CLIENT_SIZE[0]}")
        # Everything above the fixed client area is the menu bar.
        self.menu_bar = geometry.height - CLIENT_SIZE[1]
        if not 10 <= self.menu_bar <= 60:
            raise Failure(f"the window is {geometry.height} px high: no room for a menu bar "
                          f"above the {CLIENT_SIZE[1]} px client area")
        wait_for("the white client area to start below the menu bar", self._client_is_drawn)

    def _find_main_window(self):
        if self.process.poll() is not None:
            raise Failure(f"the program exited with status {self.process.returncode}")
        return self.session.visible_windows_named("^Sodrel Tools version ")

    def _client_is_drawn(self):
        """Measures the menu bar on the screen: the first all-white rows of the window."""
        g = self.session.window(self.id)
        shot = self.session.screenshot()
        x = g.x + CLIENT_SIZE[0] - 3  # right of the menu titles, left of the window's edge
        for y in range(g.y, g.y + 80):
            if all(shot.at(x, y + k) == (255, 255, 255) for k in range(6)):
                return y - g.y == self.menu_bar
        return False

    def to_screen(self, cx, cy):
        """Screen position of a client-area point; asked afresh, the manager may move us."""
        g = self.session.window(self.id)
        return g.x + cx, g.y + self.menu_bar + cy

    def click_client(self, cx, cy, button=1):
        self.session.click(*self.to_screen(cx, cy), button)

    def click_menu_bar(self, x):
        g = self.session.window(self.id)
        self.session.click(g.x + x, g.y + self.menu_bar // 2)

    # ----- popups and dialogs

    def no_popups(self):
        return not self.session.popups(APP_CLASS)

    def choose_menu_entry(self, index):
        """Clicks entry `index` of the open "Menu": two entries with a separator between."""
        popup = wait_for("the menu to open", lambda: self.session.popups(APP_CLASS))[0]
        self.session.click(popup.x + 40, popup.y + popup.height * (1 + 2 * index) // 4)

    def answer_file_dialog(self, title, path):
        pattern = f"^{title}$"
        dialog = wait_for(f'the "{title}" dialog',
                          lambda: self.session.visible_windows_named(pattern))[0]
        wait_for(f'the "{title}" dialog to take the keyboard',
                 lambda: self.session.active_window() == dialog)
        self.session.key("ctrl+a")  # the field may still hold the last name; replace it
        self.session.type_text(path)
        self._dismiss_completions()
        self.session.key("Return")
        wait_for(f'the "{title}" dialog to close',
                 lambda: not self.session.visible_windows_named(pattern))
        stale = self.session.popups(APP_CLASS)
        if stale:
            # Qt can leave the file-name field's completion list on the screen after the
            # dialog has gone; it would swallow the next click.
            step(f"note: a completion list stayed on the screen ({stale[0]}); closing it")
            self.click_menu_bar(CLIENT_SIZE[0] - 40)
            wait_for("the completion list to close", self.no_popups)

    def _dismiss_completions(self):
        """Closes the file-name field's completion list, which opens a moment after typing once
        the folder has been read, as a person would before pressing Return."""
        quiet_since = time.monotonic()
        while time.monotonic() - quiet_since < 1.0:
            if self.session.popups(APP_CLASS):
                step("  closing the completion list with Escape")
                self.session.key("Escape")
                wait_for("the completion list to close", self.no_popups)
                quiet_since = time.monotonic()
            time.sleep(0.1)

    def message_boxes(self):
        return self.session.visible_windows_named("^Sodrel Tools$")

    # ----- the preview

    def preview_check(self, colour):
        """None when the preview shows `colour` with the banner over it, else what is wrong."""
        shot = self.session.screenshot()
        left, top = self.to_screen(0, 0)

        def pixel(cx, cy):
            return shot.at(left + cx, top + cy)

        for cx, cy in PREVIEW_POINTS:
            if not near(pixel(cx, cy), colour):
                return f"client point {(cx, cy)} is {pixel(cx, cy)}, not {colour}"
        bx, by, bw, bh = BANNER
        clear = pixel(bx + BANNER_CLEAR[0], by + BANNER_CLEAR[1])
        if not near(clear, colour):
            return f"a clear corner of the banner shows {clear}, not the texture"
        opaque = pixel(bx + BANNER_OPAQUE[0], by + BANNER_OPAQUE[1])
        if near(opaque, colour, 40):
            return f"the banner's drawing is gone: {opaque} where the tile should be"
        drawn = sum(1 for y in range(by, by + bh, 3) for x in range(bx, bx + bw, 3)
                    if not near(pixel(x, y), colour))
        sampled = len(range(by, by + bh, 3)) * len(range(bx, bx + bw, 3))
        if drawn < sampled // 10:
            return f"only {drawn} of {sampled} banner points differ from the texture"
        return None

    def wait_for_preview(self, colour):
        last = ["nothing checked yet"]

        def shown():
            last[0] = self.preview_check(colour)
            return last[0] is None

        try:
            wait_for(f"the preview to show {colour}", shown)
        except Failure as failure:
            raise Failure(f"{failure}: {last[0]}") from None

    def wait_until_still(self):
        """Waits for two screenshots in a row to be the same."""
        previous = [None]

        def still():
            pixels = self.session.screenshot().pixels
            same = pixels == previous[0]
            previous[0] = pixels
            return same

        wait_for("the screen to settle", still)


def expect_file(path, expected, what):
    def written():
        return os.path.exists(path) and os.path.getsize(path) == len(expected)

    wait_for(f"{what} ({path})", written)
    if read(path) != expected:
        raise Failure(f"{what} ({path}) does not hold the expected bytes")


def run(args, session, scratch):
    program = os.path.join(scratch, "program")
    os.makedirs(os.path.join(program, "Temp"))
    for name in ("sodrel-tools", "KX00.dll"):
        source = os.path.join(args.bin_dir, name)
        if not os.path.isfile(source):
            raise Failure(f"{source} is missing: build the program first")
        shutil.copy2(source, program)
    template = read(os.path.join(program, "KX00.dll"))[:64]
    data = os.path.join(scratch, "files")
    os.makedirs(data)

    export_dds = flat_dds(64, 64, EXPORT_COLOUR)
    container = os.path.join(data, "red texture.bin")
    container_bytes = b"E2E CONTAINER HEADER".ljust(64, b"\x07") + export_dds
    write(container, container_bytes)
    import_dds = flat_dds(64, 64, IMPORT_COLOUR)
    texture = os.path.join(data, "blue.dds")
    write(texture, import_dds)

    step(f"starting the program on display {session.display}")
    window = MainWindow(session, program, data, scratch)
    step(f"main window {window.id:#x}; menu bar {window.menu_bar} px")

    step("left click before any file: no message")
    window.click_client(100, 100)
    time.sleep(1.0)  # a message would be up by now; nothing else to wait for
    if window.message_boxes():
        raise Failure("a message appeared although no file was chosen")

    step("right click on the preview > Open and Export DDS")
    if not window.no_popups():
        raise Failure("a popup is open before the right click")
    window.click_client(100, 100, button=3)
    window.choose_menu_entry(0)
    window.answer_file_dialog("Open Sodrel Bin", container)
    expect_file(container + ".dds", container_bytes[64:], "the exported DDS file")
    temp = os.path.join(program, "Temp")
    expect_file(os.path.join(temp, "Picture.dds"), export_dds, "the preview's copy")
    window.wait_for_preview(EXPORT_COLOUR)
    step("exported, and the preview shows it under the banner")

    step("menu bar: Menu > Import and Bulit New Bin")
    window.click_menu_bar(25)
    window.choose_menu_entry(1)
    window.answer_file_dialog("Open Sodrel DDS", texture)
    expect_file(os.path.join(temp, "ImportFile"), import_dds, "the staged import")
    expect_file(os.path.join(temp, "PictureImportFile"), import_dds, "the staged preview copy")
    expect_file(texture + ".bin", template + import_dds, "the built container")
    window.wait_for_preview(IMPORT_COLOUR)
    step("built, and the preview shows it under the banner")

    step("left click on the preview: the path message")
    window.click_client(100, 100)
    box = wait_for('a window titled "Sodrel Tools"', window.message_boxes)[0]
    if session.window_name(box) != "Sodrel Tools":
        raise Failure(f"the message is titled {session.window_name(box)!r}")
    wait_for("the message to take the keyboard", lambda: session.active_window() == box)
    session.key("Return")
    wait_for("the message to close", lambda: not window.message_boxes())

    if args.screenshot:
        step("opening the sample for the screenshot")
        sample = os.path.join(data, "sample.bin")
        shutil.copyfile(args.sample, sample)
        window.click_client(100, 100, button=3)
        window.choose_menu_entry(0)
        window.answer_file_dialog("Open Sodrel Bin", sample)
        expect_file(sample + ".dds", read(sample)[64:], "the sample's DDS file")
        wait_for("the sample's picture", lambda: window.preview_check(IMPORT_COLOUR) is not None)
        session.run(["xdotool", "mousemove", "0", "0"])
        window.wait_until_still()
        session.save_picture(args.screenshot, window.id)
        step(f"saved {args.screenshot}")

    missing = [n for n in WORK_FILES if not os.path.exists(os.path.join(temp, n))]
    if missing:
        raise Failure(f"working files missing before closing: {', '.join(missing)}")
    step("closing the window")
    session.close_window(window.id)
    wait_for("the program to exit", lambda: window.process.poll() is not None)
    if window.process.returncode != 0:
        raise Failure(f"the program exited with status {window.process.returncode}")
    left = [n for n in WORK_FILES if os.path.exists(os.path.join(temp, n))]
    if left:
        raise Failure(f"working files left after closing: {', '.join(left)}")
    step("closed; the working files are gone")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("bin_dir", help="the built program folder")
    parser.add_argument("--screenshot", help="save a PNG of the window showing the sample")
    parser.add_argument("--sample", default=SAMPLE, help="container shown for --screenshot")
    parser.add_argument("--display", help="use this X display instead of starting Xvfb")
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder")
    args = parser.parse_args()
    if args.screenshot:
        args.screenshot = os.path.abspath(args.screenshot)
    args.sample = os.path.abspath(args.sample)

    missing = [t for t in TOOLS if not shutil.which(t) and not (t == "Xvfb" and args.display)]
    if missing:
        print(f"skipped: missing {', '.join(missing)} (scripts/install-deps test installs them)")
        return 77

    # A test timeout sends SIGTERM: stop the processes we started on the way out.
    def stop(signum, _frame):
        print(f"stopped by signal {signum}", flush=True)
        sys.exit(128 + signum)

    signal.signal(signal.SIGTERM, stop)
    scratch = tempfile.mkdtemp(prefix="sodrel-e2e-")
    passed = False
    session = None
    try:
        session = DesktopSession(scratch, args.display)
        run(args, session, scratch)
        passed = True
    except Failure as failure:
        print(f"FAILED: {failure}", flush=True)
        if session:
            try:
                session.save_picture(os.path.join(scratch, "failure.png"))
            except Exception:  # noqa: BLE001 - the failure above is what matters
                pass
    finally:
        if session:
            session.close()
        log = os.path.join(scratch, "program.log")
        if not passed and os.path.exists(log):
            print("program output:\n" + read(log).decode(errors="replace")[-4000:])
        if passed and not args.keep:
            shutil.rmtree(scratch, ignore_errors=True)
        else:
            print(f"files kept in {scratch}")
    print(f"{'passed' if passed else 'failed'} in {time.monotonic() - STARTED:.1f} s")
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
