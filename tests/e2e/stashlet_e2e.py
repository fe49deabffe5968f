#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""stashlet_e2e.py BINARY CASE: qel-stashlet driven as a user would, on Xvfb with trayer
and pcmanfm, or (desktop-CELL) on the desktops people run: xembed (trayer), sni-x11
(openbox, xcompmgr, xfce4-panel), sway (headless; as root, to make the user sway runs
as). A cell runs the program's light scheme under a dark bar, then its dark scheme
under a light bar, so a glyph in the program's own text colour fails on one; it logs
each measure and fails once all are taken. STASHLET_DESKTOP_SHOTS=DIR keeps
DIR/CELL-SCHEME.png, the README's pictures."""

import os
import signal
import sys
import time
import urllib.parse

from pixels import glyph_contrast, hex_colour, pixels, region
from waysession import SwaySession
from xsession import (DARK_BAR, LIGHT_BAR, PANEL_H, PANEL_W, SCREEN_H, SCREEN_W, Failure,
                      Session, SniX11Session, check, log, read_bytes, run, stays, wait_for)

CELLS = {"xembed": Session, "sni-x11": SniX11Session, "sway": SwaySession}
MIN_GLYPH_CONTRAST, MAX_BACKDROP_SPREAD, MAX_GAP_TO_BAR = 3.0, 6, 16
# Half the panel's width and a little: the click lands above the panel.
MAX_CENTRE_TO_CLICK = 170
# From the panel's top left corner: the first card (below the header, inside the list's
# margin), its icon's centre, its cancel button while it copies, the drag-all badge (left
# of the close button) and "Esci" (the footer's right-hand button).
CARD, ICON, CANCEL = (110, 88), (40, 91), (PANEL_W - 37, 91)
BADGE, QUIT = (PANEL_W - 62, 24), (PANEL_W - 40, PANEL_H - 25)
BIG = 2 << 30


def at(panel, offset):
    return panel.x + offset[0], panel.y + offset[1]


def up(s):
    s.start()
    return s.start_app()


def case_start_empties_staging(s):
    outside, beside = os.path.join(s.files, "outside.txt"), os.path.join(s.tmp, "beside.txt")
    s.write(outside, "not the program's")
    s.write(beside, "in TMPDIR, beside the staging folder")
    for rel in ("report.pdf", ".hidden", "sub/deeper/nested.txt", ".hidden-dir/in", "sub/.dot"):
        s.write(s.staged_path(rel), rel)
    os.chmod(s.staging, 0o700)
    os.symlink(outside, s.staged_path("link-to-outside"))
    os.mkdir(s.staged_path("empty-dir"))
    up(s)
    # Emptied before the icon shows; the wait only absorbs a slow file system.
    wait_for(lambda: s.staged() == [], 5, f"the staging folder to be empty (has {s.staged()})")
    check(os.path.isdir(s.staging), "the staging folder itself is gone")
    check(read_bytes(outside) == b"not the program's", "a symlink's target outside was touched")
    check(os.path.exists(beside), "a file beside the staging folder was deleted")
    check(s.app.poll() is None, "the program ended")


def case_tray_toggle(s):
    icon = up(s)
    check(s.panel() is None, "the panel is on screen before any click")
    panel = s.open_panel(icon)
    check(icon.y + icon.h <= panel.y <= icon.y + icon.h + 32, f"{panel} is not just below {icon}")
    check(panel.x <= icon.centre[0] < panel.x + panel.w, f"{panel} is not under {icon}")
    check(panel.x >= 0 and panel.x + panel.w <= SCREEN_W and panel.y + panel.h <= SCREEN_H,
          f"{panel} is not inside the screen")
    s.click(*icon.centre)
    wait_for(lambda: s.panel() is None, 10, "the panel to hide after a second click")
    stays(lambda: s.panel() is None, 0.5, "the panel staying hidden")
    again = s.open_panel(icon)
    check(again.rect == panel.rect, f"the panel moved: {panel} then {again}")


def case_drag_in(s):
    up(s)
    s.stage([150_000])
    # The drop leaves the file manager with the keyboard; the panel takes it back.
    s.key("Escape")
    wait_for(lambda: s.panel() is None, 5, "Escape after the drop to close the panel")


def case_drag_out(s):
    up(s)
    panel = s.open_panel()
    s.park_pointer()
    # The clear button shows only while the shelf lists something.
    footer = (panel.x + 8, panel.y + PANEL_H - 44, 130, 40)
    empty = region(s.grab(), *footer)
    data = s.stage([70_001], panel)["file1.dat"]
    s.park_pointer()
    wait_for(lambda: region(s.grab(), *footer) != empty, 5, "the clear button to show")
    s.drag_out(at(panel, CARD), {"file1.dat": data})
    s.park_pointer()
    # A move would take the staged copy away; the shelf keeps it, and keeps listing it.
    stays(lambda: s.staged() == ["file1.dat"] and read_bytes(s.staged_path("file1.dat")) == data,
          1.0, "the staged copy staying whole")
    check(region(s.grab(), *footer) != empty, "the clear button is gone: the entry left the shelf")
    check(s.panel() is not None, "the panel closed")


def case_limit(s):
    up(s)
    s.stage([1000 * i + 7 for i in range(1, 8)])
    # Copies are asynchronous: give a sixth or seventh time to show up.
    stays(lambda: len(s.staged()) == 5, 1.5, "exactly 5 staged files, the limit")


def case_quit_button(s):
    up(s)
    s.stage([20_000, 20_001, 20_002])
    s.quit_at(at(s.panel(), QUIT), "Esci")


def case_quit_menu(s):
    icon = up(s)
    s.stage([20_000, 20_001])
    s.quit_from_menu(icon)


def quit_by_signal(s, sig):
    up(s)
    s.stage([20_000, 20_001])
    started = time.monotonic()
    os.kill(s.app.pid, sig)
    s.check_quit(started, sig.name)


def case_no_tray(s):
    # With no tray host the panel must come up as an ordinary window at once,
    # or the program would run with nothing on screen.
    s.start(tray=False)
    s.app = s.launch()
    window = wait_for(s.panel, 20, "the panel as a window when there is no tray")
    check(not [w for w in s.app_windows() if w.w <= 64 and w.h <= 64],
          "a tray icon with no tray")
    check(window.x >= 0 and window.y >= 0 and window.x + window.w <= SCREEN_W
          and window.y + window.h <= SCREEN_H, f"{window} is not inside the screen")
    # A frame's close button only minimises the window (with no window manager to
    # do that, it stays): quitting is "Esci".
    s.xlib.ask_to_close(window.id)
    stays(lambda: s.app.poll() is None and s.panel(), 1.0, "the window after a close request")
    s.quit_at(at(window, QUIT), "Esci without a tray")


def case_second_launch(s):
    up(s)
    contents = s.stage([20_000, 20_001])
    status = s.launch().wait(timeout=15)
    check(status == 0, f"the second launch ended with status {status}")
    # It asked the first to toggle its panel, which was shown.
    wait_for(lambda: s.panel() is None, 5, "the first instance's panel to hide")
    check(s.app.poll() is None, f"the first instance ended (status {s.app.returncode})")
    stays(lambda: s.staged() == sorted(contents) and all(
        read_bytes(s.staged_path(n)) == d for n, d in contents.items()), 1.0,
        "the first instance's staged copies staying whole")
    # One icon, and the first still answers the user.
    s.open_panel(wait_for(s.tray_icon, 5, "one tray icon after the second launch"))


def case_keyboard(s):
    """Screen readers name each card, Enter opens one, the badge drags them all out."""
    s.start()
    s.spawn("a11y", ["/usr/libexec/at-spi-bus-launcher"])
    wait_for(lambda: s.bus_has("org.a11y.Bus"), 10, "the accessibility bus")
    # The desktop's opener, replaced by one that writes down what it was given.
    opened = os.path.join(s.root, "opened")
    opener = s.write(os.path.join(s.root, "bin", "xdg-open"),
                     f'#!/bin/sh\nprintf "%s\\n" "$@" >> "{opened}"\n')
    os.chmod(opener, 0o755)
    panel = s.open_panel(s.start_app({"PATH": os.path.dirname(opener) + ":" + s.env["PATH"],
                                      "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"}))
    contents = s.stage([20_000, 20_001], panel)

    def tree():
        out = s.run(["/usr/bin/python3", os.path.join(os.path.dirname(__file__), "a11y_tree.py"),
                     "qel-stashlet"], 20)
        check(out.returncode == 0, f"a11y_tree.py failed: {out.stderr[-500:]}")
        nodes = [tuple(line.split("\t", 1)) for line in out.stdout.splitlines()]
        return cards <= set(nodes) and all([role for role, name in nodes if name == button]
                                           == ["push button"] * n for button, n in buttons.items())
    cards = {("list item", f"{name}, 20 kB") for name in contents}
    buttons = {"Rimuovi": 2, "Condividi via AirDrop": 2, "Cancella Tutto": 1, "Esci": 1,
               "Chiudi": 1}
    wait_for(tree, 15, f"the accessibility tree to name the cards {cards} and buttons {buttons}")

    # The drop left the panel with the keyboard: Down reaches the first card.
    s.key("Down")
    s.key("Return")
    # The shell makes the file before it writes the line.
    wait_for(lambda: os.path.exists(opened) and read_bytes(opened).endswith(b"\n"), 10,
             "the opener to run")
    stays(lambda: len(read_bytes(opened).splitlines()) == 1, 0.5, "one file opened")
    given = urllib.parse.unquote(read_bytes(opened).decode().strip().removeprefix("file://"))
    check(given in [s.staged_path(name) for name in contents], f"the opener was given {given}")
    s.drag_out(at(panel, BADGE), contents, "all")
    check(s.staged() == sorted(contents), f"the shelf lost files: {s.staged()}")


def accent_pixels(s, panel):
    """Pixels of the accent blue (the progress bar's fill) in the first card's band of
    name and bar, read straight from the X server: a screenshot tool takes too long to
    time a half second."""
    return sum(1 for row in s.xlib.rows(*at(panel, (60, 66)), 200, 50) for i in
               range(0, len(row), 4) if row[i + 2] < 60 and 100 < row[i + 1] < 150 and row[i] > 200)


def big_source(s, name):
    """A folder holding `name`: 2 GiB of real data (no holes), out of the page cache;
    written once per build tree, linked into each session beside it."""
    kept = os.path.abspath("copy-e2e-2GiB.bin")
    if not os.path.exists(kept) or os.path.getsize(kept) != BIG:
        block = os.urandom(1 << 20)
        with open(kept + ".part", "wb") as f:
            for _ in range(BIG >> 20):
                f.write(block)
            os.fsync(f.fileno())
        os.rename(kept + ".part", kept)
    fd = os.open(kept, os.O_RDONLY)
    os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
    os.close(fd)
    folder = s.write(os.path.join(s.files, name + "-src", ""))
    os.link(kept, os.path.join(folder, name))
    return folder


def case_copy_pending(s):
    panel = s.open_panel(up(s))
    folder = big_source(s, "grande.bin")
    # The drop happens as the drag's button goes up.
    released, button = [], s.button
    s.button = lambda down, *args: (button(down, *args), down or released.append(time.monotonic()))
    seen = []

    def card_shows():
        now = time.monotonic()
        seen.append((now - (released or [now])[-1], accent_pixels(s, panel)))
        return seen[-1][1]
    s.drop_from_file_manager(folder, 1, panel, arrived=card_shows)
    log(f"pending card on screen {seen[-1][0] * 1000:.0f} ms after the drop")
    # The card waits 300 ms by design; the time it takes on a quiet machine is
    # logged above. The bound here only tells a card that shows from none, since a
    # loaded or sanitized run is slower and speed is the benchmarks' business.
    check(seen[-1][0] <= 2.0, f"no pending card within 2 s of the drop: {seen}")
    time.sleep(0.15)
    later = accent_pixels(s, panel)
    check(later > seen[-1][1], f"the bar did not move: {seen[-1][1]} then {later} accent pixels")
    wait_for(lambda: s.staged() == ["grande.bin"], 60, "the copy to be listed")
    check(os.path.getsize(s.staged_path("grande.bin")) == BIG, "the staged copy is not whole")
    wait_for(lambda: accent_pixels(s, panel) == 0, 5, "the pending card to become the entry")


def case_copy_cancel(s):
    panel = s.open_panel(up(s))
    folder = big_source(s, "annulla.bin")
    s.drop_from_file_manager(folder, 1, panel, arrived=lambda: accent_pixels(s, panel))
    s.click(*at(panel, CANCEL))
    wait_for(lambda: accent_pixels(s, panel) == 0, 5, "the pending card to leave")
    stays(lambda: s.staged() == [], 2.0, "an empty staging folder after the cancel")


def case_copy_paste_in(s):
    panel = s.open_panel(up(s))
    folder, contents = s.make_files("copiati", [30_000])
    s.select_all_rows(s.open_folder(folder, 0, 420), 1)
    s.key("ctrl+c")
    s.focus(panel)
    s.key("ctrl+v")
    wait_for(lambda: s.staged() == ["file1.bin"]
             and read_bytes(s.staged_path("file1.bin")) == contents["file1.bin"], 10,
             "the pasted file to be staged whole")


def case_copy_copy_out(s):
    panel = s.open_panel(up(s))
    folder, contents = s.make_files("sorgente", [40_000])
    s.drop_from_file_manager(folder, 1, panel)
    wait_for(lambda: s.staged() == ["file1.bin"], 10, "the file to be staged")
    s.click(*at(panel, (140, ICON[1])))  # the card takes the focus
    s.key("ctrl+c")
    target = s.write(os.path.join(s.files, "incollati", ""))
    s.focus(s.open_folder(target, 0, 420))
    s.key("ctrl+v")
    delivered = os.path.join(target, "file1.bin")
    wait_for(lambda: os.path.exists(delivered) and read_bytes(delivered) == contents["file1.bin"],
             10, "the card's file to be pasted whole in the folder")
    check(s.staged() == ["file1.bin"], "the shelf lost its copy")


def case_copy_preview(s):
    panel = s.open_panel(up(s))
    folder = s.write(os.path.join(s.files, "immagini", ""))
    colour = (200, 40, 160)
    s.run(["convert", "-size", "48x32", "xc:rgb(200,40,160)", os.path.join(folder, "foto.png")])
    s.drop_from_file_manager(folder, 1, panel)
    s.park_pointer()
    wait_for(lambda: tuple(region(s.grab(), *at(panel, ICON), 1, 1)) == colour, 10,
             f"the card's icon to show the PNG's colour {colour}")


# Each case_x_y is the case x-y; the signals' share one body.
CASES = {n[5:].replace("_", "-"): f for n, f in list(globals().items()) if n.startswith("case_")}
CASES.update({"quit-" + sig.name.lower(): lambda s, sig=sig: quit_by_signal(s, sig)
              for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP)})


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
        s.save_png(os.path.abspath(os.path.join(shots, s.name + ".png")), x0, 0, x1 - x0,
                   min(SCREEN_H, panel.y + panel.h + 40))
    contents = s.stage([123_457], panel)
    measure("drag in", "staged, same bytes", True)
    s.drag_out(at(panel, CARD), contents)
    measure("drag out", "delivered, same bytes", True)
    # A program may recolour its glyph once the tray has embedded it: read it as it stays.
    s.park_pointer()
    time.sleep(0.3)
    ratio, under, glyph = glyph_contrast(s.grab(), icon.rect, bar)
    measure("glyph contrast", f"{ratio:.2f}:1 ({hex_colour(glyph)} on {hex_colour(under)})",
            ratio >= MIN_GLYPH_CONTRAST)
    s.quit_from_menu(icon, limit=10)
    measure("quit from the menu", "status 0, staging folder empty", True)
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
        print(__doc__ + "Cases: " + ", ".join([*CASES, *("desktop-" + c for c in CELLS)]),
              file=sys.stderr)
        return 2

    def body():
        # Beside the build, not in a RAM-backed /tmp: 2 GiB of source and as much copied.
        with Session(argv[1], within=os.getcwd(), name=case) as s:
            CASES[case](s)
    # The keyboard case reads the tree as a screen reader does, through Debian's python3.
    extra = ("/usr/libexec/at-spi-bus-launcher", "/usr/bin/python3") if case == "keyboard" else ()
    return run(case, Session.TOOLS + extra, body)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
