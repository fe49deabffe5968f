#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""check_package.py BUILD_DIR APP_ID VERSION: the .deb `cpack` makes, as a packager, and
what it installs, as a desktop, sees it."""

import configparser
import os
import re
import subprocess
import sys
import tempfile

# The end-to-end tests' runner: the same skip where a tool is missing, the same end.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from xsession import check, log_to, run as run_test  # noqa: E402

ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
QT_LIBRARIES = ("libqt6core6", "libqt6gui6", "libqt6widgets6", "libqt6svg6", "libqt6dbus6")
# The translations shipped; English is also the untranslated desktop entry's.
LANGUAGES = ("en", "de", "fr", "es")
TOOLS = ("cpack", "dpkg", "dpkg-deb", "file", "desktop-file-validate", "appstreamcli", "convert")


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, timeout=120, **kwargs)


def output(args, **kwargs):
    result = run(args, **kwargs)
    check(result.returncode == 0, f"{' '.join(args[:2])}: {result.stdout}{result.stderr}")
    return result.stdout


def check_package(build, app_id, version, scratch):
    output(["cpack", "--config", os.path.join(build, "CPackConfig.cmake"), "-G", "DEB", "-B",
            scratch], cwd=scratch)
    arch = output(["dpkg", "--print-architecture"]).strip()
    debs = [n for n in os.listdir(scratch) if n.endswith(".deb")]
    check(debs == [f"qel-stashlet_{version}_{arch}.deb"], f"cpack made {debs}")
    deb = os.path.join(scratch, debs[0])
    fields = dict(re.findall(r"^ ([A-Za-z-]+): (.*)$", output(["dpkg-deb", "-I", deb]), re.M))
    depends = dict(re.findall(r"(?:^|,)\s*([a-z0-9.+-]+)\s*(?:\(>= ([^)]+)\))?",
                              fields.get("Depends", "")))
    for library in QT_LIBRARIES:
        check(depends.get(library, "").startswith("6."),
              f"no dependency on {library} with a Qt 6 floor: {fields.get('Depends')}")
    # QtNetwork would load Kerberos, GSSAPI and libproxy into every start.
    check("libqt6network6" not in depends, f"the package depends on QtNetwork: {depends}")
    files = {}
    for line in output(["dpkg-deb", "-c", deb]).splitlines():
        mode, owner, *_, path = line.split()
        if not mode.startswith("d"):
            files[os.path.relpath(path, "./usr")] = (mode, owner)
    apps = "share/icons/hicolor/scalable/apps/"
    wanted = {"bin/qel-stashlet", f"share/applications/{app_id}.desktop",
              f"share/metainfo/{app_id}.metainfo.xml", f"{apps}{app_id}.svg",
              f"{apps}{app_id}-symbolic.svg", "share/man/man1/qel-stashlet.1.gz",
              "share/doc/qel-stashlet/copyright"} | {
        f"share/icons/hicolor/{n}x{n}/apps/{app_id}.png" for n in ICON_SIZES} | {
        f"share/qel-stashlet/translations/qel-stashlet_{lang}.qm" for lang in LANGUAGES}
    check(set(files) == wanted, f"the package holds {sorted(set(files) - wanted)} extra, "
                                f"{sorted(wanted - set(files))} missing")
    for path, (mode, owner) in files.items():
        want = "-rwxr-xr-x" if path.startswith("bin/") else "-rw-r--r--"
        check((mode, owner) == (want, "root/root"), f"{path} is {mode} {owner}")
    # The packaged program is the stripped build: it must still run. What a desktop reads
    # of what the package installs follows.
    output(["dpkg-deb", "-x", deb, os.path.join(scratch, "root")])
    prefix = os.path.join(scratch, "root", "usr")
    said = run([prefix + "/bin/qel-stashlet", "--version"]).stdout.strip()
    check(said == f"qel-stashlet {version}", f"the packaged program printed {said!r}")
    check("not stripped" not in run(["file", prefix + "/bin/qel-stashlet"]).stdout,
          "the packaged program has symbols")
    # The desktop entry: desktop-file-validate writes hints and warnings with status 0;
    # a clean entry has none.
    path = os.path.join(prefix, "share/applications", app_id + ".desktop")
    result = run(["desktop-file-validate", path])
    check(result.returncode == 0 and not (result.stdout + result.stderr).strip(),
          f"desktop-file-validate: {result.stdout}{result.stderr}")
    entry = configparser.ConfigParser(interpolation=None)
    entry.optionxform = str
    entry.read(path, encoding="utf-8")
    group = entry["Desktop Entry"]
    check(group.get("Icon") == app_id, f"the entry's Icon is {group.get('Icon')!r}")
    # English untranslated, the program's own languages beside it.
    for key in ("GenericName", "Comment", "Keywords"):
        missing = [lang for lang in ("it",) + LANGUAGES[1:] if f"{key}[{lang}]" not in group]
        check(not missing, f"the entry's {key} has no {missing} form")
    program = group.get("Exec", "").split()[0]
    check(os.path.isfile(os.path.join(prefix, "bin", program)), f"the entry starts {program!r}")
    output(["appstreamcli", "validate-tree", "--no-net", "--no-color", prefix])

    for n in ICON_SIZES:
        path = os.path.join(prefix, f"share/icons/hicolor/{n}x{n}/apps/{app_id}.png")
        rgba = subprocess.run(["convert", "png:" + path, "-depth", "8", "rgba:-"],
                              capture_output=True).stdout
        check(len(rgba) == n * n * 4, f"the {n} px icon is no {n} x {n} PNG")
        # The tile is opaque blue near the middle (left of the white glyph), the corners clear.
        tile = tuple(rgba[(n // 2 * n + n // 8 + 1) * 4:][:4])
        check(tile[3] == 255 and tile[2] > 200 and tile[2] > tile[0] + 60,
              f"the {n} px icon's tile is {tile}")
        check(rgba[3] == 0, f"the {n} px icon's corner is {tuple(rgba[:4])}")
    apps = os.path.join(prefix, "share/icons/hicolor/scalable/apps", app_id)
    # GdkPixbuf, which GNOME Shell's tray reads icons through, knows an SVG only
    # by an <svg tag among its first bytes; later, it shows loading dots.
    for icon in (apps + ".svg", apps + "-symbolic.svg"):
        with open(icon, "rb") as f:
            check(b"<svg" in f.read(256), f"{os.path.basename(icon)} opens with no <svg tag")


def main(argv):
    if len(argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    log_to("package", sys.stdout)
    with tempfile.TemporaryDirectory(prefix="stashlet-package-") as scratch:
        return run_test("package", TOOLS, lambda: check_package(
            os.path.abspath(argv[1]), argv[2], argv[3], scratch))


if __name__ == "__main__":
    sys.exit(main(sys.argv))
