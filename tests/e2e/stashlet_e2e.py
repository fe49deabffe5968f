#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""stashlet_e2e.py BINARY CASE: qel-stashlet driven as a user would (the README's
"Desktops"). desktop-CELL runs the light scheme under a dark bar, then the dark one under a
light bar, so a glyph in the program's own text colour fails on one; it logs each measure
and fails once all are taken. quit-SIGNAL drops a file on it on the xembed desktop, starts
it a second time and ends it by that signal. STASHLET_DESKTOP_SHOTS=DIR keeps
DIR/CELL-SCHEME.png, the README's pictures."""

import os
import signal
import sys
import time

from pixels import glyph_contrast, pixels
from waysession import SwaySession
from xsession import (DARK_BAR, LIGHT_BAR, PANEL_H, PANEL_W, SCREEN_H, SCREEN_W, TRAY_GRACE,
                      TRAY_LEAD, Failure, Session, SniX11Session, check, log, run, wait_for)

CELLS = {"xembed": Session, "sni-x11": SniX11Session, "sway": SwaySession}
LATE_TRAY = {("xembed", "dark"), ("sni-x11", "light")}
# The panel's centre is at most half its width and a little from the click above it.
MIN_GLYPH_CONTRAST, MAX_BACKDROP_SPREAD, MAX_GAP_TO_BAR, MAX_CENTRE_TO_CLICK = 3.0, 6, 16, 170
# From the panel's top left corner: the first card (below the header, inside the list's
# margin) and "Esci" (the footer's right-hand button).
CARD, QUIT = (110, 88), (PANEL_W - 40, PANEL_H - 25)


def quit_by_signal(s, sig):
    """A crashed run's leftovers go at start; after a drop the file manager keeps the
    keyboard; a second launch shows the panel and leaves the first, its icon and copies be;
    the signal ends it cleanly.
    With SIGTERM no tray runs at first: the program's own window gives way to the icon."""
    no_tray = sig is signal.SIGTERM
    s.start(tray=not no_tray)
    s.write(s.staged_path("left/behind.txt"), "by a crashed run")
    os.chmod(s.staging, 0o700)
    if no_tray:
        s.app = s.launch()
        wait_for(s.own_window, TRAY_GRACE, "the program's own window, with no tray")
        s.check_icon_back(s.start_tray())
    else:
        s.start_app()
    wait_for(lambda: s.staged() == [], 5, "the staging folder to be emptied at start")
    contents = s.stage([20_000])
    # The file manager keeps the keyboard after the drop (its Ctrl+C must not copy a card);
    # the user gives it to the panel, whose Escape closes it.
    panel = s.panel()
    check(int(s.xdo("getwindowfocus")) != panel.id, "the drop took the keyboard for the panel")
    s.focus(panel)
    s.key("Escape")
    wait_for(lambda: s.panel() is None, 5, "Escape on the panel to close it")
    status = s.launch().wait(timeout=15)
    check(status == 0, f"the second launch ended with status {status}")
    wait_for(s.panel, 5, "the second launch to show the first instance's panel")
    check(s.app.poll() is None and s.tray_icon(), "the first instance, or its one icon, left")
    check(s.holds(s.staging, contents), f"the staged copies changed: {s.staged()}")
    started = time.monotonic()
    os.kill(s.app.pid, sig)
    s.check_quit(started, sig.name)


SIGNALS = {"quit-" + sig.name.lower(): sig for sig in (signal.SIGTERM, signal.SIGINT,
                                                        signal.SIGHUP)}


def desktop_run(s, scheme, late):
    failures, started = [], time.monotonic()

    def measure(name, value, ok=None):
        log(f"MEASURE {s.name} {name}: {value}{ {None: '', True: ' ok', False: ' FAILED'}[ok]}")
        if ok is False:
            failures.append(f"{name}: {value}")

    s.start(tray=not late)
    # qt6ct's darker scheme gives the program a dark palette.
    env = {"QT_QPA_PLATFORMTHEME": "qt6ct"} if scheme == "dark" else {}
    if env:
        s.write(os.path.join(s.home, ".config/qt6ct/qt6ct.conf"), "[Appearance]\ncustom_palette"
                "=true\ncolor_scheme_path=/usr/share/qt6ct/colors/darker.conf\nstyle=Fusion\n")
    if late:
        # Without a tray the program waits for one rather than showing its own window at
        # once; the tray that starts has its icon at once.
        s.app, tray_at = s.launch(env), time.monotonic() + TRAY_LEAD
        while time.monotonic() < tray_at - 1:
            check(not s.own_window(), "the program showed its own window before the tray")
            time.sleep(0.2)
        time.sleep(max(0.0, tray_at - time.monotonic()))
        s.check_icon_back(s.start_tray())
    s.open_stripes()
    # A bar that started with the item on it has no picture without it.
    bar, before = s.bar_rect(), None if late else s.grab()
    if not late:
        s.app = s.launch(env)
    icon = s.tray_item(before)
    if scheme == "dark":
        s.restart_tray()
        icon = s.tray_item(before)
    panel = s.open_panel(icon)
    gap, off = panel.y - bar[1] - bar[3], abs(panel.centre[0] - icon.centre[0])
    measure("panel", f"{panel.rect} under the bar {bar}, click at {icon.centre}")
    measure("gap to bar", f"{gap} px", 0 <= gap <= MAX_GAP_TO_BAR)
    measure("centre to click", f"{off} px", off <= MAX_CENTRE_TO_CLICK)
    # A tray's panel is no task: out of the task bar and the pager.
    missing = s.in_task_lists(panel)
    measure("task lists", f"lacks {', '.join(missing)}" if missing else "in none", not missing)
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
        x1 = min(SCREEN_W, max(panel.x + PANEL_W, icon.x + icon.w) + 40)
        with open(os.path.join(shots, s.name + ".png"), "wb") as f:
            f.write(s.shot((x0, 0, x1 - x0, min(SCREEN_H, panel.y + PANEL_H + 40)), "png"))
    contents = s.stage([123_457], panel)
    s.drag_out((panel.x + CARD[0], panel.y + CARD[1]), contents)
    # A move would take the staged copy away; the shelf keeps it.
    time.sleep(0.5)
    check(s.holds(s.staging, contents), f"after the drag out the shelf holds {s.staged()}")
    # A program may recolour its glyph once the tray has embedded it: read it as it stays.
    s.park_pointer()
    time.sleep(0.3)
    ratio, under, glyph = glyph_contrast(s.grab(), icon.rect, bar)
    measure("glyph contrast", f"{ratio:.2f}:1 (#{bytes(glyph).hex()} on #{bytes(under).hex()})",
            ratio >= MIN_GLYPH_CONTRAST)
    if scheme == "light":
        panel = s.panel() or s.open_panel(icon)
        s.quit_at((panel.x + QUIT[0], panel.y + QUIT[1]), "Esci", limit=10)
    else:
        s.quit_from_menu(icon, limit=10)
    measure("time", f"{time.monotonic() - started:.1f} s")
    check(not failures, "; ".join(failures))


def desktop(binary, cell):
    failed = []
    for scheme, bar in (("light", DARK_BAR), ("dark", LIGHT_BAR)):
        try:
            with CELLS[cell](binary, bar=bar, name=f"{cell}-{scheme}") as s:
                desktop_run(s, scheme, (cell, scheme) in LATE_TRAY)
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
    if case not in SIGNALS:
        print(__doc__ + "\nCases: " + ", ".join([*SIGNALS, *("desktop-" + c for c in CELLS)]),
              file=sys.stderr)
        return 2

    def body():
        with Session(argv[1], name=case) as s:
            quit_by_signal(s, SIGNALS[case])
    return run(case, Session.TOOLS, body)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
