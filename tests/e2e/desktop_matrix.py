#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""qel-stashlet on the desktops people run: one cell a desktop, the same flow in each.

Usage: desktop_matrix.py BINARY CELL

Cells: xembed (Xvfb + trayer), sni-x11 (Xvfb + openbox + xcompmgr + xfce4-panel),
sway (headless sway + waybar, Wayland, as an unprivileged user).

Each cell runs twice, once with the program in its light scheme under a dark
bar and once in its dark scheme under a light bar, so a glyph drawn in the
program's own text colour shows up on one of them. Each run: start the
program, click its tray item, look (glyph contrast, placement, the backdrop
over a black-and-white striped window), drop a file from the file manager,
drag its card back out, quit from the tray menu. Every measure is logged as a
MEASURE line; the run fails, after measuring everything, if any check failed.

STASHLET_DESKTOP_SHOTS=DIR writes DIR/<cell>-<scheme>.png of each run (the
README's pictures); a plain run writes nothing outside its own folder.
Exit status 77 (CTest: skipped) when a tool the cell needs is missing, or when
the sway cell does not run as root; with CI set, a missing tool is a failure.
"""

import os
import shutil
import signal
import subprocess
import sys
import time
import traceback

from desktop_cells import CELLS, RUNS, SwayCell, qt_dark_scheme
from pixels import changed_box, glyph_contrast, hex_colour, last_label, pixels
from xsession import (PANEL_W, SCREEN_H, SCREEN_W, Failure, Session, log, read_bytes,
                      wait_for)

SKIP = 77
SELF_TIMEOUT_S = int(os.environ.get("STASHLET_E2E_SELF_TIMEOUT", "100"))

MIN_GLYPH_CONTRAST = 3.0
MAX_BACKDROP_SPREAD = 6
MAX_GAP_TO_BAR = 16
# Half the panel's width and a little: the click lands above the panel.
MAX_CENTRE_TO_CLICK = 170


# --- the flow ------------------------------------------------------------------

class Run:
    def __init__(self, cell, scheme):
        self.cell, self.s, self.scheme = cell, cell.s, scheme
        self.failures = []

    def measure(self, name, value, ok):
        log(f"MEASURE {self.cell.name} {self.scheme} {name}: {value}"
            + ("" if ok is None else (" ok" if ok else " FAILED")))
        if ok is False:
            self.failures.append(f"{name}: {value}")

    def empty_area(self, panel):
        """Where the empty panel shows only its backdrop: between the header and
        the empty state's picture."""
        return panel.x + 24, panel.y + 64, PANEL_W - 48, 40

    def go(self):
        s, cell = self.s, self.cell
        started = time.monotonic()
        cell.start()
        bar = cell.bar_rect()
        before = s.grab()
        env = qt_dark_scheme(s) if self.scheme == "dark" else {}
        s.app = s.launch(env)
        icon = cell.tray_item(before)
        log("bar", bar, "tray item", icon)
        try:
            self.use(icon, bar)
        finally:
            if s.app.poll() is None:
                self.measure_glyph(icon, bar)
        self.quit_from_menu((icon[0] + icon[2] // 2, icon[1] + icon[3] // 2))
        self.measure("time", f"{time.monotonic() - started:.1f} s", None)

    def measure_glyph(self, icon, bar):
        """The glyph as it stays: a program may recolour it once the tray has
        embedded it, so it is read after the panel has been used."""
        self.s.park_pointer()
        time.sleep(0.3)
        ratio, bar_colour, glyph = glyph_contrast(self.s.grab(), icon, bar)
        self.measure("glyph contrast", f"{ratio:.2f}:1 ({hex_colour(glyph)} on "
                     f"{hex_colour(bar_colour)})", ratio >= MIN_GLYPH_CONTRAST)

    def use(self, icon, bar):
        """Click, look, drop a file on the panel and drag it back out."""
        s, cell = self.s, self.cell
        click = (icon[0] + icon[2] // 2, icon[1] + icon[3] // 2)
        s.click(*click)
        panel = wait_for(s.panel, 10, "the panel to show after a click on the tray item")
        places = cell.places_windows(panel)
        gap = panel.y - (bar[1] + bar[3])
        off = abs(panel.x + panel.w // 2 - click[0])
        self.measure("panel", f"{panel.w}x{panel.h}+{panel.x}+{panel.y}, click at {click}",
                     None)
        self.measure("gap to bar", f"{gap} px", (0 <= gap <= MAX_GAP_TO_BAR) if places else None)
        self.measure("centre to click", f"{off} px",
                     off <= MAX_CENTRE_TO_CLICK if places else None)

        s.park_pointer()
        area = pixels(self.settled(self.empty_area(panel)), self.empty_area(panel))
        spread = max(max(p[c] for p in area) - min(p[c] for p in area) for c in range(3))
        self.measure("backdrop spread over stripes", f"{spread} levels",
                     spread <= MAX_BACKDROP_SPREAD)
        shots = os.environ.get("STASHLET_DESKTOP_SHOTS")
        if shots:
            self.save_shot(shots, panel, icon)

        folder, contents = s.make_files("source", [123_457], suffix=".dat")
        s.drop_from_file_manager(folder, 1, panel)
        name, data = "file1.dat", contents["file1.dat"]
        try:
            wait_for(lambda: s.staged() == [name] and read_bytes(s.staged_path(name)) == data,
                     10, "the dropped file to be staged whole")
            self.measure("drag in", "staged, same bytes", True)
        except Failure as error:
            self.measure("drag in", str(error), False)
            raise
        self.drag_out(panel, name, data)

    def settled(self, rect):
        """The screen once rect is the same in two grabs in a row."""
        last = [None]

        def same():
            image = self.s.grab()
            area = Session.region(image, *rect)
            hit = area == last[0]
            last[0] = area
            return image if hit else None
        return wait_for(same, 10, "the panel's backdrop to stop changing", interval=0.2)

    def save_shot(self, folder, panel, icon):
        os.makedirs(folder, exist_ok=True)
        x0 = max(0, min(panel.x, icon[0]) - 40)
        x1 = min(SCREEN_W, max(panel.x + panel.w, icon[0] + icon[2]) + 40)
        y1 = min(SCREEN_H, panel.y + panel.h + 40)
        path = os.path.abspath(os.path.join(folder, f"{self.cell.name}-{self.scheme}.png"))
        self.s.save_png(path, x0, 0, x1 - x0, y1)
        log("screenshot saved to", path)

    def drag_out(self, panel, name, data):
        s = self.s
        target, _ = s.make_files("target", [])
        win = s.open_folder(target, 0, 420)
        s.park_pointer()
        card = (panel.x + 110, panel.y + 88)
        drop = (win.x + win.w // 2, win.y + win.h // 2)
        delivered = os.path.join(target, name)
        for attempt in (1, 2):
            s.drag(card, drop)
            try:
                wait_for(lambda: os.path.exists(delivered) and read_bytes(delivered) == data,
                         10, "the card's file to reach the folder whole")
                self.measure("drag out", "delivered, same bytes", True)
                return
            except Failure as error:
                if attempt == 2 or os.listdir(target):
                    self.measure("drag out", str(error), False)
                    raise
                log("the drag changed nothing; dragging once more")

    def quit_from_menu(self, click):
        """Opens the tray item's menu and clicks its last item, "Esci"."""
        s = self.s
        s.park_pointer()
        before = s.grab()
        s.click(*click, button=3)
        # The pointer's hover on the bar changes a little; a menu, a lot.
        # Windows farther away repaint as the focus moves to the menu.
        near = (max(0, click[0] - 260), max(0, click[1] - 300))
        near += (min(SCREEN_W, click[0] + 260) - near[0], min(SCREEN_H, click[1] + 300) - near[1])
        menu = wait_for(lambda: (lambda box: box if box and box[2] * box[3] > 2000 else None)(
            changed_box(before, s.grab(), near)), 10, "the tray menu")
        time.sleep(0.3)
        item = last_label(s.grab(), menu)
        log("menu", menu, "last item at", item)
        s.click(*item)
        try:
            s.app.wait(timeout=10)
        except subprocess.TimeoutExpired:
            raise Failure("the program still runs 10 s after Esci in the tray menu")
        self.measure("quit from the menu", f"status {s.app.returncode}", s.app.returncode == 0)
        left = s.staged()
        self.measure("staging after quit", left or "empty", not left)


def on_signal(signum, _frame):
    raise SystemExit(f"stopped by signal {signum}")


def main(argv):
    if len(argv) != 3 or argv[2] not in CELLS:
        print(__doc__ + "\nCells: " + ", ".join(CELLS), file=sys.stderr)
        return 2
    binary, cell_class = argv[1], CELLS[argv[2]]
    missing = [t for t in cell_class.tools if not shutil.which(t)]
    why = f"{', '.join(missing)} missing (scripts/setup installs them)" if missing else None
    if cell_class is SwayCell and os.geteuid() != 0:
        why = "it must run as root, to make the unprivileged user sway runs as"
    if why:
        print(f"SKIP {cell_class.name}: {why}")
        return 1 if os.environ.get("CI") else SKIP
    for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP, signal.SIGALRM):
        signal.signal(sig, on_signal)
    signal.alarm(SELF_TIMEOUT_S)
    failed = []
    try:
        for scheme, bar in RUNS:
            cell = cell_class(binary, bar)
            run = Run(cell, scheme)
            try:
                run.go()
            except Failure as error:
                run.failures.append(str(error))
            except Exception as error:  # noqa: BLE001 - a broken desktop is a failure too
                traceback.print_exc()
                run.failures.append(repr(error))
            finally:
                if run.failures:
                    log("FAIL", cell.name, scheme + ":", "; ".join(run.failures))
                    cell.s.report_failure(f"{cell.name}-{scheme}")
                cell.s.close()
            failed += [f"{scheme}: {f}" for f in run.failures]
    except SystemExit as error:
        failed.append(str(error))
    finally:
        signal.alarm(0)
    if failed:
        log("FAIL", cell_class.name, "; ".join(failed))
        return 1
    log("PASS", cell_class.name)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
