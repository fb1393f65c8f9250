"""An X session for driving the real program: its own Xvfb server, openbox, and the xdotool,
xwininfo, wmctrl and ImageMagick `import` calls a test needs. Standard library only."""

import ctypes
import os
import re
import select
import signal
import subprocess
import time

DEFAULT_WAIT = 20.0  # seconds; the machines that run this are small and busy
POLL = 0.1


class Failure(Exception):
    """A check of the end-to-end test failed."""


def wait_for(what, probe, timeout=DEFAULT_WAIT):
    """Polls `probe` until it returns something truthy and returns that; fails after `timeout`."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure(f"gave up after {timeout:.0f} s waiting for {what}")
        time.sleep(POLL)


def _die_with_parent():
    # A child that outlives this script (killed by a test timeout) would hold the display.
    libc = ctypes.CDLL(None, use_errno=True)
    PR_SET_PDEATHSIG = 1
    libc.prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


class Window:
    def __init__(self, wid, x, y, width, height, mapped, override_redirect):
        self.id, self.x, self.y = wid, x, y
        self.width, self.height = width, height
        self.mapped, self.override_redirect = mapped, override_redirect

    def __repr__(self):
        return f"window {self.id:#x} {self.width}x{self.height}+{self.x}+{self.y}"


class Screenshot:
    """A picture of the whole screen, read from ImageMagick's PPM output."""

    def __init__(self, ppm):
        match = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", ppm)
        if not match or match.group(3) != b"255":
            raise Failure("import gave no 8-bit PPM picture")
        self.width, self.height = int(match.group(1)), int(match.group(2))
        self.pixels = ppm[match.end():]

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])


class DesktopSession:
    """Owns every process it starts; close() stops them, youngest first."""

    def __init__(self, log_dir, display=None):
        self.log_dir = log_dir
        self.processes = []
        self.env = dict(os.environ)
        if display:
            self.display = display
        else:
            self.display = self._start_xvfb()
        self.env["DISPLAY"] = self.display
        if not display:
            self._start("openbox", ["openbox", "--sm-disable"])
            wait_for("the window manager", lambda: self.run(["wmctrl", "-m"], check=False)[0] == 0)

    # ----- processes

    def _start(self, name, argv, env=None, cwd=None):
        log = open(os.path.join(self.log_dir, name + ".log"), "wb")
        process = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=log,
                                   stderr=subprocess.STDOUT, env=env or self.env, cwd=cwd,
                                   preexec_fn=_die_with_parent)
        log.close()
        self.processes.append(process)
        return process

    def _start_xvfb(self):
        read_end, write_end = os.pipe()
        log = open(os.path.join(self.log_dir, "Xvfb.log"), "wb")
        process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1600x900x24",
             "-nolisten", "tcp", "-noreset"],
            stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
            pass_fds=(write_end,), preexec_fn=_die_with_parent)
        log.close()
        os.close(write_end)
        self.processes.append(process)
        number = b""
        deadline = time.monotonic() + DEFAULT_WAIT
        while not number.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0 or process.poll() is not None:
                os.close(read_end)
                raise Failure("Xvfb did not start; see Xvfb.log")
            ready, _, _ = select.select([read_end], [], [], left)
            if ready:
                chunk = os.read(read_end, 16)
                if not chunk:
                    break
                number += chunk
        os.close(read_end)
        if not number.strip().isdigit():
            raise Failure("Xvfb did not report its display number")
        return ":" + number.strip().decode()

    def start_program(self, argv, cwd, env_overrides):
        env = dict(self.env)
        env.update(env_overrides)
        return self._start("program", argv, env=env, cwd=cwd)

    def close(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        self.processes.clear()

    def run(self, argv, check=True, timeout=DEFAULT_WAIT):
        result = subprocess.run(argv, env=self.env, stdin=subprocess.DEVNULL,
                                capture_output=True, timeout=timeout)
        if check and result.returncode != 0:
            raise Failure(f"{' '.join(argv)} failed: {result.stderr.decode(errors='replace')}")
        return result.returncode, result.stdout.decode(errors="replace")

    # ----- windows

    def visible_windows_named(self, pattern):
        """Ids of the mapped windows whose whole name matches the regular expression."""
        code, out = self.run(["xdotool", "search", "--onlyvisible", "--name", pattern],
                             check=False)
        return [int(line) for line in out.split()] if code == 0 else []

    def window_name(self, wid):
        return self.run(["xdotool", "getwindowname", str(wid)])[1].rstrip("\n")

    def window(self, wid):
        """Where a window's inside is on the screen (without the frame the manager adds)."""
        code, out = self.run(["xwininfo", "-id", str(wid)], check=False)
        if code != 0:
            return None

        def field(label):
            match = re.search(rf"^\s*{label}:\s*(\S+)", out, re.M)
            return match.group(1) if match else ""

        return Window(wid, int(field("Absolute upper-left X")),
                      int(field("Absolute upper-left Y")), int(field("Width")),
                      int(field("Height")), field("Map State") == "IsViewable",
                      field("Override Redirect State") == "yes")

    def frame_of(self, wid):
        """The window manager's frame around a window (the screen's direct child holding it)."""
        frame = wid
        while True:
            code, out = self.run(["xwininfo", "-children", "-id", str(frame)], check=False)
            match = re.search(r"Parent window id: (0x[0-9a-f]+)( \(the root window\))?", out)
            if code != 0 or not match or match.group(2):
                return self.window(frame)
            frame = int(match.group(1), 16)

    def popups(self, wm_class):
        """The mapped override-redirect windows (menus, completion lists) of a program."""
        _, out = self.run(["xwininfo", "-root", "-children"])
        found = []
        for match in re.finditer(r"^\s+(0x[0-9a-f]+) .*\(\"%s\" " % re.escape(wm_class), out,
                                 re.M):
            window = self.window(int(match.group(1), 16))
            if window and window.mapped and window.override_redirect and window.width > 4:
                found.append(window)
        return found

    def active_window(self):
        code, out = self.run(["xdotool", "getactivewindow"], check=False)
        return int(out) if code == 0 and out.strip().isdigit() else None

    def close_window(self, wid):
        """Asks politely, as the close button of the frame does."""
        self.run(["wmctrl", "-i", "-c", hex(wid)])

    # ----- input

    def click(self, x, y, button=1):
        self.run(["xdotool", "mousemove", str(x), str(y), "click", str(button)])

    def type_text(self, text):
        self.run(["xdotool", "type", "--delay", "20", "--", text], timeout=60)

    def key(self, name):
        self.run(["xdotool", "key", name])

    # ----- pictures

    def screenshot(self):
        result = subprocess.run(["import", "-silent", "-window", "root", "-depth", "8", "ppm:-"], env=self.env,
                                stdin=subprocess.DEVNULL, capture_output=True,
                                timeout=DEFAULT_WAIT)
        if result.returncode != 0:
            raise Failure("import could not take a screenshot: " + result.stderr.decode())
        return Screenshot(result.stdout)

    def save_picture(self, path, window=None):
        """A PNG of the screen, or of `window` with its frame."""
        if window is None:
            argv = ["import", "-silent", "-window", "root", path]
        else:
            frame = self.frame_of(window)
            argv = ["import", "-silent", "-window", "root", "-crop",
                    f"{frame.width}x{frame.height}+{frame.x}+{frame.y}", "+repage",
                    "-strip", path]
        subprocess.run(argv, env=self.env, stdin=subprocess.DEVNULL, capture_output=True,
                       timeout=DEFAULT_WAIT, check=True)
