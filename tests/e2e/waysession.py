# SPDX-License-Identifier: MIT
"""A private headless sway session, for driving qel-stashlet on Wayland.

sway refuses to run as root, so everything of the session runs as an
unprivileged user made for the tests, with its own XDG_RUNTIME_DIR and session
bus. A headless seat has no pointer: wayvnc gives it a virtual pointer and
keyboard, driven here through a few RFB messages. grim takes the screenshots,
swaymsg tells where windows are, waybar is the bar and its StatusNotifierItem
tray, Thunar (native Wayland) the file manager.
"""

import glob
import json
import os
import pwd
import socket
import struct
import subprocess
import time

from xsession import SCREEN_W, SCREEN_H, Session, Window, check, log, parse_ppm, wait_for

USER = "stashlet-desktop"

# X keysyms for the keys the tests press.
KEYSYMS = {"ctrl": 0xFFE3, "shift": 0xFFE1, "Up": 0xFF52, "Down": 0xFF54, "Return": 0xFF0D,
           "Escape": 0xFF1B}


def test_user():
    """The unprivileged user the session runs as, made on first use."""
    try:
        return pwd.getpwnam(USER)
    except KeyError:
        result = subprocess.run(["useradd", "--system", "--no-create-home",
                                 "--shell", "/usr/sbin/nologin", USER],
                                capture_output=True, text=True)
        # 9: made meanwhile by a run in parallel.
        check(result.returncode in (0, 9), f"useradd failed: {result.stderr}")
        return pwd.getpwnam(USER)


class Rfb:
    """The client half of RFB 3.8, for input only: no frame is ever asked for."""

    def __init__(self, path):
        self.sock = socket.socket(socket.AF_UNIX)
        self.sock.settimeout(10)
        self.sock.connect(path)
        check(self.recv(12).startswith(b"RFB 003."), "wayvnc did not greet as an RFB server")
        self.sock.sendall(b"RFB 003.008\n")
        types = self.recv(self.recv(1)[0])
        check(1 in types, f"wayvnc offers no security type None: {list(types)}")
        self.sock.sendall(b"\x01")
        check(self.recv(4) == b"\0\0\0\0", "RFB security handshake refused")
        self.sock.sendall(b"\x01")  # shared
        self.recv(20)
        self.recv(struct.unpack(">I", self.recv(4))[0])
        self.x = self.y = self.buttons = 0

    def recv(self, n):
        data = b""
        while len(data) < n:
            chunk = self.sock.recv(n - len(data))
            check(chunk, "wayvnc closed the connection")
            data += chunk
        return data

    def pointer(self, x=None, y=None, buttons=None):
        self.x = self.x if x is None else x
        self.y = self.y if y is None else y
        self.buttons = self.buttons if buttons is None else buttons
        self.sock.sendall(struct.pack(">BBHH", 5, self.buttons, self.x, self.y))

    def keysym(self, sym, down):
        self.sock.sendall(struct.pack(">BBxxI", 4, 1 if down else 0, sym))

    def close(self):
        self.sock.close()


class SwaySession(Session):
    TOOLS = ("sway", "swaymsg", "waybar", "wayvnc", "grim", "thunar", "Xwayland", "setpriv",
             "useradd", "dbus-daemon", "gdbus", "display")

    def __init__(self, binary, bar_css, within=None):
        super().__init__(binary, within)
        self.user = test_user()
        self.bar_css = bar_css
        self.rfb = None
        self.sway_env = None
        self.as_user = ["setpriv", f"--reuid={self.user.pw_uid}", f"--regid={self.user.pw_gid}",
                        "--init-groups", "--"]
        # Everything below the session's folder belongs to the user.
        os.chown(self.root, self.user.pw_uid, self.user.pw_gid)
        self.give_to_user(self.root)

    def give_to_user(self, path):
        for folder, dirs, files in os.walk(path):
            for name in [folder] + [os.path.join(folder, n) for n in dirs + files]:
                os.lchown(name, self.user.pw_uid, self.user.pw_gid)

    def write(self, path, text):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write(text)
        self.give_to_user(self.root)

    def spawn(self, name, args, env):
        proc = subprocess.Popen(self.as_user + args, stdout=self.log_file(name),
                                stderr=subprocess.STDOUT, env=env, start_new_session=True)
        self.procs[name] = proc
        return proc

    def make_files(self, folder_name, sizes, suffix=".bin"):
        result = super().make_files(folder_name, sizes, suffix)
        self.give_to_user(self.files)
        return result

    def start(self):
        env = self.base_env()
        env.pop("QT_QPA_PLATFORM")
        # sway draws no client decorations; its users turn Qt's off, which
        # also keeps Qt from loading Mesa's EGL driver just to draw them.
        env.update(USER=USER, LOGNAME=USER, XDG_SESSION_TYPE="wayland",
                   XDG_CURRENT_DESKTOP="sway", GDK_BACKEND="wayland",
                   QT_WAYLAND_DISABLE_WINDOWDECORATION="1")
        socket_path = os.path.join(self.runtime, "bus")
        self.spawn("dbus", ["dbus-daemon", "--nofork", "--nopidfile",
                            f"--config-file={self.bus_config(socket_path)}"], env)
        wait_for(lambda: os.path.exists(socket_path), 10, "the session bus socket")
        env["DBUS_SESSION_BUS_ADDRESS"] = f"unix:path={socket_path}"

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
        sway_env = dict(env, WLR_BACKENDS="headless", WLR_LIBINPUT_NO_DEVICES="1",
                        WLR_RENDERER="pixman")
        self.spawn("sway", ["sway", "-c", config], sway_env)

        def wayland_socket():
            return [p for p in glob.glob(os.path.join(self.runtime, "wayland-*"))
                    if not p.endswith(".lock")]
        env["WAYLAND_DISPLAY"] = os.path.basename(wait_for(wayland_socket, 15, "sway's socket")[0])
        env["SWAYSOCK"] = wait_for(lambda: glob.glob(os.path.join(self.runtime, "sway-ipc.*")),
                                   15, "sway's IPC socket")[0]
        display_file = os.path.join(self.runtime, "xdisplay")
        env["DISPLAY"] = wait_for(lambda: open(display_file).read().strip(), 15, "XWayland")
        self.env = env
        log("sway on", env["WAYLAND_DISPLAY"], "XWayland on", env["DISPLAY"])

        vnc = os.path.join(self.runtime, "vnc")
        self.spawn("wayvnc", ["wayvnc", "--unix-socket", vnc], env)
        # The socket's file shows before wayvnc listens on it.
        self.rfb = wait_for(lambda: os.path.exists(vnc) and Rfb(vnc), 10, "wayvnc to answer")
        self.start_bar()

    def bus_config(self, socket_path):
        """A session bus that starts only Thunar's settings store on demand.

        With the system's service folders, GTK programs start the desktop
        portal, which mounts a FUSE folder in XDG_RUNTIME_DIR that root can
        neither enter nor remove, and costs seconds.
        """
        services = os.path.join(self.root, "dbus-services")
        os.makedirs(services)
        for name in ("org.xfce.Xfconf.service",):
            source = os.path.join("/usr/share/dbus-1/services", name)
            if os.path.exists(source):
                with open(source) as f:
                    self.write(os.path.join(services, name), f.read())
        path = os.path.join(self.root, "session-bus.xml")
        self.write(path, f"""<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path={socket_path}</listen>
  <auth>EXTERNAL</auth>
  <servicedir>{services}</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
""")
        return path

    def start_bar(self):
        bar = os.path.join(self.home, ".config", "waybar")
        self.write(os.path.join(bar, "config"), json.dumps({
            "layer": "top", "position": "top", "height": 28, "modules-right": ["tray"],
            "tray": {"icon-size": 20, "spacing": 8}}))
        self.write(os.path.join(bar, "style.css"), self.bar_css)
        self.spawn("waybar", ["waybar"], self.env)
        wait_for(lambda: self.bus_has("org.kde.StatusNotifierWatcher"), 20,
                 "waybar's StatusNotifierWatcher")
        wait_for(lambda: self.workspace_rect()[1] > 0, 10, "waybar to take its place")

    # Queries ------------------------------------------------------------

    def run(self, args, timeout=10):
        return subprocess.run(self.as_user + list(args), env=self.env, capture_output=True,
                              timeout=timeout, text=True)

    def swaymsg(self, *args):
        result = self.run(["swaymsg", *args])
        check(result.returncode == 0,
              f"swaymsg {' '.join(args)} failed: {result.stdout}{result.stderr}")
        return result.stdout

    def workspace_rect(self):
        spaces = [w for w in json.loads(self.swaymsg("-t", "get_workspaces")) if w["visible"]]
        r = spaces[0]["rect"]
        return r["x"], r["y"], r["width"], r["height"]

    def bar_rect(self):
        """waybar is a layer surface, not in sway's tree: it is what the workspace leaves."""
        _, top, _, _ = self.workspace_rect()
        return 0, 0, SCREEN_W, top

    def tree_windows(self):
        found = []

        def walk(node):
            if node.get("pid") and node["type"] in ("con", "floating_con"):
                r = node["rect"]
                w = Window(node["id"], r["x"], r["y"], r["width"], r["height"],
                           node.get("visible", False))
                w.pid, w.app_id, w.name = node["pid"], node.get("app_id"), node.get("name") or ""
                w.shell = node.get("shell")
                found.append(w)
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                walk(child)
        walk(json.loads(self.swaymsg("-t", "get_tree")))
        return found

    def app_windows(self):
        pid = self.app.pid if self.app else -1
        return [w for w in self.tree_windows() if w.pid == pid]

    def grab(self):
        result = subprocess.run(self.as_user + ["grim", "-t", "ppm", "-"], env=self.env,
                                capture_output=True, timeout=20)
        check(result.returncode == 0, f"grim failed: {result.stderr[-300:]!r}")
        return parse_ppm(result.stdout)

    def save_png(self, path, x=None, y=None, w=None, h=None):
        args = ["grim"] + (["-g", f"{x},{y} {w}x{h}"] if w is not None else []) + ["-"]
        result = subprocess.run(self.as_user + args, env=self.env, capture_output=True, timeout=20)
        check(result.returncode == 0, f"grim failed: {result.stderr[-300:]!r}")
        with open(path, "wb") as f:
            f.write(result.stdout)

    # Programs -----------------------------------------------------------

    def launch(self, extra_env=None, binary=None):
        env = dict(self.env)
        env.pop("GDK_BACKEND")
        env.update(extra_env or {})
        name = "app" if binary is None else os.path.basename(binary)
        return self.spawn(name, [binary or self.binary], env)

    def open_folder(self, path, x, y, w=560, h=340):
        """Opens a Thunar window on `path` and floats it at x,y."""
        title = os.path.basename(path)
        if "thunar" not in self.procs:
            self.configure_thunar()
        self.spawn("thunar" if "thunar" not in self.procs else "thunar-" + title,
                   ["thunar", path], self.env)
        win = wait_for(lambda: next((w for w in self.tree_windows()
                                     if w.app_id == "thunar" and w.name.startswith(title)), None),
                       20, f"a Thunar window on {title}")

        def placed():
            now = next((v for v in self.tree_windows() if v.id == win.id), None)
            if now and (now.x, now.y, now.w, now.h) == (x, y, w, h):
                return now
            self.swaymsg(f"[con_id={win.id}]", "resize", "set", str(w), str(h), ",",
                         "move", "absolute", "position", str(x), str(y))
            return None
        return wait_for(placed, 10, f"the {title} window at {x},{y}", interval=0.2)

    def configure_thunar(self):
        self.write(os.path.join(self.home, ".config", "xfce4", "xfconf", "xfce-perchannel-xml",
                                "thunar.xml"), """<?xml version="1.0" encoding="UTF-8"?>
<channel name="thunar" version="1.0">
  <property name="default-view" type="string" value="ThunarDetailsView"/>
  <property name="last-view" type="string" value="ThunarDetailsView"/>
  <property name="last-side-pane" type="string" value="void"/>
  <property name="last-statusbar-visible" type="bool" value="true"/>
  <property name="last-menubar-visible" type="bool" value="false"/>
  <property name="misc-single-click" type="bool" value="false"/>
</channel>
""")

    # Input --------------------------------------------------------------

    def move(self, x, y):
        self.rfb.pointer(x, y)

    def press(self, button=1):
        self.rfb.pointer(buttons=self.rfb.buttons | (1 << (button - 1)))

    def release(self, button=1):
        self.rfb.pointer(buttons=self.rfb.buttons & ~(1 << (button - 1)))

    def key(self, combo):
        syms = [KEYSYMS.get(k, ord(k) if len(k) == 1 else None) for k in combo.split("+")]
        check(None not in syms, f"no keysym for {combo}")
        for sym in syms:
            self.rfb.keysym(sym, True)
            time.sleep(0.02)
        for sym in reversed(syms):
            self.rfb.keysym(sym, False)
            time.sleep(0.02)

    def focus(self, win):
        self.swaymsg(f"[con_id={win.id}]", "focus")

    def report_failure(self, case):
        try:
            for w in self.tree_windows():
                log("window", w, w.app_id, repr(w.name), w.shell, "pid", w.pid)
        except Exception as error:  # noqa: BLE001 - diagnostics only
            log("no window list:", error)
        super().report_failure(case)

    def close(self):
        if self.rfb:
            self.rfb.close()
        super().close()
