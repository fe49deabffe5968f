# SPDX-License-Identifier: MIT
"""The X session's flow on headless sway, with waybar's SNI tray, Thunar, grim and swaymsg,
as a user made for the tests, since sway refuses root. A headless seat has no pointer:
wayvnc gives it one and a keyboard, driven through a few RFB messages."""

import collections
import glob
import json
import os
import pwd
import socket
import struct
import subprocess
import time

from pixels import changed_columns, painted
from xsession import (DARK_BAR, PANEL_H, PANEL_W, SCREEN_H, SCREEN_W, Session, Window, check,
                      wait_for, xfconf)

USER = "stashlet-desktop"


def rfb_input(path):
    """A socket to an RFB 3.8 server, past its handshake, for input only: no frame is
    ever asked for."""
    sock = socket.socket(socket.AF_UNIX)
    sock.settimeout(10)
    sock.connect(path)
    reply = sock.makefile("rb").read
    check(reply(12).startswith(b"RFB 003."), "wayvnc did not greet as an RFB server")
    sock.sendall(b"RFB 003.008\n")
    check(1 in reply(reply(1)[0]), "wayvnc offers no security type None")
    sock.sendall(b"\x01")
    check(reply(4) == b"\0\0\0\0", "RFB security handshake refused")
    sock.sendall(b"\x01")  # shared
    reply(struct.unpack(">20xI", reply(24))[0])
    return sock


class SwaySession(Session):
    TOOLS = ("sway", "swaymsg", "waybar", "wayvnc", "grim", "thunar", "Xwayland", "setpriv",
             "useradd", "dbus-daemon", "gdbus", "display")
    BAR, tray_item, icon_on_tray = "waybar", Session.sni_tray_item, Session.sni_registered
    tray_up = Session.sni_watcher

    def __init__(self, binary, within=None, bar=DARK_BAR, name="e2e"):
        made = subprocess.run(["useradd", "--system", "--no-create-home", "--shell",
                               "/usr/sbin/nologin", USER], capture_output=True, text=True)
        check(made.returncode in (0, 9), f"useradd: {made.stderr}")  # 9: it exists
        self.user, self.rfb, self.pointer, self.buttons = pwd.getpwnam(USER), None, (0, 0), 0
        self.as_user = ["setpriv", f"--reuid={self.user.pw_uid}",
                        f"--regid={self.user.pw_gid}", "--init-groups", "--"]
        super().__init__(binary, within, bar, name)
        del self.env["QT_QPA_PLATFORM"]
        # sway draws no client decorations; its users turn Qt's off, which also keeps
        # Qt from loading Mesa's EGL driver just to draw them.
        self.env.update(USER=USER, LOGNAME=USER, XDG_SESSION_TYPE="wayland",
                        XDG_CURRENT_DESKTOP="sway", QT_WAYLAND_DISABLE_WINDOWDECORATION="1")

    def own(self, path):
        while path.startswith(self.root):
            os.lchown(path, self.user.pw_uid, self.user.pw_gid)
            path = os.path.dirname(path)

    def spawn(self, name, args, env=None, **popen):
        return super().spawn(name, self.as_user + args, env, **popen)

    def run(self, args, timeout=10):
        return super().run(self.as_user + list(args), timeout)

    def start(self, tray=True):
        # With the system's service folders, GTK programs start the desktop portal, which
        # mounts a FUSE folder in XDG_RUNTIME_DIR that root can neither enter nor remove.
        services = self.write(os.path.join(self.root, "dbus-services", ""))
        xfconf = "/usr/share/dbus-1/services/org.xfce.Xfconf.service"
        os.symlink(xfconf, os.path.join(services, os.path.basename(xfconf)))
        config = os.path.join(self.root, "session-bus.xml")
        self.write(config, f"""<busconfig><type>session</type>
  <listen>unix:path={os.path.join(self.runtime, "bus")}</listen><auth>EXTERNAL</auth>
  <servicedir>{services}</servicedir>
  <policy context="default"><allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/><allow own="*"/></policy></busconfig>
""")
        self.start_bus(f"--config-file={config}")
        config = os.path.join(self.home, ".config", "sway", "config")
        self.write(config, f"""output HEADLESS-1 resolution {SCREEN_W}x{SCREEN_H} position 0 0
output HEADLESS-1 bg #7f7f7f solid_color
default_border none
default_floating_border none
focus_follows_mouse no
# Floating from the start, so the striped window behind stays whole.
for_window [app_id="thunar"] floating enable
xwayland enable
exec sh -c 'echo "$DISPLAY" > {self.runtime}/xdisplay'
""")
        self.spawn("sway", ["sway", "-c", config], dict(
            self.env, WLR_BACKENDS="headless", WLR_LIBINPUT_NO_DEVICES="1", WLR_RENDERER="pixman"))
        self.env["WAYLAND_DISPLAY"] = os.path.basename(wait_for(lambda: [
            p for p in glob.glob(os.path.join(self.runtime, "wayland-*"))
            if not p.endswith(".lock")], 15, "sway's socket")[0])
        self.env["SWAYSOCK"] = wait_for(lambda: glob.glob(os.path.join(self.runtime, "sway-ipc.*")),
                                        15, "sway's IPC socket")[0]
        self.env["DISPLAY"] = wait_for(lambda: open(f"{self.runtime}/xdisplay").read().strip(), 15,
                                       "XWayland")
        vnc = os.path.join(self.runtime, "vnc")
        self.spawn("wayvnc", ["wayvnc", "--unix-socket", vnc])
        # The socket's file shows before wayvnc listens on it.
        self.rfb = wait_for(lambda: os.path.exists(vnc) and rfb_input(vnc), 10, "wayvnc to answer")
        if tray:
            self.start_tray()

    def start_tray(self):
        bar = os.path.join(self.home, ".config", "waybar")
        self.write(os.path.join(bar, "config"), json.dumps({
            "layer": "top", "position": "top", "height": 28, "modules-right": ["tray"],
            "tray": {"icon-size": 20, "spacing": 8}}))
        fg = "#e8e8e8" if sum(self.bar) < 384 else "#202020"
        self.write(os.path.join(bar, "style.css"), "* { font-size: 13px; }\nwindow#waybar "
                   "{ background: #%02x%02x%02x; color: %s; }\n" % (*self.bar, fg))
        self.spawn(self.BAR, ["waybar"], dict(self.env, GDK_BACKEND="wayland"))
        wait_for(self.tray_up, 20, "waybar's StatusNotifierWatcher")
        started = time.monotonic()
        wait_for(lambda: self.desk_rect()[1] > 0, 10, "waybar to take its place")
        return started

    def swaymsg(self, *args):
        result = self.run(["swaymsg", *args])
        check(result.returncode == 0, f"swaymsg {' '.join(args)}: {result.stdout}{result.stderr}")
        return json.loads(result.stdout) if args[0] == "-t" else result.stdout

    def desk_rect(self):
        r = next(w for w in self.swaymsg("-t", "get_workspaces") if w["visible"])["rect"]
        return r["x"], r["y"], r["width"], r["height"]

    def bar_rect(self):
        # waybar is a layer surface, not in sway's tree: it is what the workspace leaves.
        return 0, 0, SCREEN_W, self.desk_rect()[1]

    def tree_windows(self):
        found, nodes = [], [self.swaymsg("-t", "get_tree")]
        while nodes:
            node = nodes.pop()
            nodes += node.get("nodes", []) + node.get("floating_nodes", [])
            if node.get("pid") and node.get("visible"):
                r = node["rect"]
                found.append(Window(node["id"], r["x"], r["y"], r["width"], r["height"],
                                    pid=node["pid"], name=node.get("name") or ""))
        return found

    def named(self, title):
        return [w for w in self.tree_windows() if w.name.startswith(title)]

    def app_windows(self):
        return [w for w in self.tree_windows() if self.app and w.pid == self.app.pid]

    def open_panel(self, icon=None):
        # A layer surface is in no tree sway shows: the panel is what changed since this
        # grab, outside the windows opened after it.
        self.bare = self.grab(), {w.id for w in self.tree_windows()}
        return super().open_panel(icon)

    def panel(self):
        """The panel as a window in sway's tree (where it is one) or as a layer surface,
        whose shadow, if drawn, reaches as far on both sides and 2 px less above."""
        in_tree = super().panel()
        if in_tree or not getattr(self, "bare", None):
            return in_tree
        (before, ids), below = self.bare, self.desk_rect()
        now = self.grab()
        for w in self.tree_windows():
            if w.id not in ids:
                before, now = painted(before, w.rect, (0, 0, 0)), painted(now, w.rect, (0, 0, 0))
        # The panel changes much of every row and column it crosses; the pointer and
        # a stray pixel of the stripes do not.
        rows = [(y, xs) for y, xs in changed_columns(before, now, below)
                if len(xs) >= PANEL_W // 3]
        columns = collections.Counter(x for _, xs in rows for x in xs)
        xs = [x for x, n in columns.items() if n >= PANEL_H // 3]
        if not xs:
            return None
        x0, x1, y0, y1 = min(xs), max(xs), rows[0][0], rows[-1][0]
        if not (0 <= x1 + 1 - x0 - PANEL_W <= 24 and 0 <= y1 + 1 - y0 - PANEL_H <= 24):
            return None
        shadow = (x1 + 1 - x0 - PANEL_W) // 2
        return Window(None, x0 + shadow, y0 + max(0, shadow - 2), PANEL_W, PANEL_H)

    def in_task_lists(self, win):
        # What lists tasks on sway (its tree, foreign-toplevel docks) lists its windows.
        return ["a layer surface"] if win.id is not None else []

    def place(self, win, x, y, w, h):
        self.swaymsg(f"[con_id={win.id}]", "resize", "set", str(w), str(h), ",",
                     "move", "absolute", "position", str(x), str(y))

    def shot(self, rect=None, kind="ppm"):
        crop = ["-g", "%d,%d %dx%d" % rect] if rect else []
        result = subprocess.run(self.as_user + ["grim", "-t", kind, *crop, "-"], env=self.env,
                                capture_output=True, timeout=20)
        check(result.returncode == 0, f"grim: {result.stderr[-300:]!r}")
        return result.stdout

    def start_file_manager(self, path):
        props = "".join(xfconf(*p) for p in (
            ("default-view", "string", "ThunarDetailsView"), ("misc-single-click", "bool", "false"),
            ("last-view", "string", "ThunarDetailsView"), ("last-side-pane", "string", "void"),
            ("last-statusbar-visible", "bool", "true"), ("last-menubar-visible", "bool", "false")))
        self.write(os.path.join(self.home, ".config/xfce4/xfconf/xfce-perchannel-xml/thunar.xml"),
                   f'<?xml version="1.0"?><channel name="thunar" version="1.0">{props}</channel>\n')
        self.spawn("thunar", ["thunar", path], dict(self.env, GDK_BACKEND="wayland"))

    def move(self, x, y):
        self.pointer = x, y
        self.rfb.sendall(struct.pack(">BBHH", 5, self.buttons, x, y))

    def button(self, down, button=1):
        bit = 1 << (button - 1)
        self.buttons = self.buttons | bit if down else self.buttons & ~bit
        self.move(*self.pointer)

    def key(self, combo):
        # X keysyms; a letter's is its code.
        syms = [{"ctrl": 0xFFE3}.get(k) or ord(k) for k in combo.split("+")]
        for sym, down in [(s, True) for s in syms] + [(s, False) for s in reversed(syms)]:
            self.rfb.sendall(struct.pack(">BBxxI", 4, int(down), sym))
            time.sleep(0.02)

    def focus(self, win):
        self.swaymsg(f"[con_id={win.id}]", "focus")

    def close(self):
        if self.rfb:
            self.rfb.close()
        super().close()
