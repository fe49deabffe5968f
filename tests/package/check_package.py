#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""check_package.py BUILD_DIR APP_ID VERSION install|deb: what `cmake --install` puts
in a scratch root, as a desktop and a packager see it, or the .deb `cpack` makes."""

import configparser
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

# The end-to-end tests' runner: the same skip where a tool is missing, the same end.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from xsession import check, log_to, run as run_test  # noqa: E402

ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
QT_LIBRARIES = ("libqt6core6", "libqt6gui6", "libqt6widgets6", "libqt6svg6", "libqt6dbus6")
TOOLS = {"install": ("cmake", "desktop-file-validate", "appstreamcli", "convert", "identify",
                     "man"),
         "deb": ("cpack", "dpkg", "dpkg-deb", "file")}


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, timeout=120, **kwargs)


def output(args, **kwargs):
    result = run(args, **kwargs)
    check(result.returncode == 0, f"{' '.join(args[:2])}: {result.stdout}{result.stderr}")
    return result.stdout


def expected_files(app_id):
    """Every file an install puts in place, relative to the prefix /usr."""
    apps = "share/icons/hicolor/scalable/apps/"
    return {"bin/qel-stashlet", f"share/applications/{app_id}.desktop",
            f"share/metainfo/{app_id}.metainfo.xml", f"{apps}{app_id}.svg",
            f"{apps}{app_id}-symbolic.svg", "share/man/man1/qel-stashlet.1.gz",
            "share/doc/qel-stashlet/copyright"} | {
        f"share/icons/hicolor/{n}x{n}/apps/{app_id}.png" for n in ICON_SIZES}


def case_install(build, app_id, version, scratch):
    output(["cmake", "--install", build, "--prefix", "/usr"],
           env=dict(os.environ, DESTDIR=os.path.join(scratch, "root")))
    prefix = os.path.join(scratch, "root", "usr")
    found = {os.path.relpath(os.path.join(d, n), prefix) for d, _, ns in os.walk(prefix)
             for n in ns}
    wanted = expected_files(app_id)
    check(found == wanted, f"installed {sorted(found - wanted)} extra, "
                           f"{sorted(wanted - found)} missing")
    said = run([os.path.join(prefix, "bin/qel-stashlet"), "--version"]).stdout.strip()
    check(said == f"qel-stashlet {version}", f"--version printed {said!r}")

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
    program = group.get("Exec", "").split()[0]
    check(os.path.isfile(os.path.join(prefix, "bin", program)), f"the entry starts {program!r}")
    # X11 desktops match windows to entries by class; Qt uses the program's name.
    check(group.get("StartupWMClass") == "qel-stashlet",
          f"StartupWMClass is {group.get('StartupWMClass')!r}")

    path = os.path.join(prefix, "share/metainfo", app_id + ".metainfo.xml")
    output(["appstreamcli", "validate", "--no-net", "--no-color", path])
    output(["appstreamcli", "validate-tree", "--no-net", "--no-color", prefix])
    root = ET.parse(path).getroot()
    release = root.find("releases/release")
    for field, got, want in (("id", root.findtext("id"), app_id),
                             ("launchable", root.findtext("launchable"), app_id + ".desktop"),
                             ("binary", root.findtext("provides/binary"), "qel-stashlet"),
                             ("newest release", release is not None and release.get("version"),
                              version)):
        check(got == want, f"the metadata's {field} is {got!r}")
    image = root.findtext("screenshots/screenshot/image") or ""
    check(image.startswith("https://") and image.endswith(".png"), f"the screenshot is {image!r}")

    for n in ICON_SIZES:
        path = os.path.join(prefix, f"share/icons/hicolor/{n}x{n}/apps/{app_id}.png")
        size = run(["identify", "-format", "%w %h %m", path]).stdout
        check(size == f"{n} {n} PNG", f"the {n} px icon is {size!r}")
        # The tile is opaque blue near the middle (left of the white glyph), the corners clear.
        tile, corner = (tuple(subprocess.run(["convert", path, "-crop", f"1x1+{x}+{y}", "-depth",
                                              "8", "rgba:-"], capture_output=True).stdout)
                        for x, y in ((n // 8 + 1, n // 2), (0, 0)))
        check(len(tile) == 4 and tile[3] == 255 and tile[2] > 200 and tile[2] > tile[0] + 60,
              f"the {n} px icon's tile is {tile}")
        check(corner[3:] == (0,), f"the {n} px icon's corner is {corner}")
    apps = os.path.join(prefix, "share/icons/hicolor/scalable/apps", app_id)
    check(ET.parse(apps + ".svg").getroot().get("viewBox") == "0 0 128 128",
          "the scalable icon is not a square SVG")
    # The symbolic icon takes the host's colour: GTK and GNOME Shell override
    # fills, KDE the ColorScheme-Text colour; a fixed fill would stay as drawn.
    symbolic = ET.parse(apps + "-symbolic.svg")
    check(symbolic.getroot().get("viewBox") == "0 0 16 16", "the symbolic icon is not 16 x 16")
    check(any(e.tag.endswith("path") and e.get("class") == "ColorScheme-Text"
              and e.get("fill") == "currentColor" for e in symbolic.iter()),
          "no path of the symbolic icon takes the host's text colour")
    # GdkPixbuf, which GNOME Shell's tray reads icons through, knows an SVG only
    # by an <svg tag among its first bytes; later, it shows loading dots.
    for icon in (apps + ".svg", apps + "-symbolic.svg"):
        with open(icon, "rb") as f:
            check(b"<svg" in f.read(256), f"{os.path.basename(icon)} opens with no <svg tag")

    result = run(["man", "--warnings", "-l", prefix + "/share/man/man1/qel-stashlet.1.gz"],
                 env=dict(os.environ, LC_ALL="C.UTF-8", MANWIDTH="80"))
    check(result.returncode == 0 and not result.stderr.strip(), f"man --warnings: {result.stderr}")
    check(f"qel-stashlet {version}" in result.stdout, f"the manual names no version {version}")

    # Debian's machine-readable copyright file, with LICENSE's terms word for word.
    with open(os.path.join(prefix, "share/doc/qel-stashlet/copyright"), encoding="utf-8") as f:
        # A line of blanks ends a paragraph, as for dpkg.
        paragraphs = [p for p in re.split(r"\n[ \t]*\n", f.read()) if p.strip()]
    files = next((p for p in paragraphs if p.startswith("Files: *")), "")
    check(re.search(r"^Copyright: \S", files, re.M) and re.search(r"^License: Expat$", files, re.M),
          f"the copyright file's Files paragraph is {files!r}")
    license = next((p for p in paragraphs if p.startswith("License: Expat\n")), "")
    terms = "\n".join("" if line == " ." else line[1:] for line in license.splitlines()[1:])
    with open(os.path.join(os.path.dirname(__file__), "../../LICENSE"), encoding="utf-8") as f:
        original = f.read()
    check(terms.strip() == original[original.find("Permission is hereby granted"):].strip(),
          "the copyright file's licence text is not LICENSE's")


def case_deb(build, app_id, version, scratch):
    output(["cpack", "--config", os.path.join(build, "CPackConfig.cmake"), "-G", "DEB", "-B",
            scratch], cwd=scratch)
    arch = output(["dpkg", "--print-architecture"]).strip()
    debs = [n for n in os.listdir(scratch) if n.endswith(".deb")]
    check(debs == [f"qel-stashlet_{version}_{arch}.deb"], f"cpack made {debs}")
    deb = os.path.join(scratch, debs[0])
    fields = dict(re.findall(r"^ ([A-Za-z-]+): (.*)$", output(["dpkg-deb", "-I", deb]), re.M))
    check((fields.get("Package"), fields.get("Version"), fields.get("Architecture"))
          == ("qel-stashlet", version, arch), f"control fields: {fields}")
    check(fields.get("Maintainer") and fields.get("Description"), "no maintainer or description")
    depends = dict(re.findall(r"(?:^|,)\s*([a-z0-9.+-]+)\s*(?:\(>= ([^)]+)\))?",
                              fields.get("Depends", "")))
    for library in QT_LIBRARIES:
        check(depends.get(library, "").startswith("6."),
              f"no dependency on {library} with a Qt 6 floor: {fields.get('Depends')}")
    # QtNetwork would load Kerberos, GSSAPI and libproxy into every start.
    check("libqt6network6" not in depends, f"the package depends on QtNetwork: {depends}")
    for wanted in ("kdeconnect", "qt6-wayland"):
        check(wanted in fields.get("Recommends", ""), f"{wanted} is not recommended")
    files = {}
    for line in output(["dpkg-deb", "-c", deb]).splitlines():
        mode, owner, *_, path = line.split()
        if not mode.startswith("d"):
            files[os.path.relpath(path, "./usr")] = (mode, owner)
    wanted = expected_files(app_id)
    check(set(files) == wanted, f"the package holds {sorted(set(files) - wanted)} extra, "
                                f"{sorted(wanted - set(files))} missing")
    for path, (mode, owner) in files.items():
        want = "-rwxr-xr-x" if path.startswith("bin/") else "-rw-r--r--"
        check((mode, owner) == (want, "root/root"), f"{path} is {mode} {owner}")
    # The packaged program is the stripped build: it must still run.
    output(["dpkg-deb", "-x", deb, os.path.join(scratch, "unpacked")])
    program = os.path.join(scratch, "unpacked/usr/bin/qel-stashlet")
    said = run([program, "--version"]).stdout.strip()
    check(said == f"qel-stashlet {version}", f"the packaged program printed {said!r}")
    check("not stripped" not in run(["file", program]).stdout, "the packaged program has symbols")


def main(argv):
    if len(argv) != 5 or argv[4] not in TOOLS:
        print(__doc__, file=sys.stderr)
        return 2
    log_to("package", sys.stdout)
    scratch = tempfile.mkdtemp(prefix="stashlet-package-")
    try:
        return run_test("package-" + argv[4], TOOLS[argv[4]], lambda: (
            case_install if argv[4] == "install" else case_deb)(os.path.abspath(argv[1]), argv[2],
                                                                argv[3], scratch))
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
