#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""stashlet_e2e.py BINARY CASE: qel-stashlet driven as a user would. desktop-CELL runs it
on the desktops people run: xembed (Xvfb, trayer, pcmanfm), sni-x11 (openbox, xcompmgr,
xfce4-panel), sway (headless; as root, to make the user sway runs as). A cell runs the
program's light scheme under a dark bar, then its dark scheme under a light bar, so a glyph
in the program's own text colour fails on one; it logs each measure and fails once all are
taken. quit-SIGNAL ends the program by that signal and shelf copies and pastes files in and
reads them as a screen reader does, on the xembed desktop.
STASHLET_DESKTOP_SHOTS=DIR keeps DIR/CELL-SCHEME.png, the README's pictures."""

import os
import signal
import sys
import time

from pixels import glyph_contrast, hex_colour, pixels
from waysession import SwaySession
from xsession import (DARK_BAR, LIGHT_BAR, PANEL_H, PANEL_W, SCREEN_H, SCREEN_W, Failure,
                      Session, SniX11Session, check, log, read_bytes, run, wait_for)

CELLS = {"xembed": Session, "sni-x11": SniX11Session, "sway": SwaySession}
MIN_GLYPH_CONTRAST, MAX_BACKDROP_SPREAD, MAX_GAP_TO_BAR = 3.0, 6, 16
# Half the panel's width and a little: the click lands above the panel.
MAX_CENTRE_TO_CLICK = 170
# From the panel's top left corner: the first card (below the header, inside the list's
# margin) and "Esci" (the footer's right-hand button).
CARD, QUIT = (110, 88), (PANEL_W - 40, PANEL_H - 25)
BIG = 2 << 30
# The buttons' names as a screen reader reads them (AT-SPI), one a line; for Debian's
# python3, which has the bindings.
BUTTON_NAMES = """import gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi
def walk(node):
    if node is None:
        return
    if node.get_role_name() == "push button":
        print(node.get_name())
    for i in range(node.get_child_count()):
        walk(node.get_child_at_index(i))
walk(Atspi.get_desktop(0))
"""


def at(panel, offset):
    return panel.x + offset[0], panel.y + offset[1]


def quit_by_signal(s, sig):
    """What a crashed run left is deleted at start; the signal ends the program cleanly."""
    s.start()
    s.write(s.staged_path("left/behind.txt"), "by a crashed run")
    os.chmod(s.staging, 0o700)
    s.start_app()
    wait_for(lambda: s.staged() == [], 5, "the staging folder to be emptied at start")
    started = time.monotonic()
    os.kill(s.app.pid, sig)
    s.check_quit(started, sig.name)


def accent_pixels(s, panel):
    """Pixels of the accent blue (the progress bar's fill) in the first card's band of
    name and bar."""
    return sum(1 for r, g, b in pixels(s.grab(), (*at(panel, (60, 66)), 200, 50))
               if r < 60 and 100 < g < 150 and b > 200)


def big_source(s, name):
    """A folder holding `name`: 2 GiB of real data (no holes), out of the page cache."""
    folder, block = s.write(os.path.join(s.files, name + "-src", "")), os.urandom(1 << 20)
    with open(os.path.join(folder, name), "wb") as f:
        for _ in range(BIG >> 20):
            f.write(block)
        os.fsync(f.fileno())
        os.posix_fadvise(f.fileno(), 0, 0, os.POSIX_FADV_DONTNEED)
    return folder


def shelf(s):
    """A drop of 2 GiB shows a pending card whose bar moves until it is the entry; Escape
    closes the panel, a second launch shows it again; a file copied in the file manager is
    pasted; a screen reader names the cards' buttons."""
    s.start()
    s.spawn("a11y", ["/usr/libexec/at-spi-bus-launcher"])
    wait_for(lambda: s.bus_has("org.a11y.Bus"), 10, "the accessibility bus")
    panel = s.open_panel(s.start_app({"QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"}))
    folder = big_source(s, "grande.bin")
    shown = s.drop_from_file_manager(folder, 1, panel, arrived=lambda: accent_pixels(s, panel))
    time.sleep(0.15)
    later = accent_pixels(s, panel)
    check(later > shown, f"the bar did not move: {shown} then {later} accent pixels")
    wait_for(lambda: s.staged() == ["grande.bin"], 60, "the copy to be listed")
    check(os.path.getsize(s.staged_path("grande.bin")) == BIG, "the staged copy is not whole")
    wait_for(lambda: accent_pixels(s, panel) == 0, 5, "the pending card to become the entry")
    # The drop leaves the file manager with the keyboard; the panel takes it back.
    s.key("Escape")
    wait_for(lambda: s.panel() is None, 5, "Escape after the drop to close the panel")
    status = s.launch().wait(timeout=15)
    check(status == 0, f"the second launch ended with status {status}")
    wait_for(s.panel, 5, "the second launch to show the first instance's panel")
    check(s.app.poll() is None and s.tray_icon(), "the first instance, or its one icon, left")
    folder, contents = s.make_files("copiati", [30_000])
    s.select_all_rows(s.open_folder(folder, 0, 420), 1)
    s.key("ctrl+c")
    s.focus(panel)
    s.key("ctrl+v")
    wait_for(lambda: s.staged() == ["file1.bin", "grande.bin"] and read_bytes(
        s.staged_path("file1.bin")) == contents["file1.bin"], 10, "the pasted file staged whole")
    # The cards' buttons show a glyph only: a screen reader has their names alone.
    names = wait_for(lambda: s.run(["/usr/bin/python3", "-c", BUTTON_NAMES], 20).stdout.split(
        "\n"), 15, "the accessibility tree", steady=lambda n: "Rimuovi" in n and tuple(n))
    check(names.count("Rimuovi") == names.count("Condividi via AirDrop") == 2,
          f"the buttons' names for a screen reader: {names}")


CASES = {"shelf": shelf, **{
    "quit-" + sig.name.lower(): lambda s, sig=sig: quit_by_signal(s, sig)
    for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP)}}


def desktop_run(s, scheme):
    failures, started = [], time.monotonic()

    def measure(name, value, ok=None):
        log(f"MEASURE {s.name} {name}: {value}{ {None: '', True: ' ok', False: ' FAILED'}[ok]}")
        if ok is False:
            failures.append(f"{name}: {value}")

    s.start()
    s.open_stripes()
    bar, before = s.bar_rect(), s.grab()
    if scheme == "dark":
        # qt6ct's darker scheme gives the program a dark palette.
        s.write(os.path.join(s.home, ".config/qt6ct/qt6ct.conf"), "[Appearance]\ncustom_palette="
                "true\ncolor_scheme_path=/usr/share/qt6ct/colors/darker.conf\nstyle=Fusion\n")
    s.app = s.launch({"QT_QPA_PLATFORMTHEME": "qt6ct"} if scheme == "dark" else {})
    icon = s.tray_item(before)
    log("bar", bar, "tray item", icon)
    panel = s.open_panel(icon)
    gap, off = panel.y - bar[1] - bar[3], abs(panel.centre[0] - icon.centre[0])
    measure("panel", f"{panel}, click at {icon.centre}")
    placed = s.places_windows or None
    measure("gap to bar", f"{gap} px", placed and 0 <= gap <= MAX_GAP_TO_BAR)
    measure("centre to click", f"{off} px", placed and off <= MAX_CENTRE_TO_CLICK)
    s.park_pointer()
    # Between the header and the empty state's picture only the backdrop shows.
    area = (panel.x + 24, panel.y + 64, PANEL_W - 48, 40)
    colours = pixels(s.still(area), area)
    spread = max(max(p[c] for p in colours) - min(p[c] for p in colours) for c in range(3))
    measure("backdrop spread over stripes", f"{spread} levels", spread <= MAX_BACKDROP_SPREAD)
    shots = os.environ.get("STASHLET_DESKTOP_SHOTS")
    if shots:
        os.makedirs(shots, exist_ok=True)
        x0 = max(0, min(panel.x, icon.x) - 40)
        x1 = min(SCREEN_W, max(panel.x + panel.w, icon.x + icon.w) + 40)
        s.save_png(os.path.abspath(os.path.join(shots, s.name + ".png")),
                   (x0, 0, x1 - x0, min(SCREEN_H, panel.y + panel.h + 40)))
    contents = s.stage([123_457], panel)
    s.drag_out(at(panel, CARD), contents)
    # A move would take the staged copy away; the shelf keeps it.
    time.sleep(0.5)
    check(s.holds(s.staging, contents), f"after the drag out the shelf holds {s.staged()}")
    # A program may recolour its glyph once the tray has embedded it: read it as it stays.
    s.park_pointer()
    time.sleep(0.3)
    ratio, under, glyph = glyph_contrast(s.grab(), icon.rect, bar)
    measure("glyph contrast", f"{ratio:.2f}:1 ({hex_colour(glyph)} on {hex_colour(under)})",
            ratio >= MIN_GLYPH_CONTRAST)
    if scheme == "light":
        s.quit_at(at(s.panel() or s.open_panel(icon), QUIT), "Esci", limit=10)
    else:
        s.quit_from_menu(icon, limit=10)
    measure("time", f"{time.monotonic() - started:.1f} s")
    check(not failures, "; ".join(failures))


def desktop(binary, cell):
    failed = []
    for scheme, bar in (("light", DARK_BAR), ("dark", LIGHT_BAR)):
        try:
            with CELLS[cell](binary, bar=bar, name=f"{cell}-{scheme}") as s:
                desktop_run(s, scheme)
        except (Failure, OSError, ValueError) as error:
            log("FAIL", f"{cell}-{scheme}:", error)
            failed.append(f"{scheme}: {error}")
    check(not failed, "; ".join(failed))


def main(argv):
    case = argv[2] if len(argv) == 3 else ""
    cell = CELLS.get(case.removeprefix("desktop-")) if case.startswith("desktop-") else None
    if cell:
        root = cell is not SwaySession or os.geteuid() == 0
        return run(case, cell.TOOLS, lambda: desktop(argv[1], case[8:]),
                   None if root else "not root, so no user to run sway as")
    if case not in CASES:
        print(__doc__ + "\nCases: " + ", ".join([*CASES, *("desktop-" + c for c in CELLS)]),
              file=sys.stderr)
        return 2

    def body():
        # Beside the build, not in a RAM-backed /tmp: 2 GiB of source and as much copied.
        with Session(argv[1], within=os.getcwd(), name=case) as s:
            CASES[case](s)
    extra = ("/usr/libexec/at-spi-bus-launcher", "/usr/bin/python3") if case == "shelf" else ()
    return run(case, Session.TOOLS + extra, body)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
