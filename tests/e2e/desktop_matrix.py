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
Exit status 77 when a tool the cell needs is missing (CTest: skipped), unless
CI is set, where a missing tool is a failure.
"""

import collections
import os
import shutil
import signal
import subprocess
import sys
import time
import traceback

from waysession import SwaySession
from xsession import (PANEL_W, SCREEN_H, SCREEN_W, Failure, Session, check, log,
                      read_bytes, wait_for)

SKIP = 77
SELF_TIMEOUT_S = int(os.environ.get("STASHLET_E2E_SELF_TIMEOUT", "100"))

MIN_GLYPH_CONTRAST = 3.0
MAX_BACKDROP_SPREAD = 6
MAX_GAP_TO_BAR = 16
# Half the panel's width and a little: the click lands above the panel.
MAX_CENTRE_TO_CLICK = 170

DARK_BAR, LIGHT_BAR = (0x20, 0x20, 0x20), (0xE8, 0xE8, 0xE8)
# The program's scheme, and the bar it is put under.
RUNS = (("light", DARK_BAR), ("dark", LIGHT_BAR))


def hex_colour(rgb):
    return "#%02x%02x%02x" % rgb


def luminance(rgb):
    def linear(c):
        c /= 255
        return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4
    r, g, b = (linear(c) for c in rgb)
    return 0.2126 * r + 0.7152 * g + 0.0722 * b


def contrast(a, b):
    la, lb = sorted((luminance(a), luminance(b)), reverse=True)
    return (la + 0.05) / (lb + 0.05)


def pixels(image, rect):
    x, y, w, h = rect
    data = Session.region(image, x, y, w, h)
    return [tuple(data[i:i + 3]) for i in range(0, len(data), 3)]


def changed_box(before, after, rect):
    """The bounding box (x, y, w, h) of the pixels that differ inside rect."""
    x0, y0, w, h = rect
    xs, ys = [], []
    for row in range(h):
        a = Session.region(before, x0, y0 + row, w, 1)
        b = Session.region(after, x0, y0 + row, w, 1)
        if a == b:
            continue
        for col in range(w):
            if a[col * 3:col * 3 + 3] != b[col * 3:col * 3 + 3]:
                xs.append(x0 + col)
                ys.append(y0 + row)
    if not xs:
        return None
    return min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1


def glyph_contrast(image, icon, bar):
    """The contrast of the icon's strongest pixel against the bar's own colour."""
    bar_colour = collections.Counter(pixels(image, bar)).most_common(1)[0][0]
    best = max(pixels(image, icon), key=lambda p: contrast(p, bar_colour))
    return contrast(best, bar_colour), bar_colour, best


def stripes_file(folder, w, h):
    """Diagonal black and white stripes 8 px wide, as a PPM for `display`."""
    path = os.path.join(folder, "stripes.ppm")
    period = bytes(255 if (x // 8) % 2 else 0 for x in range(16) for _ in range(3))
    line = period * (w // 16 + 2)
    rows = [line[(y % 16) * 3:(y % 16 + w) * 3] for y in range(h)]
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (w, h) + b"".join(rows))
    return path


def qt_dark_scheme(session):
    """The environment that gives the program a dark palette (qt6ct's darker scheme)."""
    folder = os.path.join(session.home, ".config", "qt6ct")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "qt6ct.conf"), "w") as f:
        f.write("[Appearance]\ncustom_palette=true\n"
                "color_scheme_path=/usr/share/qt6ct/colors/darker.conf\nstyle=Fusion\n")
    return {"QT_QPA_PLATFORMTHEME": "qt6ct"}


# --- the cells ---------------------------------------------------------------

class XembedCell:
    """Xvfb and trayer: no window manager, no compositor, an XEmbed tray."""
    name = "xembed"
    tools = Session.TOOLS + ("display",)

    def __init__(self, binary, bar):
        self.s = Session(binary)
        self.bar = bar

    def start(self):
        s = self.s
        s.start_x()
        s.start_bus()
        self.start_desktop()
        self.stripes = self.open_stripes()

    def start_desktop(self):
        s = self.s
        s.procs["trayer"] = subprocess.Popen(
            ["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width",
             "160", "--height", "24", "--SetDockType", "true", "--transparent", "true",
             "--alpha", "0", "--tint", "0x%02x%02x%02x" % self.bar],
            stdout=s.log_file("trayer"), stderr=subprocess.STDOUT, env=s.env,
            start_new_session=True)
        wait_for(lambda: s.xlib.selection_owner("_NET_SYSTEM_TRAY_S0"), 15,
                 "trayer to own the tray selection")

    def bar_rect(self):
        bars = [w for w in self.s.windows("--class", "^trayer$") if w.viewable]
        check(bars, "no trayer window on screen")
        return bars[0].x, bars[0].y, bars[0].w, bars[0].h

    def open_stripes(self):
        s = self.s
        top = self.bar_rect()[3]
        path = stripes_file(s.files, SCREEN_W, SCREEN_H - top)
        s.procs["stripes"] = subprocess.Popen(
            ["display", "-title", "stripes", "-geometry", f"+0+{top}", path],
            stdout=s.log_file("stripes"), stderr=subprocess.STDOUT, env=s.env,
            start_new_session=True)
        return wait_for(lambda: next((w for w in s.windows("--name", "^stripes$")
                                      if w.viewable and w.w == SCREEN_W), None),
                        15, "the striped window")

    def tray_item(self, before):
        """The tray item's rectangle once it shows and has stopped changing."""
        icon = wait_for(self.s.tray_icon, 20, "the tray icon to appear")
        return icon.x, icon.y, icon.w, icon.h

    def places_windows(self, panel):
        return True


class SniX11Cell(XembedCell):
    """Xvfb, openbox, xcompmgr and xfce4-panel: a compositor without blur, an SNI tray."""
    name = "sni-x11"
    tools = Session.TOOLS + ("openbox", "xcompmgr", "xfce4-panel", "display")

    def start_desktop(self):
        s = self.s
        with open(os.path.join(s.home, "openbox.xml"), "w") as f:
            # Undecorated, so a window put at x,y has its contents there.
            f.write('<openbox_config xmlns="http://openbox.org/3.4/rc"><applications>'
                    '<application class="*"><decor>no</decor></application>'
                    '</applications></openbox_config>\n')
        for name, args in (("openbox", ["openbox", "--config-file",
                                        os.path.join(s.home, "openbox.xml")]),
                           ("xcompmgr", ["xcompmgr"])):
            s.procs[name] = subprocess.Popen(args, stdout=s.log_file(name),
                                             stderr=subprocess.STDOUT, env=s.env,
                                             start_new_session=True)
        wait_for(lambda: s.xlib.selection_owner("_NET_WM_CM_S0"), 10, "xcompmgr to composite")
        folder = os.path.join(s.home, ".config", "xfce4", "xfconf", "xfce-perchannel-xml")
        os.makedirs(folder)
        r, g, b = (c / 255 for c in self.bar)
        with open(os.path.join(folder, "xfce4-panel.xml"), "w") as f:
            f.write(f"""<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="28"/>
      <property name="background-style" type="uint" value="1"/>
      <property name="background-rgba" type="array">
        <value type="double" value="{r}"/><value type="double" value="{g}"/>
        <value type="double" value="{b}"/><value type="double" value="1"/>
      </property>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
        <value type="int" value="2"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="separator">
      <property name="expand" type="bool" value="true"/>
      <property name="style" type="uint" value="0"/>
    </property>
    <property name="plugin-2" type="string" value="systray"/>
  </property>
</channel>
""")
        # The bar's theme matches its colour, as a desktop's theme would.
        dark = self.bar == DARK_BAR
        env = dict(s.env, GTK_THEME="Adwaita:dark" if dark else "Adwaita")
        s.procs["xfce4-panel"] = subprocess.Popen(
            ["xfce4-panel"], stdout=s.log_file("xfce4-panel"), stderr=subprocess.STDOUT, env=env,
            start_new_session=True)
        wait_for(lambda: self.bus_has("org.kde.StatusNotifierWatcher"), 20,
                 "xfce4-panel's StatusNotifierWatcher")
        wait_for(lambda: [w for w in s.windows("--class", "^xfce4-panel$")
                          if w.viewable and w.w == SCREEN_W], 10, "the xfce4-panel bar")

    def bus_has(self, name):
        result = self.s.run(["gdbus", "call", "--session", "--dest", "org.freedesktop.DBus",
                             "--object-path", "/org/freedesktop/DBus", "--method",
                             "org.freedesktop.DBus.NameHasOwner", name])
        return result.returncode == 0 and "true" in result.stdout

    def bar_rect(self):
        bars = [w for w in self.s.windows("--class", "^xfce4-panel$")
                if w.viewable and w.w == SCREEN_W]
        check(bars, "no xfce4-panel bar on screen")
        return bars[0].x, bars[0].y, bars[0].w, bars[0].h

    def tray_item(self, before):
        wait_for(lambda: sni_items(self.s), 20, "an item registered with the watcher")
        return settled_change(self.s, before, self.bar_rect(), "the tray item")


class SwayCell:
    """Headless sway and waybar, Wayland, as an unprivileged user."""
    name = "sway"
    tools = SwaySession.TOOLS

    def __init__(self, binary, bar):
        fg = LIGHT_BAR if bar == DARK_BAR else DARK_BAR
        self.s = SwaySession(binary, f"* {{ font-size: 13px; }}\n"
                                     f"window#waybar {{ background: {hex_colour(bar)}; "
                                     f"color: {hex_colour(fg)}; }}\n")
        self.bar = bar

    def start(self):
        self.s.start()
        self.stripes = self.open_stripes()

    def bar_rect(self):
        return self.s.bar_rect()

    def open_stripes(self):
        # Tiled, it fills the workspace and stays below every floating window.
        s = self.s
        _, top, w, h = s.workspace_rect()
        path = stripes_file(s.files, w, h)
        s.give_to_user(s.files)
        s.spawn("stripes", ["display", "-title", "stripes", path], s.env)
        return wait_for(lambda: next((v for v in s.tree_windows()
                                      if v.name == "stripes" and (v.w, v.h) == (w, h)), None),
                        15, "the striped window")

    def tray_item(self, before):
        wait_for(lambda: sni_items(self.s), 20, "an item registered with the watcher")
        return settled_change(self.s, before, self.bar_rect(), "the tray item")

    def places_windows(self, panel):
        # sway places a native toplevel itself; an X client places its own.
        return panel.shell != "xdg_shell"


def sni_items(s):
    """The watcher's RegisteredStatusNotifierItems: the program shows over SNI, not XEmbed."""
    result = s.run(["gdbus", "call", "--session", "--dest", "org.kde.StatusNotifierWatcher",
                    "--object-path", "/StatusNotifierWatcher", "--method",
                    "org.freedesktop.DBus.Properties.Get", "org.kde.StatusNotifierWatcher",
                    "RegisteredStatusNotifierItems"])
    return result.returncode == 0 and "'" in result.stdout and result.stdout


def settled_change(s, before, rect, what):
    """The box that changed inside rect since `before`, once two grabs agree."""
    last = [None]

    def settled():
        box = changed_box(before, s.grab(), rect)
        same = box is not None and box == last[0]
        last[0] = box
        return box if same else None
    return wait_for(settled, 20, f"{what} to appear", interval=0.3)


CELLS = {c.name: c for c in (XembedCell, SniX11Cell, SwayCell)}


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
        ratio, bar_colour, glyph = glyph_contrast(s.grab(), icon, bar)
        self.measure("glyph contrast", f"{ratio:.2f}:1 ({hex_colour(glyph)} on "
                     f"{hex_colour(bar_colour)})", ratio >= MIN_GLYPH_CONTRAST)

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
        self.quit_from_menu(click)
        self.measure("time", f"{time.monotonic() - started:.1f} s", None)

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
        target = os.path.join(s.files, "target")
        os.mkdir(target)
        if hasattr(s, "give_to_user"):
            s.give_to_user(target)
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


def last_label(image, menu):
    """The centre of the lowest line of text in a menu.

    A row of the menu's left half is text when some but not most of its
    pixels differ from the menu's background: borders, separators and shadows
    cross the whole width.
    """
    x, y, w, h = menu
    columns = (x + 6, max(8, w // 2 - 6))
    background = collections.Counter(pixels(image, (x, y, w, h))).most_common(1)[0][0]
    runs, start = [], None
    for row in range(y + 2, y + h - 2):
        ink = [i for i, p in enumerate(pixels(image, (columns[0], row, columns[1], 1)))
               if sum(abs(a - b) for a, b in zip(p, background)) > 120]
        text = 0 < len(ink) < 0.7 * columns[1]
        if text and start is None:
            start = row
        elif not text and start is not None:
            runs.append((start, row - 1))
            start = None
    # Rounded corners and shadows make thin runs at the edges; a label is taller.
    runs = [(top, bottom) for top, bottom in runs if bottom - top >= 4]
    check(runs, f"no text in the menu at {menu}")
    top, bottom = runs[-1]
    return x + w // 4, (top + bottom) // 2


def on_signal(signum, _frame):
    raise SystemExit(f"stopped by signal {signum}")


def main(argv):
    if len(argv) != 3 or argv[2] not in CELLS:
        print(__doc__ + "\nCells: " + ", ".join(CELLS), file=sys.stderr)
        return 2
    binary, cell_class = argv[1], CELLS[argv[2]]
    missing = [t for t in cell_class.tools if not shutil.which(t)]
    if cell_class is SwayCell and os.geteuid() != 0:
        missing.append("root (to make the unprivileged user sway runs as)")
    if missing:
        print(f"SKIP {cell_class.name}: needs {', '.join(missing)}; scripts/setup installs the tools")
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
