#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks what a build tree installs, and the .deb made from it.

Usage: check_package.py BUILD_DIR APP_ID VERSION install
       check_package.py BUILD_DIR APP_ID VERSION deb

install: `cmake --install` into a scratch root, then the desktop entry, the
AppStream metadata, the icons, the manual and the program as a desktop and a
packager would look at them.
deb: `cpack` into a scratch folder, then the package's files and control data
as dpkg sees them.
"""

import configparser
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
QT_LIBRARIES = ("libqt6core6", "libqt6gui6", "libqt6widgets6", "libqt6svg6", "libqt6dbus6")


class Failure(AssertionError):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, timeout=120, **kwargs)


def expected_files(app_id):
    """Every file an install puts in place, relative to the prefix /usr."""
    files = {
        "bin/qel-stashlet",
        f"share/applications/{app_id}.desktop",
        f"share/metainfo/{app_id}.metainfo.xml",
        f"share/icons/hicolor/scalable/apps/{app_id}.svg",
        f"share/icons/hicolor/scalable/apps/{app_id}-symbolic.svg",
        "share/man/man1/qel-stashlet.1.gz",
        "share/doc/qel-stashlet/copyright",
    }
    files.update(f"share/icons/hicolor/{n}x{n}/apps/{app_id}.png" for n in ICON_SIZES)
    return files


def files_under(root):
    found = set()
    for folder, _, names in os.walk(root):
        for name in names:
            found.add(os.path.relpath(os.path.join(folder, name), root))
    return found


# --- install ------------------------------------------------------------

def check_desktop_entry(prefix, app_id):
    path = os.path.join(prefix, "share/applications", app_id + ".desktop")
    result = run(["desktop-file-validate", path])
    # It writes hints and warnings with status 0; a clean entry has none.
    check(result.returncode == 0 and not (result.stdout + result.stderr).strip(),
          f"desktop-file-validate: {result.stdout}{result.stderr}")
    entry = configparser.ConfigParser(interpolation=None)
    entry.optionxform = str
    entry.read(path, encoding="utf-8")
    group = entry["Desktop Entry"]
    check(group.get("Icon") == app_id, f"the entry's Icon is {group.get('Icon')!r}")
    program = group.get("Exec", "").split()[0]
    check(os.path.isfile(os.path.join(prefix, "bin", program)),
          f"the entry starts {program!r}, which is not installed")
    # X11 desktops match windows to entries by class; Qt uses the program's name.
    check(group.get("StartupWMClass") == "qel-stashlet",
          f"StartupWMClass is {group.get('StartupWMClass')!r}")


def check_metainfo(prefix, app_id, version):
    path = os.path.join(prefix, "share/metainfo", app_id + ".metainfo.xml")
    result = run(["appstreamcli", "validate", "--no-net", "--no-color", path])
    check(result.returncode == 0, f"appstreamcli validate: {result.stdout}{result.stderr}")
    result = run(["appstreamcli", "validate-tree", "--no-net", "--no-color", prefix])
    check(result.returncode == 0, f"appstreamcli validate-tree: {result.stdout}{result.stderr}")
    root = ET.parse(path).getroot()
    check(root.findtext("id") == app_id, f"the metadata's id is {root.findtext('id')!r}")
    check(root.findtext("launchable") == app_id + ".desktop",
          f"the metadata launches {root.findtext('launchable')!r}")
    release = root.find("releases/release")
    check(release is not None and release.get("version") == version,
          f"the metadata's newest release is not {version}")
    image = root.findtext("screenshots/screenshot/image") or ""
    check(image.startswith("https://") and image.endswith(".png"),
          f"the screenshot is {image!r}, not a published PNG")
    check(root.findtext("provides/binary") == "qel-stashlet", "the metadata names no binary")


def pixel(path, x, y):
    """The RGBA bytes of one pixel, through ImageMagick."""
    result = subprocess.run(["convert", path, "-crop", f"1x1+{x}+{y}", "-depth", "8", "rgba:-"],
                            capture_output=True, timeout=60)
    check(result.returncode == 0 and len(result.stdout) == 4, f"cannot read {path}: {result.stderr}")
    return tuple(result.stdout)


def check_icons(prefix, app_id):
    for n in ICON_SIZES:
        path = os.path.join(prefix, f"share/icons/hicolor/{n}x{n}/apps/{app_id}.png")
        size = run(["identify", "-format", "%w %h %m", path]).stdout
        check(size == f"{n} {n} PNG", f"the {n} px icon is {size!r}")
        # The tile is opaque blue near the middle (left of the white glyph)
        # and see-through in the corners.
        r, g, b, a = pixel(path, n // 8 + 1, n // 2)
        check(a == 255 and b > 200 and b > r + 60, f"the {n} px icon's tile is {(r, g, b, a)}")
        check(pixel(path, 0, 0)[3] == 0, f"the {n} px icon's corner is not transparent")
    svg = os.path.join(prefix, f"share/icons/hicolor/scalable/apps/{app_id}.svg")
    root = ET.parse(svg).getroot()
    check(root.tag.endswith("svg") and root.get("viewBox") == "0 0 128 128",
          "the scalable icon is not a square SVG")
    # The symbolic icon takes the host's colour: GTK and GNOME Shell override
    # fills, KDE the ColorScheme-Text colour; a fixed fill would stay as drawn.
    symbolic = ET.parse(os.path.join(prefix, f"share/icons/hicolor/scalable/apps/{app_id}-symbolic.svg"))
    check(symbolic.getroot().get("viewBox") == "0 0 16 16", "the symbolic icon is not 16 x 16")
    paths = [e for e in symbolic.iter() if e.tag.endswith("path")]
    check(any(p.get("class") == "ColorScheme-Text" and p.get("fill") == "currentColor" for p in paths),
          "no path of the symbolic icon takes the host's text colour")


def check_manual(prefix, version):
    path = os.path.join(prefix, "share/man/man1/qel-stashlet.1.gz")
    env = dict(os.environ, LC_ALL="C.UTF-8", MANWIDTH="80")
    result = run(["man", "--warnings", "-l", path], env=env)
    check(result.returncode == 0 and not result.stderr.strip(), f"man --warnings: {result.stderr}")
    text = result.stdout
    check(re.search(r"qel-stashlet - a shelf in the system tray", text), "the manual has no NAME line")
    check(f"qel-stashlet {version}" in text, f"the manual's footer does not carry {version}")
    for section in ("SYNOPSIS", "OPTIONS", "FILES", "EXIT STATUS"):
        check(re.search(rf"^{section}$", text, re.M), f"the manual has no {section} section")


def check_copyright(prefix):
    """Debian's machine-readable copyright file, carrying LICENSE's terms word for word."""
    with open(os.path.join(prefix, "share/doc/qel-stashlet/copyright"), encoding="utf-8") as f:
        # A line of blanks ends a paragraph, as for dpkg.
        paragraphs = [p for p in re.split(r"\n[ \t]*\n", f.read()) if p.strip()]
    check(paragraphs[0].startswith("Format: https://www.debian.org/doc/packaging-manuals/"
                                   "copyright-format/1.0/"), "the copyright file has no Format")
    files = next((p for p in paragraphs if p.startswith("Files: *")), "")
    check(re.search(r"^Copyright: \S", files, re.M) and re.search(r"^License: Expat$", files, re.M),
          f"the copyright file's Files paragraph is {files!r}")
    license = next((p for p in paragraphs if p.startswith("License: Expat\n")), "")
    terms = "\n".join("" if line == " ." else line[1:] for line in license.splitlines()[1:])
    source = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "LICENSE")
    with open(source, encoding="utf-8") as f:
        original = f.read()
    check(terms.strip() == original[original.find("Permission is hereby granted"):].strip(),
          "the copyright file's licence text is not LICENSE's")


def check_program(prefix, version):
    program = os.path.join(prefix, "bin/qel-stashlet")
    result = run([program, "--version"])
    check(result.returncode == 0 and result.stdout.strip() == f"qel-stashlet {version}",
          f"--version printed {result.stdout!r} (status {result.returncode})")


def case_install(build, app_id, version, scratch):
    root = os.path.join(scratch, "root")
    result = run(["cmake", "--install", build, "--prefix", "/usr"], env=dict(os.environ, DESTDIR=root))
    check(result.returncode == 0, f"cmake --install: {result.stdout}{result.stderr}")
    prefix = os.path.join(root, "usr")
    found, wanted = files_under(prefix), expected_files(app_id)
    check(found == wanted, f"installed {sorted(found - wanted)} extra, {sorted(wanted - found)} missing")
    check_desktop_entry(prefix, app_id)
    check_metainfo(prefix, app_id, version)
    check_icons(prefix, app_id)
    check_manual(prefix, version)
    check_copyright(prefix)
    check_program(prefix, version)


# --- deb ----------------------------------------------------------------

def control_fields(deb):
    result = run(["dpkg-deb", "-I", deb])
    check(result.returncode == 0, f"dpkg-deb -I: {result.stderr}")
    fields = {}
    for line in result.stdout.splitlines():
        match = re.match(r"^ ([A-Za-z-]+): (.*)$", line)
        if match:
            fields[match.group(1)] = match.group(2)
    return fields


def case_deb(build, app_id, version, scratch):
    result = run(["cpack", "--config", os.path.join(build, "CPackConfig.cmake"), "-G", "DEB",
                  "-B", scratch], cwd=scratch)
    check(result.returncode == 0, f"cpack: {result.stdout}{result.stderr}")
    debs = [name for name in os.listdir(scratch) if name.endswith(".deb")]
    check(len(debs) == 1, f"cpack made {debs}")
    arch = run(["dpkg", "--print-architecture"]).stdout.strip()
    check(debs[0] == f"qel-stashlet_{version}_{arch}.deb", f"the package is named {debs[0]}")
    deb = os.path.join(scratch, debs[0])

    fields = control_fields(deb)
    check(fields.get("Package") == "qel-stashlet" and fields.get("Version") == version
          and fields.get("Architecture") == arch, f"control fields: {fields}")
    check(fields.get("Maintainer") and fields.get("Description"), "no maintainer or description")
    depends = {}
    for clause in fields.get("Depends", "").split(","):
        match = re.match(r"\s*([a-z0-9.+-]+)\s*(?:\(>= ([^)]+)\))?", clause)
        if match:
            depends[match.group(1)] = match.group(2)
    for library in QT_LIBRARIES:
        check(library in depends, f"the package does not depend on {library}: {fields.get('Depends')}")
        check(depends[library] and depends[library].startswith("6."),
              f"{library} has no Qt 6 version floor: {depends[library]}")
    # QtNetwork would load Kerberos, GSSAPI and libproxy into every start.
    check("libqt6network6" not in depends, f"the package depends on QtNetwork: {fields.get('Depends')}")
    recommends = fields.get("Recommends", "")
    check("kdeconnect" in recommends, "KDE Connect is not recommended")
    check("qt6-wayland" in recommends, "Qt's Wayland plugin is not recommended")

    listing = run(["dpkg-deb", "-c", deb])
    check(listing.returncode == 0, f"dpkg-deb -c: {listing.stderr}")
    files = {}
    for line in listing.stdout.splitlines():
        mode, owner, *_, path = line.split()
        if not mode.startswith("d"):
            files[os.path.relpath(path, "./usr")] = (mode, owner)
    wanted = expected_files(app_id)
    check(set(files) == wanted,
          f"the package holds {sorted(set(files) - wanted)} extra, {sorted(wanted - set(files))} missing")
    for path, (mode, owner) in files.items():
        want = "-rwxr-xr-x" if path.startswith("bin/") else "-rw-r--r--"
        check(mode == want and owner == "root/root", f"{path} is {mode} {owner}")

    # The packaged program is the stripped build: it must still run.
    unpacked = os.path.join(scratch, "unpacked")
    check(run(["dpkg-deb", "-x", deb, unpacked]).returncode == 0, "dpkg-deb -x failed")
    program = os.path.join(unpacked, "usr/bin/qel-stashlet")
    result = run([program, "--version"])
    check(result.stdout.strip() == f"qel-stashlet {version}", f"the packaged program said {result.stdout!r}")
    symbols = run(["file", program]).stdout
    check("not stripped" not in symbols, f"the packaged program is not stripped: {symbols}")


CASES = {"install": case_install, "deb": case_deb}


def main(argv):
    if len(argv) != 5 or argv[4] not in CASES:
        print(__doc__, file=sys.stderr)
        return 2
    build, app_id, version, case = os.path.abspath(argv[1]), argv[2], argv[3], argv[4]
    scratch = tempfile.mkdtemp(prefix="stashlet-package-")
    try:
        CASES[case](build, app_id, version, scratch)
        print("PASS", case)
        return 0
    except Failure as error:
        print("FAIL", case + ":", error)
        return 1
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
