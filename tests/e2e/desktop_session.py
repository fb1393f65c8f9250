"""An X session for driving the real program: its own Xvfb server and openbox, and the xdotool,
xwininfo, xprop, wmctrl and ImageMagick `import` calls a test needs. Standard library only."""

import collections
import ctypes
import os
import re
import select
import signal
import subprocess
import time

WAIT = 20.0  # seconds; the machines that run this are small and busy

Window = collections.namedtuple("Window", "id x y width height mapped override_redirect")


class Failure(Exception):
    """A check of the end-to-end test failed."""


def wait_for(what, probe, timeout=WAIT):
    """Polls `probe` until it returns something truthy and returns that; fails after `timeout`."""
    deadline = time.monotonic() + timeout
    while not (value := probe()):
        if time.monotonic() > deadline:
            raise Failure(f"gave up after {timeout:.0f} s waiting for {what}")
        time.sleep(0.1)
    return value


def _die_with_parent():
    # A child that outlives this script (killed by a test timeout) would hold the display.
    ctypes.CDLL(None).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


class Screenshot:
    """A picture of the whole screen, read from ImageMagick's 8-bit PPM output."""

    def __init__(self, ppm):
        match = re.match(rb"P6\s+(\d+)\s+\d+\s+255\s", ppm)
        if not match:
            raise Failure("import gave no 8-bit PPM picture")
        self.width, self.pixels = int(match[1]), ppm[match.end():]

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])


class DesktopSession:
    """Owns every process it starts; close() stops them, youngest first."""

    def __init__(self, log_dir):
        self.log_dir, self.processes, self.env, self.display = log_dir, [], dict(os.environ), None

    def start_desktop(self):
        read_end, write_end = os.pipe()
        self.start("Xvfb", ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1600x900x24",
                            "-nolisten", "tcp", "-noreset"], pass_fds=(write_end,))
        os.close(write_end)
        # Xvfb writes its display number once it is ready, and the pipe closes if it fails.
        with os.fdopen(read_end, "rb") as pipe:
            number = pipe.readline().strip() if select.select([pipe], [], [], WAIT)[0] else b""
        if not number.isdigit():
            raise Failure("Xvfb did not start; see Xvfb.log")
        self.env["DISPLAY"] = self.display = ":" + number.decode()
        self.start("openbox", ["openbox", "--sm-disable"])
        wait_for("the window manager", lambda: self.run(["wmctrl", "-m"], check=False)[0] == 0)

    def start(self, name, argv, env=None, cwd=None, pass_fds=()):
        with open(os.path.join(self.log_dir, name + ".log"), "wb") as log:
            process = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=log,
                                       stderr=subprocess.STDOUT, env=env or self.env, cwd=cwd,
                                       pass_fds=pass_fds, preexec_fn=_die_with_parent)
        self.processes.append(process)
        return process

    def close(self):
        for process in reversed(self.processes):
            process.terminate()  # does nothing to one that has exited
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        self.processes.clear()

    def run(self, argv, check=True):
        result = subprocess.run(argv, env=self.env, stdin=subprocess.DEVNULL, capture_output=True,
                                timeout=WAIT)
        if check and result.returncode != 0:
            raise Failure(f"{' '.join(argv)} failed: {result.stderr.decode(errors='replace')}")
        return result.returncode, result.stdout.decode(errors="replace")

    def xdotool(self, *args):
        return self.run(["xdotool", *map(str, args)])[1]

    def windows_named(self, pattern):
        """Ids of the mapped windows whose name matches the regular expression."""
        code, out = self.run(["xdotool", "search", "--onlyvisible", "--name", pattern], check=False)
        return [int(wid) for wid in out.split()] if code == 0 else []

    def active_window(self):
        code, out = self.run(["xdotool", "getactivewindow"], check=False)
        return int(out) if code == 0 else None

    def window(self, wid):
        """Where a window's inside is on the screen (without the frame the manager adds)."""
        code, out = self.run(["xwininfo", "-id", str(wid)], check=False)
        if code != 0:
            return None  # gone already

        def field(label):
            return re.search(rf"^\s*{label}:\s*(\S+)", out, re.M)[1]

        return Window(wid, int(field("Absolute upper-left X")), int(field("Absolute upper-left Y")),
                      int(field("Width")), int(field("Height")), field("Map State") == "IsViewable",
                      field("Override Redirect State") == "yes")

    def popups(self, wm_class):
        """The mapped override-redirect windows (menus, suggestion lists) of a program."""
        out = self.run(["xwininfo", "-root", "-children"])[1]
        ids = re.findall(rf'^\s+(0x[0-9a-f]+) .*\("{re.escape(wm_class)}" ', out, re.M)
        windows = [self.window(int(wid, 16)) for wid in ids]
        return [w for w in windows if w and w.mapped and w.override_redirect and w.width > 4]

    def screenshot(self):
        return Screenshot(subprocess.run(["import", "-silent", "-window", "root", "-depth", "8",
                                          "ppm:-"], env=self.env, stdin=subprocess.DEVNULL,
                                         capture_output=True, timeout=WAIT, check=True).stdout)

    def save_picture(self, path, wid):
        """A PNG of window `wid` with the frame the manager draws around it."""
        w = self.window(wid)
        extents = self.run(["xprop", "-id", str(wid), "_NET_FRAME_EXTENTS"])[1]
        left, right, top, bottom = map(int, re.findall(r"\d+", extents.partition("=")[2]))
        self.run(["import", "-silent", "-window", "root", "-crop",
                  f"{w.width + left + right}x{w.height + top + bottom}+{w.x - left}+{w.y - top}",
                  "+repage", "-strip", path])
