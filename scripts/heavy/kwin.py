# SPDX-License-Identifier: MIT
"""KWin 5.27 in virtual mode on Wayland, with plasmashell's tray."""

import json
import os
import shutil
import subprocess
import time

import dbus

from box import Box
from common import H, W, Image, Skip, log, wait_for
from wayland import FakeInputProxy, Wayland

KWIN_WINDOWS_JS = """
const order = (workspace.stackingOrder || []).map(o => String(o.internalId));
const out = workspace.clientList().map(c => ({title: c.caption, cls: String(c.resourceClass),
    x: c.frameGeometry.x, y: c.frameGeometry.y, w: c.frameGeometry.width,
    h: c.frameGeometry.height, x11: c.windowId > 0, pid: c.pid, shown: !c.minimized,
    dock: c.dock, stack: order.indexOf(String(c.internalId)), focus: workspace.activeClient === c,
    skipTaskbar: c.skipTaskbar, skipSwitcher: c.skipSwitcher, keepAbove: c.keepAbove}));
print("HEAVY-JSON " + JSON.stringify(out));
"""


class Kwin(Box):
    name = "kwin"
    # KWin lets a program place its panel, on Wayland (org_kde_plasma_shell)
    # as through XWayland, and keep it out of the task bar and the switcher.
    places_panel = True

    def start(self):
        if not shutil.which("kwin_wayland"):
            raise Skip("kwin_wayland is not installed")
        self.start_bus()
        display_file = os.path.join(self.run, "display")
        self.env["XDG_CURRENT_DESKTOP"] = "KDE"
        self.env["KDE_SESSION_VERSION"] = "5"
        # kwin_wayland carries a file capability (cap_sys_resource); where the
        # container's bounding set lacks it, exec fails with EPERM. A copy
        # carries no capability and runs the same.
        kwin = os.path.join(self.root, "kwin_wayland")
        shutil.copy(shutil.which("kwin_wayland"), kwin)
        self.spawn("kwin", [
            kwin, "--virtual", "--xwayland", "--width", str(W), "--height", str(H),
            "--socket", "wayland-0", "--no-lockscreen", "--no-global-shortcuts",
            self.tell_display(display_file)], extra={
                # The test drives the pointer through fake input and takes
                # screenshots; both are otherwise kept for trusted programs.
                "KWIN_WAYLAND_NO_PERMISSION_CHECKS": "1",
                "KWIN_SCREENSHOT_NO_PERMISSION_CHECKS": "1",
                "QT_LOGGING_RULES": "kwin_scripting=true",
        })
        wait_for(lambda: os.path.getsize(display_file) > 1, 60, "KWin and its Xwayland to start")
        with open(display_file) as f:
            self.env["DISPLAY"] = f.read().strip()
        self.env["WAYLAND_DISPLAY"] = "wayland-0"
        self.env["XDG_SESSION_TYPE"] = "wayland"
        wait_for(lambda: self.bus.name_has_owner("org.kde.KWin"), 20, "KWin on the session bus")
        self.input = FakeInputProxy(self, os.path.join(self.run, "wayland-0"))
        self.script_no = 0
        self.start_host()
        log("KWin up; X display", self.env["DISPLAY"])

    def tell_display(self, display_file):
        """A program KWin starts once its Xwayland is up, which writes down
        the X display KWin gives its children."""
        path = os.path.join(self.root, "tell-display")
        with open(path, "w") as f:
            f.write(f'#!/bin/sh\necho "$DISPLAY" > {display_file}\nexec sleep 100000\n')
        os.chmod(path, 0o755)
        return path

    def globals(self):
        wl = Wayland(os.path.join(self.run, "wayland-0"))
        try:
            return dict(wl.globals)
        finally:
            wl.close()

    def move(self, x, y):
        self.input.move(x, y)
        time.sleep(0.03)

    def button(self, name, pressed):
        self.input.button(name, pressed)
        time.sleep(0.03)

    def keys(self, *names):
        codes = {"Control_L": 29, "a": 30, "Escape": 1, "Return": 28, "Up": 103}
        for n in names:
            self.input.key(codes[n], True)
        for n in reversed(names):
            self.input.key(codes[n], False)

    def run_script(self, js):
        """Runs a KWin script; returns what it printed after HEAVY-JSON."""
        self.script_no += 1
        name = f"heavy{self.script_no}"
        path = os.path.join(self.root, name + ".js")
        with open(path, "w") as f:
            f.write(js)
        os.chmod(path, 0o644)
        log_path = os.path.join(self.logs, "kwin.log")
        seen = os.path.getsize(log_path)
        scripting = self.bus.get_object("org.kde.KWin", "/Scripting")
        number = scripting.loadScript(path, name, signature="ss",
                                      dbus_interface="org.kde.kwin.Scripting")
        # Plasma 5 puts the script at /N, Plasma 6 at /Scripting/ScriptN.
        for path in (f"/{number}", f"/Scripting/Script{number}"):
            try:
                self.bus.get_object("org.kde.KWin", path, introspect=False).run(
                    dbus_interface="org.kde.kwin.Script")
                break
            except dbus.DBusException:
                continue

        def printed():
            with open(log_path, "rb") as f:
                f.seek(seen)
                for line in f.read().decode(errors="replace").splitlines():
                    if "HEAVY-JSON " in line:
                        return [json.loads(line.split("HEAVY-JSON ", 1)[1].rstrip('"'))]
            return None
        try:
            return wait_for(printed, 10, "the KWin script's answer")[0]
        finally:
            scripting.unloadScript(name, dbus_interface="org.kde.kwin.Scripting")

    def windows(self):
        return self.run_script(KWIN_WINDOWS_JS)

    def raise_window(self, title):
        return self.run_script(f"""const c = workspace.clientList().find(c =>
            c.caption === {json.dumps(title)}); if (c) workspace.activeClient = c;
            print("HEAVY-JSON " + JSON.stringify(!!c));""")

    def move_window(self, title_part, x, y, w, h):
        return self.run_script(f"""const c = workspace.clientList().find(c =>
            c.caption.includes({json.dumps(title_part)}));
            if (c) {{ c.frameGeometry = {{x: {x}, y: {y}, width: {w}, height: {h}}}; }}
            print("HEAVY-JSON " + JSON.stringify(!!c));""")

    def start_host(self):
        """Plasma's tray: plasmashell, with the watcher kded5 serves."""
        if shutil.which("plasmashell") and shutil.which("kded5"):
            # plasmashell gives up at once if the activity manager is not
            # already running; bus activation comes too late for it.
            self.spawn("kactivitymanagerd", ["/usr/lib/x86_64-linux-gnu/libexec/kactivitymanagerd"])
            wait_for(lambda: self.bus.name_has_owner("org.kde.ActivityManager"), 20,
                     "the activity manager")
            # In Plasma 5 the watcher is kded5's statusnotifierwatcher module,
            # not plasmashell's.
            self.spawn("kded5", ["kded5"])
            wait_for(lambda: self.bus.name_has_owner("org.kde.kded5"), 20, "kded5")
            # Outside a Plasma session nothing asks kded to load it.
            self.bus.get_object("org.kde.kded5", "/kded").loadModule(
                "statusnotifierwatcher", dbus_interface="org.kde.kded5")
            self.spawn("plasmashell", ["plasmashell", "--no-respawn"])
            self.host = "plasmashell"
        else:
            raise Skip("no Plasma tray: plasma-workspace (plasmashell, kded5) is not installed")
        wait_for(lambda: self.bus.name_has_owner("org.kde.StatusNotifierWatcher"), 60,
                 f"{self.host} to provide the StatusNotifierWatcher")
        wait_for(lambda: self.window(lambda w: w.get("dock")), 60, f"{self.host}'s panel")
        time.sleep(3)
        log("tray host", self.host)

    def window(self, pred):
        return next((w for w in self.windows() if pred(w)), None)

    def bar(self):
        dock = self.window(lambda w: w.get("dock"))
        return {k: dock[k] for k in ("x", "y", "w", "h")} if dock else None

    def tray_icon(self, bare):
        """The icon is what changed on the bar since the program started."""
        bar = self.bar()
        now = Image(self.screenshot("tray"))
        changed = [(x, y) for y in range(bar["y"], bar["y"] + bar["h"])
                   for x in range(bar["x"], bar["x"] + bar["w"])
                   if bare.at(x, y) != now.at(x, y)]
        if not changed:
            return None
        # The new icon is the leftmost run of changed columns; the tray may
        # also redraw its neighbours.
        columns = sorted({p[0] for p in changed})
        end = columns[0]
        for c in columns[1:]:
            if c - end > 3:
                break
            end = c
        mine = [p for p in changed if p[0] <= end]
        xs, ys = [p[0] for p in mine], [p[1] for p in mine]
        if max(xs) - min(xs) > 48:
            return None  # more than an icon changed: the bar is still redrawing
        return {"x": min(xs), "y": min(ys), "w": max(xs) - min(xs) + 1, "h": max(ys) - min(ys) + 1}

    def after_left_click(self, run, point):
        return "no panel; host calls: " + (", ".join(self.calls()) or "none"), None

    def open_panel_otherwise(self, run, icon):
        return None

    def quit_from_menu(self, run, icon):
        run.click(icon["x"] + icon["w"] // 2, icon["y"] + icon["h"] // 2, "right")
        time.sleep(1.5)
        run.shot("menu")
        # The host's menu is its own popup: the last item is Esci.
        self.keys("Up")
        time.sleep(0.3)
        self.keys("Return")
        return "right click, then Up and Return in the host's menu"

    def screenshot(self, what):
        read_fd, write_fd = os.pipe()
        shot = self.bus.get_object("org.kde.KWin", "/org/kde/KWin/ScreenShot2")
        meta = shot.CaptureActiveScreen({"include-cursor": False, "native-resolution": True},
                                        dbus.types.UnixFd(write_fd),
                                        dbus_interface="org.kde.KWin.ScreenShot2", timeout=20)
        os.close(write_fd)
        data = b""
        with os.fdopen(read_fd, "rb") as f:
            data = f.read()
        w, h, stride = int(meta["width"]), int(meta["height"]), int(meta["stride"])
        fmt = int(meta["format"])
        rows = [data[y * stride:y * stride + w * 4] for y in range(h)]
        raw = os.path.join(self.root, "shot.rgba")
        with open(raw, "wb") as f:
            f.write(b"".join(rows))
        # QImage's ARGB32 kinds lie in memory as B, G, R, A on this machine.
        order = "bgra" if fmt in (4, 5, 6) else "rgba"
        path = self.shot_path(what)
        subprocess.run(["/usr/bin/convert", "-size", f"{w}x{h}", "-depth", "8",
                        f"{order}:{raw}", "-alpha", "off", path], check=True)
        return path


class KwinDark(Kwin):
    """The same with Breeze Dark, Plasma's dark panel, for the glyph's sake."""

    name = "kwin-dark"

    def start_host(self):
        super().start_host()
        for tool, theme in (("plasma-apply-colorscheme", "BreezeDark"),
                            ("plasma-apply-desktoptheme", "breeze-dark")):
            result = self.as_user([tool, theme])
            if result.returncode != 0:
                raise Skip(f"{tool} {theme} failed: {result.stderr.strip()}")
        time.sleep(3)
