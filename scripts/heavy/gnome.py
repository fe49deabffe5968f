# SPDX-License-Identifier: MIT
"""GNOME Shell 43, headless on Wayland, with the AppIndicator extension."""

import json
import os
import shutil
import subprocess
import time

from box import Box
from common import H, W, Failure, Skip, log, wait_for

GNOME_EXTENSION = "ubuntu-appindicators@ubuntu.com"

GNOME_PRELUDE = """
const Clutter = imports.gi.Clutter; const GLib = imports.gi.GLib; const Meta = imports.gi.Meta;
const Main = imports.ui.main;
"""


class Gnome(Box):
    name = "gnome"

    def start(self):
        if not shutil.which("gnome-shell"):
            raise Skip("gnome-shell is not installed")
        if not os.path.isdir(f"/usr/share/gnome-shell/extensions/{GNOME_EXTENSION}"):
            raise Skip("gnome-shell-extension-appindicator is not installed")
        if subprocess.run(["dbus-send", "--system", "--print-reply", "--dest=org.freedesktop.DBus",
                           "/org/freedesktop/DBus", "org.freedesktop.DBus.GetId"],
                          capture_output=True).returncode != 0:
            # The shell will not start without a system bus (a socket whose
            # daemon died counts as none); one started here stays for whoever
            # comes next.
            os.makedirs("/run/dbus", exist_ok=True)
            for stale in ("/run/dbus/system_bus_socket", "/run/dbus/pid"):
                if os.path.exists(stale):
                    os.remove(stale)
            subprocess.run(["dbus-daemon", "--system", "--fork"], check=True)
        self.start_bus()
        for schema, key, value in (
                ("org.gnome.shell", "enabled-extensions", f"['{GNOME_EXTENSION}']"),
                ("org.gnome.shell", "disable-user-extensions", "false"),
                ("org.gnome.desktop.interface", "enable-animations", "false")):
            result = self.as_user(["gsettings", "set", schema, key, value])
            if result.returncode != 0:
                raise Failure(f"gsettings {key}: {result.stderr}")
        # No logind here: inside a mount namespace where /run/systemd is empty
        # the shell falls back to its own stand-in, and nothing outside changes.
        self.spawn("gnome-shell", [
            "unshare", "-m", "--propagation", "private", "sh", "-c",
            'mount -t tmpfs none /run/systemd && exec "$@"', "sh",
            "setpriv", f"--reuid={self.uid}", f"--regid={self.gid}", "--clear-groups",
            "gnome-shell", "--headless", "--wayland", "--virtual-monitor", f"{W}x{H}",
            "--unsafe-mode"], root=True)
        wait_for(lambda: self.eval("!Main.layoutManager._startingUp") is True, 90,
                 "GNOME Shell to start")
        self.eval("Main.overview.hide(); true")
        wait_for(lambda: self.eval("!Main.overview.visible") is True, 10, "the overview to close")
        self.env["WAYLAND_DISPLAY"] = "wayland-0"
        self.env["XDG_SESSION_TYPE"] = "wayland"
        self.env["XDG_CURRENT_DESKTOP"] = "GNOME"
        display = self.eval("GLib.getenv('DISPLAY')")
        if display:
            self.env["DISPLAY"] = display
            self.env["XAUTHORITY"] = self.eval("GLib.getenv('XAUTHORITY')")
        wait_for(lambda: self.bus.name_has_owner("org.kde.StatusNotifierWatcher"), 20,
                 "the AppIndicator extension's watcher")
        log("GNOME Shell up; X display", display)

    def eval(self, js):
        shell = self.bus.get_object("org.gnome.Shell", "/org/gnome/Shell")
        ok, out = shell.Eval(GNOME_PRELUDE + js, dbus_interface="org.gnome.Shell", timeout=20)
        if not ok:
            raise Failure(f"Eval failed: {out}")
        return json.loads(out) if out else None

    def screenshot(self, what):
        inner = os.path.join(self.run, "shot.png")
        shot = self.bus.get_object("org.gnome.Shell", "/org/gnome/Shell/Screenshot")
        ok, _ = shot.Screenshot(False, False, inner, dbus_interface="org.gnome.Shell.Screenshot")
        if not ok:
            raise Failure("GNOME Shell took no screenshot")
        path = self.shot_path(what)
        shutil.copyfile(inner, path)
        return path

    def _device(self, kind):
        return (f"(global._heavy_{kind} = global._heavy_{kind} || Clutter.get_default_backend()"
                f".get_default_seat().create_virtual_device(Clutter.InputDeviceType.{kind}))")

    def move(self, x, y):
        self.eval(f"{self._device('POINTER_DEVICE')}.notify_absolute_motion("
                  f"GLib.get_monotonic_time(), {x}, {y}); true")
        time.sleep(0.03)

    def button(self, name, pressed):
        which = {"left": "BUTTON_PRIMARY", "right": "BUTTON_SECONDARY"}[name]
        state = "PRESSED" if pressed else "RELEASED"
        self.eval(f"{self._device('POINTER_DEVICE')}.notify_button(GLib.get_monotonic_time(), "
                  f"Clutter.{which}, Clutter.ButtonState.{state}); true")
        time.sleep(0.03)

    def keys(self, *names):
        """Presses the named keys in order, then lets them go in reverse."""
        dev = self._device("KEYBOARD_DEVICE")
        for n in names:
            self.eval(f"{dev}.notify_keyval(GLib.get_monotonic_time(), Clutter.KEY_{n}, "
                      "Clutter.KeyState.PRESSED); true")
        for n in reversed(names):
            self.eval(f"{dev}.notify_keyval(GLib.get_monotonic_time(), Clutter.KEY_{n}, "
                      "Clutter.KeyState.RELEASED); true")

    def windows(self):
        return self.eval("""(() => { const d = global.display;
            const order = d.sort_windows_by_stacking(global.get_window_actors().map(a => a.meta_window));
            const tabs = d.get_tab_list(Meta.TabList.NORMAL,
                                        global.workspace_manager.get_active_workspace());
            return global.get_window_actors().map(a => { const w = a.meta_window;
            const r = w.get_frame_rect();
            return {title: w.get_title(), cls: w.get_wm_class(), x: r.x, y: r.y, w: r.width,
                    h: r.height, x11: w.get_client_type() === Meta.WindowClientType.X11,
                    pid: w.get_pid(), shown: a.visible && !w.minimized,
                    stack: order.indexOf(w), focus: d.focus_window === w,
                    skipTaskbar: w.is_skip_taskbar(), skipSwitcher: !tabs.includes(w),
                    keepAbove: w.is_above()}; }); })()""")

    def raise_window(self, title):
        return self.eval(f"""(() => {{ const a = global.get_window_actors().find(a =>
            a.meta_window.get_title() === {json.dumps(title)}); if (!a) return false;
            Main.activateWindow(a.meta_window); return true; }})()""")

    def move_window(self, title_part, x, y, w, h):
        return self.eval(f"""(() => {{ const a = global.get_window_actors().find(a =>
            (a.meta_window.get_title() || '').includes({json.dumps(title_part)}));
            if (!a) return false; const w = a.meta_window; w.unmaximize(Meta.MaximizeFlags.BOTH);
            w.move_resize_frame(true, {x}, {y}, {w}, {h}); return true; }})()""")

    def tray_icons(self):
        """The AppIndicator extension's buttons on the top bar, where they are."""
        return self.eval("""Object.entries(Main.panel.statusArea).filter(([k, v]) =>
            k.startsWith('appindicator-')).map(([k, v]) => {
            const [x, y] = v.get_transformed_position(); const [w, h] = v.get_transformed_size();
            return {key: k, x: Math.round(x), y: Math.round(y), w: Math.round(w),
                    h: Math.round(h), shown: v.visible}; })""")

    def bar(self):
        return self.eval("""(() => { const p = Main.panel; const [x, y] = p.get_transformed_position();
            const [w, h] = p.get_transformed_size(); return {x: x, y: y, w: w, h: h}; })()""")

    def tray_icon(self, _bare):
        icons = [i for i in self.tray_icons() if i["shown"] and i["w"] > 0]
        if not icons:
            return None
        self.key = icons[-1]["key"]
        return icons[-1]

    def menu_items(self):
        return self.eval(f"""(() => {{ const b = Main.panel.statusArea[{json.dumps(self.key)}];
            return {{open: b.menu.isOpen, items: b.menu._getMenuItems().map(i => {{
                const [x, y] = i.get_transformed_position(); const [w, h] = i.get_transformed_size();
                return {{label: i.label ? i.label.text : '', x: Math.round(x), y: Math.round(y),
                         w: Math.round(w), h: Math.round(h)}}; }})}}; }})()""")

    def after_left_click(self, run, point):
        menu = self.menu_items()
        what = ("opened the shell's menu: " + ", ".join(i["label"] for i in menu["items"])
                if menu["open"] else "did nothing visible")
        what += "; host calls: " + (", ".join(self.calls()) or "none")
        if menu["open"]:
            self.eval(f"Main.panel.statusArea[{json.dumps(self.key)}].menu.close(); true")
        time.sleep(1.0)
        run.double_click(*point)
        time.sleep(1.5)
        panel = run.panel()
        what += ("; a double click then called " + (", ".join(self.calls()) or "nothing")
                 + (" and opened the panel" if panel else " and opened no panel"))
        menu = self.menu_items()
        if menu["open"]:
            what += " (and the menu is open)"
            self.eval(f"Main.panel.statusArea[{json.dumps(self.key)}].menu.close(); true")
        return what, panel

    def click_menu_item(self, run, label):
        menu = self.menu_items()
        item = next((i for i in menu["items"] if i["label"] == label), None)
        if not menu["open"] or item is None:
            return False
        run.click(item["x"] + item["w"] // 2, item["y"] + item["h"] // 2)
        return True

    def open_panel_otherwise(self, run, icon):
        if not self.click_menu_item(run, "Mostra pannello"):
            return None
        try:
            panel = wait_for(run.panel, 5, "the panel after the menu's item")
            run.note("opened through", "the menu item Mostra pannello")
            return panel
        except Failure:
            return None

    def quit_from_menu(self, run, icon):
        run.click(icon["x"] + icon["w"] // 2, icon["y"] + icon["h"] // 2, "right")
        time.sleep(1.0)
        if self.click_menu_item(run, "Esci"):
            return "right click opened the shell's menu; chose Esci"
        return "right click showed no menu with Esci"
