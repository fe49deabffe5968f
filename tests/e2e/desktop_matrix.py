#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""qel-stashlet on the desktops people run: one cell a desktop, the same flow in each.

Usage: desktop_matrix.py BINARY CELL, CELL one of xembed (Xvfb + trayer), sni-x11
(openbox + xcompmgr + xfce4-panel) or sway (headless, Wayland; needs root to make
the unprivileged user sway runs as).

Each cell runs twice, the program's light scheme under a dark bar and its dark
scheme under a light bar, so a glyph drawn in the program's own text colour
fails on one of them. A run clicks the tray item, measures the glyph's contrast,
the placement and the backdrop over a striped window, drops a file from the file
manager, drags its card back out and quits from the tray menu. Each measure is a
MEASURE line; the run fails, once all are taken, if one failed.
STASHLET_DESKTOP_SHOTS=DIR writes DIR/CELL-SCHEME.png (the README's pictures).
"""

import os
import sys
import time

from pixels import glyph_contrast, hex_colour, pixels
from waysession import SwaySession
from xsession import (DARK_BAR, LIGHT_BAR, PANEL_W, SCREEN_H, SCREEN_W, Failure, Session,
                      SniX11Session, check, log, run)

CELLS = {"xembed": Session, "sni-x11": SniX11Session, "sway": SwaySession}
MIN_GLYPH_CONTRAST, MAX_BACKDROP_SPREAD, MAX_GAP_TO_BAR = 3.0, 6, 16
# Half the panel's width and a little: the click lands above the panel.
MAX_CENTRE_TO_CLICK = 170


def go(s, scheme):
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
    measure("gap to bar", f"{gap} px", 0 <= gap <= MAX_GAP_TO_BAR if s.places_windows else None)
    measure("centre to click", f"{off} px", off <= MAX_CENTRE_TO_CLICK if s.places_windows else None)
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
    data = s.drop_file(panel, 123_457)
    measure("drag in", "staged, same bytes", True)
    s.drag_out(panel, data)
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


def main(argv):
    if len(argv) != 3 or argv[2] not in CELLS:
        print(__doc__, file=sys.stderr)
        return 2
    cell = CELLS[argv[2]]

    def body():
        failed = []
        for scheme, bar in (("light", DARK_BAR), ("dark", LIGHT_BAR)):
            try:
                with cell(argv[1], bar=bar, name=f"{argv[2]}-{scheme}") as s:
                    go(s, scheme)
            except (Failure, OSError, ValueError) as error:
                log("FAIL", f"{argv[2]}-{scheme}:", error)
                failed.append(f"{scheme}: {error}")
        check(not failed, "; ".join(failed))
    root = cell is not SwaySession or os.geteuid() == 0
    return run(argv[2], cell.TOOLS, body, None if root else "not root, so no user to run sway as")


if __name__ == "__main__":
    sys.exit(main(sys.argv))
