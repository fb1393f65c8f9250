#!/usr/bin/env python3
# install_test.py BUILD_DIR CMAKE: installs the build into temporary prefixes and checks that each
# holds a working program folder with its links, desktop entry, icon and manual page, all listed in
# install_manifest.txt, and that the installed sodrel-convert turns the committed samples, which
# samples/make-samples.py makes, into each other, runs the README's walk-through to its end, stops
# cleanly on a signal and alone shows its progress bar on a terminal.
# (Not cpack: it would build the project first, which must not happen while tests run.)
# install_test.py BUILD_DIR CMAKE thumbnailer: installs the build and uses its MIME package
# (through GLib, as file managers do) and its thumbnailer entry's Exec line as a file manager would,
# then has Xfce's thumbnail service, tumbler, draw the cached thumbnails of a container and a DDS
# file through the installed entry.
import hashlib, os, re, shlex, shutil, signal, struct, subprocess, sys, tempfile, time
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[2]
FOLDER, DESKTOP = "lib/sodrel-tools", "share/applications/sodrel-tools.desktop"
ICON = "share/icons/hicolor/256x256/apps/sodrel-tools.png"
THUMBNAILS = ("share/mime/packages/sodrel-tools.xml", "share/thumbnailers/sodrel-tools.thumbnailer")
MAN = "share/man/man1/sodrel-convert.1.gz"
PROGRAMS = ("sodrel-tools", "sodrel-convert")
EXPECTED = {f"{FOLDER}/KX00.dll", f"{FOLDER}/Temp/", DESKTOP, ICON, MAN,  # Temp/: empty
            *THUMBNAILS, *(f"{FOLDER}/{name}" for name in PROGRAMS),
            *(f"bin/{name}" for name in PROGRAMS)}
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAILED: " + message, flush=True)


def exec_program(value):
    # The program an Exec value starts, as a desktop reads it: string escapes undone, then the
    # first argument unquoted (inside quotes a backslash escapes " ` $ \), then %% as %.
    value = re.sub(r"\\(.)", lambda m: {"s": " ", "n": "\n", "t": "\t", "r": "\r"}.get(m[1], m[1]),
                   value)
    match = re.match(r'"((?:[^"\\`$]|\\["`$\\])*)"|([^" ]*)', value)
    return (match[2] if match[1] is None else re.sub(r"\\(.)", r"\1", match[1])).replace("%%", "%")


def check_installed(prefix, final_prefix):  # final_prefix: where the files will run from
    found = {p.relative_to(prefix).as_posix() + ("/" if p.is_dir() else "")
             for p in prefix.rglob("*") if not p.is_dir() or not any(p.iterdir())}
    check(found == EXPECTED, f"missing {EXPECTED - found}, unexpected {found - EXPECTED}")
    entry = dict(line.split("=", 1) for line in (prefix / DESKTOP).read_text().splitlines()
                 if "=" in line and not line.startswith(("[", "#")))
    check(entry.get("Name") == "Sodrel Tools" and entry.get("Icon") == "sodrel-tools" and
          exec_program(entry.get("Exec", "")) == f"{final_prefix}/{FOLDER}/sodrel-tools",
          f"desktop entry wrong: {entry}")
    head = (prefix / ICON).read_bytes()[:24]
    check(head[:8] == b"\x89PNG\r\n\x1a\n" and struct.unpack(">II", head[16:24]) == (256, 256),
          "the icon is not a 256x256 PNG")


def check_samples(scratch, convert):
    made, work = scratch / "made", scratch / "work"
    made.mkdir(), work.mkdir()
    subprocess.run([sys.executable, SOURCE / "samples/make-samples.py", made], check=True)
    for name in ("sample.dds", "sample.bin"):
        check((made / name).read_bytes() == (SOURCE / "samples" / name).read_bytes(),
              f"samples/{name} is not what make-samples.py makes; rerun it")
        shutil.copy(SOURCE / "samples" / name, work)
    for command in ("export", "build"):  # with the installed template (sample.bin's header)
        check(subprocess.run([convert, command, work]).returncode == 0, f"{command} failed")
    for out, expected in (("sample.bin.dds", "sample.dds"), ("sample.dds.bin", "sample.bin")):
        check((work / out).read_bytes() == (SOURCE / "samples" / expected).read_bytes(),
              f"{out} is not samples/{expected}")
    info = subprocess.run([convert, "info", work / "sample.dds"], capture_output=True, text=True)
    check("DXT1, 128 x 128\n  preview:  yes\n" in info.stdout, f"sample.dds: {info.stdout}")


def check_manifest(build, prefix):  # an uninstall from the manifest removes every file
    listed = set((Path(build) / "install_manifest.txt").read_text().splitlines())
    installed = {str(p) for p in prefix.rglob("*") if p.is_symlink() or not p.is_dir()}
    check(listed == installed, f"manifest lacks {installed - listed}, lists {listed - installed}")


def check_walkthrough(scratch, prefix):  # pasted into a shell, as the README says
    readme = (SOURCE / "README.md").read_text()
    script = re.search(r"\n## Modding walk-through\n.*?```sh\n(.*?)```", readme, re.S)[1]
    source, home = scratch / "source", scratch / "home"
    (source / "build").mkdir(parents=True), home.mkdir()
    shutil.copytree(SOURCE / "samples", source / "samples")
    (source / "build/bin").symlink_to(prefix / FOLDER)
    run = subprocess.run(["bash", "-e", "-c", script], cwd=source, capture_output=True, text=True,
                         env=dict(os.environ, HOME=str(home)))
    walk, sample = home / "sodrel-walk", (SOURCE / "samples/sample.bin").read_bytes()
    check(run.returncode == 0 and sorted(os.listdir(walk)) == ["game", "mod", "work"], f"{run}")
    def names(root):
        return sorted(p.relative_to(root) for p in root.rglob("*") if p.is_file())
    check(names(walk / "mod") == names(walk / "game") != [], "mod/ does not mirror game/")
    for name in names(walk / "game"):
        built = (walk / "mod" / name).read_bytes()
        check((walk / "game" / name).read_bytes() == sample, f"game/{name} was written")
        edited = name.name == "rock.bin"
        check((built == sample) != edited and built[:64] == sample[:64] and
              len(built) == len(sample), f"mod/{name} is not {'edited' if edited else 'whole'}")


def check_interrupts(scratch, convert):
    # Large textures: each PNG takes a while, so that a signal sent once the first output is in
    # place finds two jobs running; their outputs must be left as they were and no temporary
    # file anywhere. SIGINT finds new outputs (written unnamed where the filesystem allows);
    # SIGTERM and SIGHUP replace outputs (-f: named temporaries, renamed over the old ones).
    folder, header = scratch / "large", bytearray(128)
    struct.pack_into("<4s6I48x2I4s", header, 0, b"DDS ", 124, 0x1007, 2048, 2048, 0, 0, 32, 4,
                     b"DXT1")
    folder.mkdir()
    for i in range(10):
        (folder / f"t{i}.dds").write_bytes(bytes(header) + os.urandom(2048 * 2048 // 2))
    for number, force in ((signal.SIGINT, False), (signal.SIGTERM, True), (signal.SIGHUP, True)):
        for dds in folder.glob("*.dds"):
            png = dds.with_name(dds.name + ".png")
            png.write_bytes(b"old") if force else png.unlink(missing_ok=True)
        run = subprocess.Popen([convert, "png", "-j", "2", *(["-f"] if force else []), folder],
                               stderr=subprocess.PIPE, text=True)
        while not any(p.stat().st_size > 3 for p in folder.glob("*.png")) and run.poll() is None:
            time.sleep(0.01)
        run.send_signal(number)
        summary = run.communicate()[1]
        done = re.search(r"(\d+) converted", summary)
        pngs = [p.read_bytes() for p in folder.glob("*.png")]
        whole = sum(png.startswith(b"\x89PNG") and png.endswith(b"IEND\xaeB`\x82") for png in pngs)
        check(run.returncode == 128 + number and f"interrupted by {number.name}" in summary and
              done and int(done[1]) == whole < 10 and
              all(png == b"old" for png in pngs if not png.startswith(b"\x89PNG")) and
              len(pngs) == (10 if force else whole), f"{number.name}: {run.returncode} {summary}")
        check(not [p for p in scratch.rglob("*") if ".part-" in p.name], "a temporary file is left")


def check_runs(scratch, convert):  # what only the executable does: exit status, progress bar
    usage = subprocess.run([convert, "export"], capture_output=True, text=True)
    check(usage.returncode == 2 and "export: no file given" in usage.stderr, f"{usage}")
    version = re.search(r"project\(\w+ VERSION (\d+\.\d+\.\d+)",
                        (SOURCE / "CMakeLists.txt").read_text())[1]
    shown = subprocess.run([convert, "--version"], capture_output=True, text=True).stdout
    check(shown == f"sodrel-convert {version}\n", f"--version: {shown}")
    many = scratch / "many"
    many.mkdir()
    for files in range(1, 22):  # a bar on a terminal for more than 20 files, and only there
        (many / f"{files}.bin").write_bytes(bytes(100))
        if files < 20:
            continue
        run = subprocess.run(["script", "-qec", f"'{convert}' export '{many}'", "/dev/null"],
                             capture_output=True, text=True).stdout
        plain = subprocess.run([convert, "export", many], capture_output=True, text=True).stderr
        check((f"] {files}/{files}" in run) == (files > 20) and "]" not in plain, run + plain)


def install(cmake, build, prefix):
    result = subprocess.run([cmake, "--install", build, "--prefix", prefix], capture_output=True,
                            env=dict(os.environ, DESTDIR=""), text=True)
    if result.returncode != 0:
        sys.exit(f"FAILED: cmake --install failed: {result.stderr}")


def check_thumbnailer(scratch, prefix):
    container, share = "application/x-sodrel-texture", prefix / "share"
    env = dict(os.environ, XDG_DATA_HOME=str(share), XDG_DATA_DIRS=f"{share}:/usr/share",
               GIO_USE_VFS="local")
    subprocess.run(["update-mime-database", share / "mime"], env=env, check=True)
    (scratch / "random.bin").write_bytes(os.urandom(8384))
    for name in ("sample.bin", "sample.dds"):
        shutil.copy(SOURCE / "samples" / name, scratch)
    for name, wanted in {"sample.bin": True, "sample.dds": False, "random.bin": False}.items():
        info = subprocess.run(["gio", "info", "-a", "standard::content-type", scratch / name],
                              env=env, capture_output=True, text=True).stdout
        check((f"content-type: {container}\n" in info) == wanted, f"{name}: {info}")
    entry = (share / "thumbnailers/sodrel-tools.thumbnailer").read_text()
    check(f"\nMimeType={container};image/x-dds;\n" in entry, entry)
    # As a file manager reads Exec: key-file escapes, shell words, then %s %i %o %% filled in.
    words = shlex.split(re.sub(r"\\(.)", r"\1", re.search(r"^Exec=(.*)$", entry, re.M)[1]))
    for name in ("sample.bin", "sample.dds"):
        output = scratch / f"{name}.png"
        fill = {"s": "64", "i": str(scratch / name), "o": str(output), "%": "%"}
        subprocess.run([re.sub(r"%(.)", lambda m: fill[m[1]], word) for word in words])
        png = output.read_bytes() if output.exists() else b""
        # The width and height in the PNG's header.
        check(png[16:24] == bytes([0, 0, 0, 64, 0, 0, 0, 64]), f"{words}: no picture of {name}")
    check_tumbler(scratch, env)


TUMBLER = "org.freedesktop.thumbnails.Thumbnailer1"


def check_tumbler(scratch, env):
    # tumblerd on a session bus of its own; its signals go to the caller alone, whom gdbus call
    # does not outlive, so dbus-monitor (a bus monitor) sees them.
    env = dict(env, XDG_CACHE_HOME=str(scratch / "cache"))
    uris = [(scratch / name).as_uri() for name in ("sample.bin", "sample.dds")]
    queue = ["gdbus", "call", "--session", "--dest", TUMBLER, "--object-path",
             "/" + TUMBLER.replace(".", "/"), "--method", TUMBLER + ".Queue", str(uris),
             "['application/x-sodrel-texture', 'image/x-dds']", "normal", "default", "0"]
    owned = ["gdbus", "call", "--session", "--dest", "org.freedesktop.DBus", "--object-path",
             "/org/freedesktop/DBus", "--method", "org.freedesktop.DBus.NameHasOwner", TUMBLER]
    script = f"""/usr/lib/x86_64-linux-gnu/tumbler-1/tumblerd & tumbler=$!
    until {shlex.join(owned)} | grep -q true; do sleep 0.1; done
    dbus-monitor --session "type='signal',interface='{TUMBLER}'" > "$0" & monitor=$!
    until grep -q member=NameLost "$0"; do sleep 0.1; done  # the monitor is listening
    {shlex.join(queue)} >/dev/null && until grep -q member=Finished "$0"; do sleep 0.1; done
    kill $tumbler $monitor"""
    signals = scratch / "signals"
    subprocess.run(["timeout", "60", "dbus-run-session", "--", "sh", "-c", script, signals], env=env)
    errors = re.findall(r"int32 \d+\n +string (.*)", signals.read_text() if signals.exists() else "")
    for uri in uris:
        png = scratch / "cache/thumbnails/normal" / (hashlib.md5(uri.encode()).hexdigest() + ".png")
        check(png.exists() and png.read_bytes()[16:24] == bytes([0, 0, 0, 128, 0, 0, 0, 128]),
              f"tumbler cached no picture of {uri}: {errors}")


def main():
    build, cmake = sys.argv[1:3]
    scratch = Path(tempfile.mkdtemp(prefix="sodrel-install-"))
    try:
        if sys.argv[3:] == ["thumbnailer"]:
            install(cmake, build, scratch / "my prefix")
            check_thumbnailer(scratch, scratch / "my prefix")
            return report()
        # A prefix with a space, a dollar and a percent sign: Exec must quote and escape them.
        prefix = scratch / "my programs" / "$HOME 100%"
        install(cmake, build, prefix)
        check_installed(prefix, prefix)
        (prefix / FOLDER / "Temp").rmdir()  # sodrel-convert writes nothing into the program folder
        check_samples(scratch, prefix / "bin/sodrel-convert")
        check_runs(scratch, prefix / "bin/sodrel-convert")
        check_walkthrough(scratch, prefix)
        check_interrupts(scratch, prefix / "bin/sodrel-convert")
        check(not (prefix / FOLDER / "Temp").exists(), "sodrel-convert made Temp/")
        own = b"OUR GAME'S OWN HEADER".ljust(64, b"\x01")  # installing again keeps it
        (prefix / FOLDER / "KX00.dll").write_bytes(own)
        install(cmake, build, prefix)
        check((prefix / FOLDER / "KX00.dll").read_bytes() == own, "installing replaced KX00.dll")
        check_manifest(build, prefix)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    return report()


def report():
    print("passed" if not failures else f"{len(failures)} check(s) failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
