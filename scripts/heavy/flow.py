# SPDX-License-Identifier: MIT
"""The flow every desktop gets, and the compositor facts probed beside it."""

import os
import shutil
import signal
import time

from common import (H, PANEL_H, PANEL_W, W, Failure, Image, glyph_contrast, grey, log,
                    wait_for)
from wayland import Wayland

STRIPES = r"""
import gi
gi.require_version("Gdk", "3.0")
gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, Gtk
css = Gtk.CssProvider()
css.load_from_data(b"window { background-image: repeating-linear-gradient(90deg, black 0px, "
                   b"black 8px, white 8px, white 16px); }")
Gtk.StyleContext.add_provider_for_screen(Gdk.Screen.get_default(), css, 800)
w = Gtk.Window(title="heavy-stripes")
w.set_default_size(1200, 700); w.maximize(); w.show_all()
w.connect("destroy", Gtk.main_quit); Gtk.main()
"""


class Run:
    """One desktop, one way of running the program (native Wayland or XWayland)."""

    def __init__(self, desk, platform):
        self.d, self.platform = desk, platform
        # "wayland+x11-thunar": the program on Wayland, the file manager
        # through XWayland, to see drags cross between the two.
        self.qpa, _, fm = platform.partition("+")
        self.fm_backend = "x11" if fm == "x11-thunar" else "wayland"
        self.r = {"desktop": desk.name, "platform": platform}
        self.app = None

    def note(self, key, value):
        self.r[key] = value
        log(f"{self.d.name}/{self.platform}: {key} = {value}")

    def fail(self, what):
        self.r.setdefault("FAILED", []).append(what)
        log(f"{self.d.name}/{self.platform}: FAILED {what}")

    def settle(self, seconds=0.6):
        time.sleep(seconds)

    def click(self, x, y, button="left"):
        self.d.move(x - 3, y - 2)
        self.d.move(x, y)
        time.sleep(0.15)
        self.d.button(button, True)
        time.sleep(0.08)
        self.d.button(button, False)

    def double_click(self, x, y):
        self.d.move(x, y)
        time.sleep(0.15)
        for _ in range(2):
            self.d.button("left", True)
            self.d.button("left", False)

    def drag(self, start, end, steps=20):
        sx, sy = start
        ex, ey = end
        self.d.move(sx, sy)
        time.sleep(0.2)
        self.d.button("left", True)
        time.sleep(0.15)
        for i in range(1, 6):
            self.d.move(sx + 3 * i, sy + 2 * i)
            time.sleep(0.04)
        for i in range(1, steps + 1):
            self.d.move(round(sx + (ex - sx) * i / steps), round(sy + (ey - sy) * i / steps))
            time.sleep(0.05)
        for dx, dy in ((2, 1), (-1, 2), (0, 0)):
            time.sleep(0.1)
            self.d.move(ex + dx, ey + dy)
        time.sleep(0.4)
        self.d.button("left", False)

    def window(self, pred):
        return next((w for w in self.d.windows() if w.get("shown") and pred(w)), None)

    def panel(self):
        """The panel as drawn: its window may carry an even margin around it
        for a shadow, which is taken off here."""
        w = self.window(lambda w: w["title"] == "QEL Stashlet" and w["w"] >= PANEL_W
                        and w["w"] - PANEL_W == w["h"] - PANEL_H and w["w"] - PANEL_W <= 60)
        if w is None:
            return None
        margin = (w["w"] - PANEL_W) // 2
        return dict(w, x=w["x"] + margin, y=w["y"] + margin, w=PANEL_W, h=PANEL_H,
                    shadow_margin=margin)

    def start_app(self):
        extra = {"QT_QPA_PLATFORM": self.qpa}
        self.d.start_monitor()
        self.app = self.d.spawn(f"app-{self.platform}", [self.d.program], extra=extra)
        wait_for(lambda: self.d.sni_items(), 20,
                 "the program's StatusNotifierItem to register")
        item = self.d.sni_items()[-1]
        props = self.d.sni_properties(item)
        self.item = item
        pixmaps = props.get("IconPixmap") or []
        self.note("sni", {"item": item, "IconName": str(props.get("IconName", "")),
                          "IconThemePath": str(props.get("IconThemePath", "")),
                          "pixmaps": sorted({(int(p[0]), int(p[1])) for p in pixmaps}),
                          "Menu": str(props.get("Menu", "")),
                          "ItemIsMenu": bool(props.get("ItemIsMenu", False))})

    def settled_screen(self, timeout=20):
        """The screen once two shots a second apart agree: a shell still
        painting its bar would pass its own changes off as the tray icon."""
        previous = [None]

        def same():
            self.settle(1.0)
            now = Image(self.shot("before"))
            if previous[0] is not None and now.px == previous[0].px:
                return now
            previous[0] = now
            return None
        try:
            return wait_for(same, timeout, "the screen to settle", interval=0)
        except Failure:
            return previous[0]

    def shot(self, what):
        path = self.d.screenshot(f"{self.platform}-{what}")
        log("screenshot", path)
        return path

    def go(self):
        d = self.d
        d.spawn("stripes", ["/usr/bin/python3", "-c", STRIPES], extra={"GDK_BACKEND": "wayland"})
        wait_for(lambda: self.window(lambda w: w["title"] == "heavy-stripes"), 20,
                 "the striped window")
        bare = self.settled_screen()
        self.start_app()
        self.settle(1.5)
        bar = d.bar()
        icon = wait_for(lambda: d.tray_icon(bare), 20, "the tray icon on the bar")
        self.note("bar", bar)
        self.note("icon", icon)
        cx, cy = icon["x"] + icon["w"] // 2, icon["y"] + icon["h"] // 2
        d.move(W // 2, H - 10)
        self.settle(0.8)
        resting = Image(self.shot("icon"))
        bar_colour, glyph, ratio = glyph_contrast(resting, cx - 11, cy - 11, 22, 22)
        self.note("glyph contrast", f"{ratio:.2f}:1 (glyph {glyph} on bar {bar_colour})")
        self.click(cx, cy)
        panel = None
        try:
            panel = wait_for(self.panel, 4, "the panel after a left click")
            self.note("left click", "opened the panel")
        except Failure:
            what, panel = d.after_left_click(self, (cx, cy))
            self.note("left click", what)
            if panel is None:
                panel = d.open_panel_otherwise(self, icon)
        if panel is not None:
            self.note("host calls", ", ".join(d.calls()) or "none")
            self.settle(1.0)
            self.shot("as-opened")
            panel = self.panel() or panel
            above = [w["title"] for w in d.windows() if w.get("shown")
                     and w.get("stack", -1) > panel.get("stack", 0) and w["title"] != panel["title"]
                     and w["x"] < panel["x"] + panel["w"] and panel["x"] < w["x"] + w["w"]
                     and w["y"] < panel["y"] + panel["h"] and panel["y"] < w["y"] + w["h"]]
            if above:
                self.note("panel hidden", f"stacked below {above}; raised for the checks that follow")
                d.raise_window(panel["title"])
                self.settle(1.0)
        opened = Image(self.shot("open"))
        if panel is None:
            self.note("panel", "never opened")
            return self.r
        self.note("panel", panel)
        # Below a bar at the top, above one at the bottom.
        gap = (panel["y"] - bar["y"] - bar["h"] if bar["y"] < H // 2
               else bar["y"] - panel["y"] - panel["h"])
        off = abs(panel["x"] + panel["w"] // 2 - cx)
        placed = 0 <= gap <= 16 and off <= 170
        self.note("placement", {
            "click": (cx, cy), "panel top-left": (panel["x"], panel["y"]),
            "gap to bar": gap, "centre from click": off,
            "within 16 px of bar and 170 px of click": placed})
        lists = {k: panel.get(k) for k in ("skipTaskbar", "skipSwitcher", "keepAbove")}
        self.note("task lists", lists)
        if getattr(d, "places_panel", False):
            # A tray's panel opens at the icon and stays out of the task
            # bar and the switcher, where the desktop allows both.
            if not placed:
                self.fail(f"panel at {panel['x']},{panel['y']}: {gap} px from the bar, "
                          f"centre {off} px from the click {cx},{cy}")
            if lists["skipTaskbar"] is not True or lists["skipSwitcher"] is not True:
                self.fail(f"panel in the task lists: {lists}")
        area = [grey(p) for p in opened.box(panel["x"] + 24, panel["y"] + 70, PANEL_W - 48, 40)]
        self.note("backdrop variation over stripes", max(area) - min(area))
        if getattr(d, "places_panel", False):
            # The user clicks another window, as when starting a drag from the
            # file manager: the panel stays above it, its backdrop plain.
            d.raise_window("heavy-stripes")
            self.settle(1.0)
            area = [grey(p) for p in Image(self.shot("stripes-active")).box(
                panel["x"] + 24, panel["y"] + 70, PANEL_W - 48, 40)]
            self.note("backdrop with the striped window active", max(area) - min(area))
            if max(area) - min(area) > 40:
                self.fail("panel below the window the user activated")
            # Closed and opened again it comes back to the same place: Qt
            # gives the window a new surface each time it shows.
            self.click(cx, cy)
            wait_for(lambda: self.panel() is None, 6, "the panel to close on a second click")
            self.click(cx, cy)
            again = wait_for(self.panel, 6, "the panel to open on a third click")
            self.note("opened again at", (again["x"], again["y"]))
            if (again["x"], again["y"]) != (panel["x"], panel["y"]):
                self.fail(f"opened again at {again['x']},{again['y']}, "
                          f"first at {panel['x']},{panel['y']}")
        self.drag_in_and_out(panel)
        self.quit(icon)
        return self.r

    def beside(self, panel):
        """Where file manager windows go, and how wide: the side the panel leaves freer."""
        left, right = panel["x"], W - panel["x"] - panel["w"]
        width = min(560, max(left, right) - 30)
        return (10 if left >= right else panel["x"] + panel["w"] + 20), width

    def thunar(self, folder, side, y):
        x, width = side
        title = os.path.basename(folder)
        extra = {"GDK_BACKEND": self.fm_backend}
        self.d.spawn(f"thunar-{title}", ["thunar", folder], extra=extra)
        wait_for(lambda: self.window(lambda w: title in (w["title"] or "")), 20,
                 f"a Thunar window on {title}")
        self.d.move_window(title, x, y, width, 320)
        self.settle(1.0)
        return wait_for(lambda: self.window(lambda w: title in (w["title"] or "")), 5, "Thunar")

    def drag_twice(self, start, end, state, done):
        """A drag, and once more if the first changed nothing at all (a drag
        that never started is the harness's miss, not the program's)."""
        before = state()
        self.tries = ""
        for attempt in (1, 2):
            self.drag(start, end)
            try:
                return wait_for(done, 10, "the dropped file with the same bytes")
            except Failure:
                if attempt == 2 or state() != before:
                    raise
                self.tries = " (on the second try)"
                log("the drag changed nothing; once more, slower")
                self.d.move(W // 2, H - 10)
                time.sleep(1)

    @staticmethod
    def changed(before, after, win):
        return [(x, y) for y in range(win["y"] + 40, win["y"] + win["h"])
                for x in range(win["x"], win["x"] + win["w"], 2)
                if 0 <= x < W and 0 <= y < H and before.at(x, y) != after.at(x, y)]

    def drag_in_and_out(self, panel):
        d = self.d
        if not shutil.which("thunar"):
            self.note("drag", "skipped: Thunar is not installed")
            return
        source = os.path.join(d.files, "heavy-source")
        target = os.path.join(d.files, "heavy-target")
        for folder in (source, target):
            os.mkdir(folder)
            os.chown(folder, d.uid, d.gid)
        data = os.urandom(120_000)
        with open(os.path.join(source, "heavy.dat"), "wb") as f:
            f.write(data)
        os.chmod(os.path.join(source, "heavy.dat"), 0o644)
        win = self.thunar(source, self.beside(panel), 60)
        self.note("thunar source window", win)
        # Select the file with the keyboard and find it by what the
        # selection changes on screen; a loaded machine may need a second go.
        changed = []
        for _ in range(3):
            self.click(win["x"] + win["w"] - 60, win["y"] + win["h"] - 60)
            self.settle(1.2)
            before = Image(d.screenshot(f"{self.platform}-thunar"))
            d.keys("Control_L", "a")
            if self.fm_backend == "x11":
                # The compositor's virtual keyboard may not reach an X11
                # client (GNOME's did not); XTEST inside Xwayland does.
                d.as_user(["xdotool", "key", "ctrl+a"])
            self.settle(1.2)
            after = Image(d.screenshot(f"{self.platform}-thunar"))
            changed = self.changed(before, after, win)
            if changed:
                break
        if not changed:
            self.note("drag in", "skipped: could not find the selected file in Thunar")
            return
        xs, ys = sorted(p[0] for p in changed), sorted(p[1] for p in changed)
        start = (xs[len(xs) // 2], ys[len(ys) // 2])
        drop = (panel["x"] + PANEL_W // 2, panel["y"] + PANEL_H // 2)
        try:
            self.drag_twice(start, drop, lambda: d.staged(), lambda: d.staged() == ["heavy.dat"]
                            and open(os.path.join(d.staging, "heavy.dat"), "rb").read() == data)
            self.note("drag in", f"worked, same bytes{self.tries}")
        except Failure as error:
            self.note("drag in", f"FAILED: {error}; staged {d.staged()}")
            self.shot("drag-in-failed")
            return
        self.settle(1.0)
        self.shot("with-card")
        twin = self.thunar(target, self.beside(panel), 440)
        card = (panel["x"] + 80, panel["y"] + 80)
        out = os.path.join(target, "heavy.dat")
        try:
            self.drag_twice(card, (twin["x"] + twin["w"] // 2, twin["y"] + twin["h"] // 2 + 30),
                            lambda: os.listdir(target),
                            lambda: os.path.exists(out) and open(out, "rb").read() == data)
            self.note("drag out", f"worked, same bytes{self.tries}")
        except Failure as error:
            self.note("drag out", f"FAILED: {error}; target has {os.listdir(target)}")
            self.shot("drag-out-failed")

    def quit(self, icon):
        d = self.d
        how = d.quit_from_menu(self, icon)
        self.note("quit", how)
        try:
            wait_for(lambda: self.app.poll() is not None, 10, "the program to end")
        except Failure:
            self.note("quit", f"{how}; the program did not end")
            return
        self.note("staging empty after quit", d.staged() == [])


# --- what the compositor offers, probed without the program --------------

PROBE_WINDOW = r"""
import sys, gi
gi.require_version("Gtk", "3.0")
from gi.repository import Gtk, Gdk
w = Gtk.Window(title=sys.argv[1])
w.set_decorated(False)
w.set_type_hint(Gdk.WindowTypeHint.UTILITY)
w.set_keep_above(True)
w.set_default_size(320, 420)
w.move(900, 40)
w.show_all()
Gtk.main()
"""


def probe(desk):
    """Facts the Wayland decision rests on: the compositor's globals, its X11
    blur hint, and where a frameless utility window asked to be at 900,40 lands."""
    facts = {}
    try:
        wl = Wayland(os.path.join(desk.run, desk.env.get("WAYLAND_DISPLAY", "wayland-0")))
        names = sorted(wl.globals)
        wl.close()
        facts["blur global"] = "org_kde_kwin_blur_manager" in names
        facts["layer shell"] = "zwlr_layer_shell_v1" in names
        facts["fake input"] = "org_kde_kwin_fake_input" in names
        facts["globals"] = " ".join(names)
    except OSError as error:
        facts["globals"] = f"unreadable: {error}"
    if desk.name == "kwin":
        effects = desk.bus.get_object("org.kde.KWin", "/Effects")
        facts["blur effect supported"] = bool(effects.isEffectSupported(
            "blur", dbus_interface="org.kde.kwin.Effects"))
        facts["blur effect loaded"] = bool(effects.isEffectLoaded(
            "blur", dbus_interface="org.kde.kwin.Effects"))
        if not facts["blur effect loaded"] and facts["blur effect supported"]:
            # A Plasma session loads it from its configuration; this bare
            # session has none, so it is loaded here to see what it offers.
            effects.loadEffect("blur", dbus_interface="org.kde.kwin.Effects")
            time.sleep(1)
            wl = Wayland(os.path.join(desk.run, "wayland-0"))
            facts["blur global once the effect is loaded"] = "org_kde_kwin_blur_manager" in wl.globals
            wl.close()
    supported = desk.as_user(["xprop", "-root", "_NET_SUPPORTED"]).stdout
    facts["X11 _NET_SUPPORTED lists _KDE_NET_WM_BLUR_BEHIND_REGION"] = \
        "_KDE_NET_WM_BLUR_BEHIND_REGION" in supported
    root = desk.as_user(["xprop", "-root"]).stdout
    facts["X11 root mentions _KDE_NET_WM_BLUR_BEHIND_REGION"] = [
        line.strip()[:120] for line in root.splitlines() if "BLUR" in line.upper()]
    for backend in ("wayland", "x11"):
        title = f"heavy-probe-{backend}"
        proc = desk.spawn(title, ["/usr/bin/python3", "-c", PROBE_WINDOW, title],
                          extra={"GDK_BACKEND": backend})
        try:
            w = wait_for(lambda: next((w for w in desk.windows()
                                       if w["title"] == title and w["w"] > 0), None),
                         15, f"the {backend} probe window")
            time.sleep(1)
            w = next(w for w in desk.windows() if w["title"] == title)
            facts[f"utility window asked at 900,40 ({backend})"] = (w["x"], w["y"], w["w"], w["h"])
        except Failure as error:
            facts[f"utility window ({backend})"] = str(error)
        os.killpg(proc.pid, signal.SIGTERM)
    for k, v in facts.items():
        log(f"{desk.name} probe: {k} = {v}")
    return facts
