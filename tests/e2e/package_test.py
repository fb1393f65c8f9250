#!/usr/bin/env python3
# package_test.py BUILD_DIR: makes the Debian package of the build (scripts/package --no-build),
# checks it with lintian and its file list, unpacks it and runs what it holds as a user who cannot
# write the program folder (user 65534 when run as root): the window, driven as window_test.py
# drives it, works in that user's cache folder and empties it on close; sodrel-convert builds with
# the user's own template.
# Exit status: 0 passed, 1 failed, 77 a tool is missing (CTest reports a skip).
import os, sys
from pathlib import Path

import install_test
import window_test as window
from window_test import check, run

SOURCE = Path(__file__).resolve().parents[2]
USER = (["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"]
        if os.getuid() == 0 else [])
FOLDER = "usr/lib/sodrel-tools/"
# What `cmake --install` puts under /usr, and the package's own two files.
EXPECTED = {"usr/" + path for path in install_test.EXPECTED} | {
    "usr/share/doc/sodrel-tools/copyright", "usr/share/doc/sodrel-tools/changelog.gz"}


def test(scratch, processes):
    scratch.chmod(0o755)  # user 65534 must get in
    deb = run(SOURCE / "scripts/package", "--no-build", sys.argv[1], scratch).stdout.strip()
    lint = run("lintian", "--fail-on", "error", deb, ok=False)
    listed = {line.split(" ./")[1].split(" -> ")[0]
              for line in run("dpkg-deb", "-c", deb).stdout.splitlines()}
    found = {p for p in listed if not any(q != p and q.startswith(p) for q in listed)}  # no parents
    depends = run("dpkg-deb", "-f", deb, "Depends").stdout  # dpkg-shlibdeps's and ours
    check(not lint.returncode and found == EXPECTED and "libfreeimage3 " in depends,
          f"lintian: {lint.stdout}{lint.stderr}; missing {EXPECTED - found}, "
          f"unexpected {found - EXPECTED}; or no Depends")

    # The window and sodrel-convert of a user who has put their own template in place.
    root, home, own = scratch / "root", scratch / "home", b"OUR GAME'S HEADER".ljust(64, b"\2")
    run("dpkg-deb", "-x", deb, root)
    folder, template = root / FOLDER, home / "settings/sodrel-tools/KX00.dll"
    for path in (folder / "Temp", folder):
        path.chmod(0o555)  # for a user who unpacked it: theirs, but not to write
    template.parent.mkdir(parents=True)
    template.write_bytes(own)
    if USER:
        run("chown", "-R", "65534:65534", home)
    user = dict(HOME=str(home), XDG_CACHE_HOME="", XDG_CONFIG_HOME=str(home / "settings"))
    window.drive(scratch, processes, USER + [root / "usr/bin/sodrel-tools"],
                 home / ".cache/sodrel-tools/Temp", own, **user)
    convert = lambda *args: run(*USER, root / "usr/bin/sodrel-convert", *args,  # noqa: E731
                                env=dict(os.environ, **user), ok=False)
    built = scratch / "files/blue.dds.bin"
    built.unlink()
    check(f"template of build: {template}\n" in convert("--help").stdout
          and not convert("build", scratch / "files/blue.dds").returncode
          and built.read_bytes()[:64] == own, "sodrel-convert did not name or take the template")
    for path in (folder, folder / "Temp"):
        path.chmod(0o755)  # to be deleted


if __name__ == "__main__":
    sys.exit(window.run_test(test, window.TOOLS + ("dpkg-deb", "dpkg-shlibdeps", "lintian",
                                                   "setpriv"), "sodrel-package-"))
