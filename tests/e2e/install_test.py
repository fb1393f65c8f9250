#!/usr/bin/env python3
# install_test.py BUILD_DIR CMAKE: installs the build into a temporary prefix and checks that it
# holds a working program folder with its links, desktop entry, icon and manual page, all listed in
# install_manifest.txt, that installing again keeps the template, and that the installed
# sodrel-convert builds samples/sample.bin again with the installed template, runs the README's
# walk-through to its end, stops cleanly on a signal and alone shows its progress bar on a
# terminal.
# (Not cpack: it would build the project first, which must not happen while tests run.)
# install_test.py BUILD_DIR CMAKE thumbnailer: installs the build and uses its MIME package
# (through GLib, as file managers do), then has Xfce's thumbnail service, tumbler, draw the cached
# thumbnails of a container and a DDS file through the installed thumbnailer entry.
import hashlib, os, re, shlex, shutil, signal, struct, subprocess, sys, time
from pathlib import Path

from window_test import check, run, run_test

SOURCE = Path(__file__).resolve().parents[2]
SAMPLE = (SOURCE / "samples/sample.bin").read_bytes()
FOLDER, DESKTOP = "lib/sodrel-tools", "share/applications/sodrel-tools.desktop"
ICON = "share/icons/hicolor/256x256/apps/sodrel-tools.png"
# Every file installed (Temp/: empty), which package_test.py checks; this test checks the program
# they make up, its entries and the manifest.
EXPECTED = {f"{FOLDER}/KX00.dll", f"{FOLDER}/Temp/", DESKTOP, ICON,
            "share/man/man1/sodrel-convert.1.gz", "share/mime/packages/sodrel-tools.xml",
            "share/thumbnailers/sodrel-tools.thumbnailer",
            *(f"{at}/sodrel-{name}" for at in (FOLDER, "bin") for name in ("tools", "convert"))}
TUMBLER = "org.freedesktop.thumbnails.Thumbnailer1"


def exec_program(value):
    # The program an Exec value starts, as a desktop reads it: string escapes undone, then the
    # first argument unquoted (inside quotes a backslash escapes " ` $ \), then %% as %.
    value = re.sub(r"\\(.)", lambda m: {"s": " ", "n": "\n", "t": "\t", "r": "\r"}.get(m[1], m[1]),
                   value)
    match = re.match(r'"((?:[^"\\`$]|\\["`$\\])*)"|([^" ]*)', value)
    return (match[2] if match[1] is None else re.sub(r"\\(.)", r"\1", match[1])).replace("%%", "%")


def check_installed(prefix):
    entry = dict(line.split("=", 1) for line in (prefix / DESKTOP).read_text().splitlines()
                 if "=" in line and not line.startswith(("[", "#")))
    check(entry.get("Name") == "Sodrel Tools" and entry.get("Icon") == "sodrel-tools" and
          exec_program(entry.get("Exec", "")) == f"{prefix}/{FOLDER}/sodrel-tools",
          f"desktop entry wrong: {entry}")
    check((prefix / ICON).read_bytes() == (SOURCE / "resources/sodrel-tools.png").read_bytes(),
          "the icon is not resources/sodrel-tools.png")


def check_samples(scratch, convert):  # the installed template is sample.bin's header
    shutil.copy(SOURCE / "samples/sample.dds", scratch)
    run(convert, "build", scratch / "sample.dds")
    check((scratch / "sample.dds.bin").read_bytes() == SAMPLE, "sample.dds.bin is not sample.bin")


def check_walkthrough(scratch, prefix):  # pasted into a shell, as the README says
    script = re.search(r"\n## Modding walk-through\n.*?```sh\n(.*?)```",
                       (SOURCE / "README.md").read_text(), re.S)[1]
    source, home = scratch / "source", scratch / "home"
    (source / "build").mkdir(parents=True), home.mkdir()
    shutil.copytree(SOURCE / "samples", source / "samples")
    (source / "build/bin").symlink_to(prefix / FOLDER)
    run("bash", "-e", "-c", script, cwd=source, env=dict(os.environ, HOME=str(home)))
    walk = home / "sodrel-walk"
    names = lambda root: sorted(p.relative_to(root) for p in root.rglob("*") if p.is_file())  # noqa
    check(sorted(os.listdir(walk)) == ["game", "mod", "pictures", "work"] and
          names(walk / "mod") == names(walk / "game") != [], "mod/ does not mirror game/")
    for name in names(walk / "game"):
        built, edited = (walk / "mod" / name).read_bytes(), name.name == "rock.bin"
        check((walk / "game" / name).read_bytes() == SAMPLE, f"game/{name} was written")
        check((built == SAMPLE) != edited and built[:192] == SAMPLE[:192] and
              len(built) == len(SAMPLE), f"mod/{name} is not {'edited' if edited else 'whole'}")


def check_interrupts(scratch, convert):
    # Large textures: each PNG takes a while, so that a signal sent once the first output is in
    # place finds two jobs running; their outputs must be left as they were and no temporary
    # file anywhere. SIGINT finds new outputs (written unnamed where the filesystem allows);
    # SIGTERM and SIGHUP replace outputs (-f: named temporaries, renamed over the old ones).
    folder = scratch / "large"
    folder.mkdir()
    header = struct.pack("<4s6I48x2I4s40x", b"DDS ", 124, 0x1007, 2048, 2048, 0, 0, 32, 4, b"DXT1")
    for i in range(10):
        (folder / f"t{i}.dds").write_bytes(header + os.urandom(2048 * 2048 // 2))
    for number, force in ((signal.SIGINT, False), (signal.SIGTERM, True), (signal.SIGHUP, True)):
        for dds in folder.glob("*.dds"):
            png = dds.with_name(dds.name + ".png")
            png.write_bytes(b"old") if force else png.unlink(missing_ok=True)
        job = subprocess.Popen([convert, "png", "-j", "2", *(["-f"] if force else []), folder],
                               stderr=subprocess.PIPE, text=True)
        while not any(p.stat().st_size > 3 for p in folder.glob("*.png")) and job.poll() is None:
            time.sleep(0.01)
        job.send_signal(number)
        summary = job.communicate()[1]
        done = re.search(r"(\d+) converted", summary)
        pngs = [p.read_bytes() for p in folder.glob("*.png")]
        whole = sum(png.startswith(b"\x89PNG") and png.endswith(b"IEND\xaeB`\x82") for png in pngs)
        check(job.returncode == 128 + number and f"interrupted by {number.name}" in summary and
              done and int(done[1]) == whole < 10 and
              all(png == b"old" for png in pngs if not png.startswith(b"\x89PNG")) and
              len(pngs) == (10 if force else whole), f"{number.name}: {job.returncode} {summary}")
        check(not [p for p in scratch.rglob("*") if ".part-" in p.name], "a temporary file is left")


def check_runs(scratch, convert):  # what only the executable does: exit status, progress bar
    usage = run(convert, "export", ok=False)
    check(usage.returncode == 2 and "export: no file given" in usage.stderr, f"{usage}")
    version = re.search(r"project\(\w+ VERSION (\d+\.\d+\.\d+)",
                        (SOURCE / "CMakeLists.txt").read_text())[1]
    check((shown := run(convert, "--version").stdout) == f"sodrel-convert {version}\n", shown)
    # FreeImage and its two dozen libraries load on the first decode, not at every start.
    check("libfreeimage" not in run("readelf", "-d", convert).stdout, "FreeImage loaded at start")
    (scratch / "many").mkdir()
    for files in range(1, 22):  # a bar on a terminal for more than 20 files, and only there
        (scratch / "many" / f"{files}.bin").write_bytes(bytes(100))
        if files >= 20:
            bar = run("script", "-qec", f"'{convert}' export '{scratch}/many'", "/dev/null").stdout
            plain = run(convert, "export", scratch / "many", ok=False).stderr
            check((f"] {files}/{files}" in bar) == (files > 20) and "]" not in plain, bar + plain)


def check_thumbnailer(scratch, prefix):
    container, share = "application/x-sodrel-texture", prefix / "share"
    env = dict(os.environ, XDG_DATA_HOME=str(share), XDG_DATA_DIRS=f"{share}:/usr/share",
               GIO_USE_VFS="local", XDG_CACHE_HOME=str(scratch / "cache"))
    run("update-mime-database", share / "mime", env=env)
    (scratch / "random.bin").write_bytes(os.urandom(8384))
    for name in ("sample.bin", "sample.dds"):
        shutil.copy(SOURCE / "samples" / name, scratch)
    for name, wanted in {"sample.bin": True, "sample.dds": False, "random.bin": False}.items():
        info = run("gio", "info", "-a", "standard::content-type", scratch / name, env=env).stdout
        check((f"content-type: {container}\n" in info) == wanted, f"{name}: {info}")
    # tumblerd on a session bus of its own; its signals go to the caller alone, whom gdbus call
    # does not outlive, so dbus-monitor (a bus monitor) sees them.
    uris = [(scratch / name).as_uri() for name in ("sample.bin", "sample.dds")]
    queue = ["gdbus", "call", "--session", "--dest", TUMBLER, "--object-path",
             "/" + TUMBLER.replace(".", "/"), "--method", TUMBLER + ".Queue", str(uris),
             f"['{container}', 'image/x-dds']", "normal", "default", "0"]
    script = f"""/usr/lib/x86_64-linux-gnu/tumbler-1/tumblerd & tumbler=$!
    gdbus wait --session {TUMBLER}
    dbus-monitor --session "type='signal',interface='{TUMBLER}'" > "$0" & monitor=$!
    until grep -q member=NameLost "$0"; do sleep 0.1; done  # the monitor is listening
    {shlex.join(queue)} >/dev/null && until grep -q member=Finished "$0"; do sleep 0.1; done
    kill $tumbler $monitor"""
    log = scratch / "signals"
    run("timeout", "60", "dbus-run-session", "--", "sh", "-c", script, log, env=env, ok=False)
    errors = re.findall(r"int32 \d+\n +string (.*)", log.read_text() if log.exists() else "")
    for uri in uris:  # the width and height in each PNG's header
        png = scratch / "cache/thumbnails/normal" / (hashlib.md5(uri.encode()).hexdigest() + ".png")
        check(png.exists() and png.read_bytes()[16:24] == bytes([0, 0, 0, 128, 0, 0, 0, 128]),
              f"tumbler cached no picture of {uri}: {errors}")


def test(scratch, _):
    build, cmake = sys.argv[1:3]
    install = lambda prefix: run(cmake, "--install", build, "--prefix", prefix,  # noqa: E731
                                 env=dict(os.environ, DESTDIR=""))
    # A prefix with a space, a dollar and a percent sign: Exec must quote and escape them (the
    # thumbnailer's has a space alone).
    thumbnailer = sys.argv[3:] == ["thumbnailer"]
    prefix = scratch / ("my prefix" if thumbnailer else "my programs/$HOME 100%")
    install(prefix)
    if thumbnailer:
        return check_thumbnailer(scratch, prefix)
    convert = prefix / "bin/sodrel-convert"
    check_installed(prefix)
    (prefix / FOLDER / "Temp").rmdir()  # sodrel-convert writes nothing into the program folder
    check_samples(scratch, convert)
    check_runs(scratch, convert)
    check_walkthrough(scratch, prefix)
    check_interrupts(scratch, convert)
    check(not (prefix / FOLDER / "Temp").exists(), "sodrel-convert made Temp/")
    own = b"OUR GAME'S OWN HEADER".ljust(64, b"\x01")  # installing again keeps it
    (prefix / FOLDER / "KX00.dll").write_bytes(own)
    install(prefix)
    check((prefix / FOLDER / "KX00.dll").read_bytes() == own, "installing replaced KX00.dll")
    # An uninstall from the manifest removes every file.
    listed = set((Path(build) / "install_manifest.txt").read_text().splitlines())
    installed = {str(p) for p in prefix.rglob("*") if p.is_symlink() or not p.is_dir()}
    check(listed == installed, f"manifest lacks {installed - listed}, lists {listed - installed}")


if __name__ == "__main__":
    sys.exit(run_test(test, (), "sodrel-install-"))
