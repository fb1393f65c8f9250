#!/usr/bin/env python3
# window_test.py BIN_DIR: drives the real sodrel-tools window in an X server of its own (Xvfb and
# openbox) with the mouse and keyboard, as a person would, and checks what it writes and what the
# screen shows. The program runs from a copy of the program folder BIN_DIR. package_test.py
# drives the packaged window with the same drive(); it and install_test.py share check(), run()
# and run_test().
# Exit status: 0 passed, 1 failed, 77 a tool is missing (CTest reports a skip).
import os, re, select, shutil, signal, subprocess, sys, tempfile, time
from pathlib import Path

WORK_FILES = ["Picture.dds", "PictureLoad.bmp", "ImportFile", "PictureImportFile"]
# Client points that show the texture around the banner (727x170 at 264,392) and in a
# transparent corner of it; and the middle of its opaque tile, which never shows the texture.
TEXTURE_POINTS = [(12, 12), (1333, 12), (660, 300), (12, 565), (1333, 565), (200, 500), (268, 396)]
BANNER_TILE = (351, 477)
TOOLS = ("Xvfb", "openbox", "xdotool", "xwininfo", "wmctrl", "import", "convert")
env = dict(os.environ)


class Failure(Exception):
    pass


def check(condition, message):  # a test stops at its first failed check
    if not condition:
        raise Failure(message)


def run(*argv, ok=True, **options):  # the finished process; with `ok`, a Failure if it failed
    result = subprocess.run(list(map(str, argv)), capture_output=True,
                            **{"env": env, "timeout": 120, "text": True, **options})
    check(not ok or result.returncode == 0, f"{argv} failed: {result.stderr}")
    return result


def wait_for(what, probe, timeout=60.0):  # the machines that run this are small and busy
    deadline = time.monotonic() + timeout
    while not (value := probe()):
        check(time.monotonic() < deadline, f"gave up waiting for {what}")
        time.sleep(0.1)
    return value


def search(by, pattern):  # the visible windows whose name or class matches
    return [int(w) for w in run("xdotool", "search", "--onlyvisible", by, pattern, ok=False).stdout
            .split()]


def screen():  # the colour at a screen point, from a picture of the whole screen
    ppm = run("import", "-silent", "-window", "root", "-depth", "8", "ppm:-", text=False).stdout
    match = re.match(rb"P6\s+(\d+)\s+\d+\s+255\s", ppm)
    return lambda x, y: tuple(ppm[match.end() + (y * int(match[1]) + x) * 3:][:3])


def flat_dds(path, rgb):  # a 64x64 texture of one colour, written by ImageMagick
    run("convert", "-size", "64x64", f"xc:rgb{rgb}", "-define", "dds:compression=none", "-define",
        "dds:mipmaps=0", path)
    return path.read_bytes()


def drive(scratch, processes, argv, temp, header, **app_env):
    # Starts `argv` (the window, with the environment `app_env`) and uses both commands on files
    # in a folder anyone may write; `temp`: the working folder it must use, `header`: the template
    # every container it builds starts with.
    data = scratch / "files"
    data.mkdir()
    data.chmod(0o777)
    red = flat_dds(scratch / "red.dds", (200, 40, 10))
    blue = flat_dds(data / "blue.dds", (30, 150, 220))
    container, texture = data / "red texture.bin", data / "blue.dds"
    container.write_bytes(b"E2E CONTAINER HEADER".ljust(64, b"\x07") + red)
    present = lambda: [n for n in WORK_FILES if (temp / n).exists()]  # noqa: E731
    read = lambda path: Path(path).read_bytes() if Path(path).exists() else None  # noqa: E731
    named = lambda pattern: search("--name", pattern)  # noqa: E731
    # A menu or suggestion list on screen beside the window.
    popup_open = lambda: len(search("--class", "sodrel-tools")) > 1  # noqa: E731

    def start(name, argv, pass_fds=(), **extra):
        log = open(scratch / f"{name}.log", "wb")
        processes.append(subprocess.Popen(argv, stdout=log, stderr=log, pass_fds=pass_fds,
                                          env=dict(env, **extra), stdin=subprocess.DEVNULL))
        return processes[-1]

    read_end, write_end = os.pipe()
    start("Xvfb", ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1600x900x24", "-nolisten",
                   "tcp"], pass_fds=(write_end,))
    os.close(write_end)
    with os.fdopen(read_end, "rb") as pipe:  # the display number, once Xvfb is ready
        number = pipe.readline().strip() if select.select([pipe], [], [], 60)[0] else b""
    check(number, "Xvfb gave no display number")
    env["DISPLAY"] = ":" + number.decode()
    for attempt in range(3):  # rarely, openbox right after Xvfb cannot open the display: again
        manager = start("openbox", ["openbox", "--sm-disable"])
        wait_for("the window manager",
                 lambda: run("wmctrl", "-m", ok=False).stdout or manager.poll() is not None)
        if manager.poll() is None:
            break
        time.sleep(0.5)
    check(manager.poll() is None, "openbox could not open the display three times")
    app = start("program", argv, QT_QPA_PLATFORM="xcb", QT_SCALE_FACTOR="1", **app_env)
    window = wait_for("the window", lambda: named("^Sodrel Tools version 1.0.0 by the Sodrel "
                                                  "Tools team$") or app.poll() is not None)
    check(app.poll() is None, f"the program exited with status {app.returncode}")

    def client(cx, cy):  # the screen point of a client point, asked afresh: the manager may move us
        info = run("xwininfo", "-id", window[0]).stdout
        x, y, height = (int(re.search(rf"{f}:\s*(-?\d+)", info)[1])
                        for f in ("Absolute upper-left X", "Absolute upper-left Y", "Height"))
        return x + cx, y + height - 575 + cy  # the client area is 575 high, below the menu bar

    def click(cx, cy, button=1):  # a negative cy is in the menu bar
        run("xdotool", "mousemove", *client(cx, cy), "click", button)

    def shows(colour):
        at, (left, top) = screen(), client(0, 0)
        near = lambda p, d: all(abs(a - b) <= d for a, b in zip(p, colour))  # noqa: E731
        return (all(near(at(left + x, top + y), 4) for x, y in TEXTURE_POINTS)
                and not near(at(left + BANNER_TILE[0], top + BANNER_TILE[1]), 40))

    def choose(downs, title, path):  # the item `downs` down the open menu, then type the name
        wait_for("the menu", popup_open)
        run("xdotool", "key", "--delay", 50, *["Down"] * downs, "Return")
        dialog = wait_for(f"the {title} dialog", lambda: named(f"^{title}$"))[0]
        active = lambda: run("xdotool", "getactivewindow", ok=False).stdout.strip()  # noqa: E731
        wait_for("the dialog to take the keyboard", lambda: active() == str(dialog))
        run("xdotool", "key", "ctrl+a", "type", "--delay", 20, "--", path)
        run("xdotool", "key", "Return")
        wait_for("the dialog to close", lambda: not named(f"^{title}$"))
        wait_for("its suggestion list to close", lambda: not popup_open())

    wait_for("the white client area", lambda: screen()(*client(660, 300)) == (255, 255, 255))
    click(100, 100, button=3)  # the preview's popup menu
    choose(1, "Open Sodrel Bin", container)
    wait_for("the exported texture under the banner", lambda: shows((200, 40, 10)))
    check(read(f"{container}.dds") == red and present() == WORK_FILES[:2],
          f"the exported DDS file is not the container's texture, or not in {temp}")
    click(25, -10)  # the menu bar's Menu
    choose(2, "Open Sodrel DDS", texture)
    wait_for("the imported texture under the banner", lambda: shows((30, 150, 220)))
    check(read(f"{texture}.bin") == header + blue,
          "the built container is not the template and the DDS file")
    run("wmctrl", "-i", "-c", hex(window[0]))
    wait_for("the program to exit", lambda: app.poll() is not None)
    check(app.returncode == 0 and not present(),
          f"exit status {app.returncode}, working files left: {present()}")


def test(scratch, processes):
    program = scratch / "program"  # a copy of the program folder, its Temp/ empty
    shutil.copytree(sys.argv[1], program, ignore=lambda at, files: files * at.endswith("Temp"))
    drive(scratch, processes, [program / "sodrel-tools"], program / "Temp",
          (program / "KX00.dll").read_bytes(), XDG_CONFIG_HOME=str(scratch))


def run_test(test, tools=TOOLS, prefix="sodrel-e2e-"):
    # Runs test(scratch, processes) and stops the processes it started; 77 when a tool is missing.
    if missing := [t for t in tools if not shutil.which(t)]:
        print(f"skipped: missing {', '.join(missing)} (scripts/install-deps test installs them)")
        return 77
    scratch, processes = Path(tempfile.mkdtemp(prefix=prefix)), []
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))  # a test timeout: stop what we started
    try:
        test(scratch, processes)
    except Failure as failure:
        print(f"FAILED: {failure}; files kept in {scratch}")
        run("import", "-window", "root", scratch / "failure.png", ok=False)
        return 1
    finally:
        for process in reversed(processes):
            process.terminate()
            process.wait(10)
    shutil.rmtree(scratch, ignore_errors=True)
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(run_test(test))
