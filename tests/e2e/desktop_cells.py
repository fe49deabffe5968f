# SPDX-License-Identifier: MIT
"""The desktops of the matrix: each starts its bar and a striped window behind
where the panel opens, and says where its bar and tray item are."""

import os
import subprocess

from pixels import changed_box, hex_colour
from waysession import SwaySession
from xsession import SCREEN_H, SCREEN_W, Session, check, wait_for

DARK_BAR, LIGHT_BAR = (0x20, 0x20, 0x20), (0xE8, 0xE8, 0xE8)
# The program's scheme, and the bar it is put under.
RUNS = (("light", DARK_BAR), ("dark", LIGHT_BAR))


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
    tools = Session.TOOLS + ("openbox", "xcompmgr", "xfce4-panel", "gdbus", "display")

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
        wait_for(lambda: s.bus_has("org.kde.StatusNotifierWatcher"), 20,
                 "xfce4-panel's StatusNotifierWatcher")
        wait_for(lambda: [w for w in s.windows("--class", "^xfce4-panel$")
                          if w.viewable and w.w == SCREEN_W], 10, "the xfce4-panel bar")

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
        # sway centres a new floating window, native or XWayland alike,
        # wherever the program asked for it (measured: asked for 960,20,
        # shown at 480,204).
        return False


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
