# SPDX-License-Identifier: MIT
"""Private desktops, each removed whole when closed, for the end-to-end tests and the
benchmarks: Session (Xvfb, a session bus, trayer, pcmanfm, xdotool), SniX11Session
(openbox, xcompmgr, xfce4-panel) and waysession.SwaySession; and how a test ends."""

import ctypes
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback
from pathlib import Path

from pixels import changed_box, changed_columns, painted, parse_ppm, region, runs

SCREEN_W, SCREEN_H = 1280, 800
PANEL_W, PANEL_H = 320, 420
DARK_BAR, LIGHT_BAR = (0x20, 0x20, 0x20), (0xE8, 0xE8, 0xE8)
# With no tray the program shows its own window within TRAY_GRACE s; a tray that starts,
# or starts again, has its icon within TRAY_BOUND s; at a login the program may start
# TRAY_LEAD s before the tray.
TRAY_GRACE, TRAY_BOUND, TRAY_LEAD = 8, 2, 3
SIGNALS = (signal.SIGTERM, signal.SIGINT, signal.SIGHUP, signal.SIGALRM)
START = time.monotonic()
_log = ["e2e", sys.stdout]


class Failure(AssertionError):
    pass


def log(*parts):
    print("[%s %7.2fs]" % (_log[0], time.monotonic() - START), *parts, file=_log[1], flush=True)


def log_to(tag, stream):
    _log[:] = [tag, stream]


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(predicate, timeout, what, interval=0.05, steady=None):
    """predicate()'s first true value or, given `steady` (a key), the first whose key the
    one before shared."""
    deadline, last_error, last = time.monotonic() + timeout, None, None
    while True:
        try:
            value = predicate()
            key = steady(value) if steady else None
            if (key and key == last) if steady else value:
                return value
            last = key
        except (OSError, subprocess.SubprocessError, ValueError) as error:
            # Windows and files come and go while we look at them.
            last_error = error
        check(time.monotonic() < deadline, f"timed out after {timeout:.1f}s waiting for {what}"
              + (f" (last error: {last_error})" if last_error else ""))
        time.sleep(interval)


def run(name, tools, body, cannot=None):
    """Runs body() as one test: 0 passed, 1 failed, 77 (skipped) where a tool is missing
    or `cannot` says why, but not under STASHLET_CI (.ci/run), where all must run."""
    missing = [t for t in tools if not shutil.which(t)]
    cannot = cannot or missing and f"{', '.join(missing)} missing (scripts/setup installs it)"
    if cannot:
        ci = os.environ.get("STASHLET_CI")
        print(f"{'FAIL' if ci else 'SKIP'} {name}: {cannot}", flush=True)
        return 1 if ci else 77

    def stop(signum, _frame):
        raise SystemExit(f"stopped by signal {signum}")
    for sig in SIGNALS:
        signal.signal(sig, stop)
    # Under CTest the run is killed after its TIMEOUT; ending earlier leaves time to clean up.
    signal.alarm(int(os.environ.get("STASHLET_E2E_SELF_TIMEOUT", "100")))
    try:
        body()
        log("PASS", name)
        return 0
    except BaseException as error:  # noqa: BLE001 - a broken desktop fails the test too
        log("FAIL", name + ":", error)
        return 1
    finally:
        signal.alarm(0)


# A call on a window that went fails, and Xlib's default handler would end the test for it.
_ignore_x_error = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(
    lambda _dpy, _event: 0)


def with_display(display, use):
    """use(libX11, a connection of its own to the display)."""
    x = ctypes.CDLL("libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XSetErrorHandler(_ignore_x_error)
    dpy = ctypes.c_void_p(x.XOpenDisplay(display.encode()))
    check(dpy.value, "cannot open the display")
    try:
        return use(x, dpy)
    finally:
        x.XCloseDisplay(dpy)


def selection_owned(display, name):
    """Whether a client owns the X selection `name`: a tray or a compositor that has started."""
    return with_display(display, lambda x, dpy: x.XGetSelectionOwner(
        dpy, ctypes.c_ulong(x.XInternAtom(dpy, name.encode(), 0))) != 0)


def toplevel(display, window):
    """The root's child that holds `window` (for an icon a tray embeds, the tray's bar),
    or None once it is gone."""
    def up(x, dpy):
        wid, root, parent, children, count = (window, ctypes.c_ulong(), ctypes.c_ulong(),
                                              ctypes.c_void_p(), ctypes.c_uint())
        while x.XQueryTree(dpy, ctypes.c_ulong(wid), ctypes.byref(root), ctypes.byref(parent),
                           ctypes.byref(children), ctypes.byref(count)):
            x.XFree(children)
            if parent.value == root.value:
                return wid
            wid = parent.value
        return None
    return with_display(display, up)


class Window:
    def __init__(self, wid, x, y, w, h, **more):
        self.id, self.x, self.y, self.w, self.h = wid, x, y, w, h
        self.__dict__.update(more)

    centre = property(lambda self: (self.x + self.w // 2, self.y + self.h // 2))
    rect = property(lambda self: (self.x, self.y, self.w, self.h))


class Session:
    TOOLS = ("Xvfb", "dbus-daemon", "gdbus", "trayer", "pcmanfm", "xdotool", "import", "display",
             "xprop")
    BAR = "trayer"

    def __init__(self, binary, within=None, bar=DARK_BAR, name="e2e"):
        self.binary, self.bar, self.name = os.path.abspath(binary), bar, name
        self.root = tempfile.mkdtemp(prefix="stashlet-e2e-", dir=within)
        self.home, self.tmp, self.runtime, self.files, self.logs = (self.write(
            os.path.join(self.root, n, "")) for n in ("home", "tmp", "run", "files", "logs"))
        self.staging = os.path.join(self.tmp, "QELStashlet")
        self.procs, self.app, self.display, self.last_click = {}, None, None, 0
        self.env = dict(PATH=os.environ.get("PATH", "/usr/bin:/bin"), HOME=self.home,
                        TMPDIR=self.tmp, XDG_RUNTIME_DIR=self.runtime, LANG="C.UTF-8",
                        XDG_CONFIG_HOME=self.home + "/.config", NO_AT_BRIDGE="1",
                        XDG_CACHE_HOME=self.home + "/.cache", QT_QPA_PLATFORM="xcb",
                        XDG_DATA_HOME=self.home + "/.local/share",
                        # Every process of the run carries it, so the clean-up finds them
                        # all, including any a child started on its own.
                        STASHLET_E2E_RUN=self.root)
        self.env.update({k: v for k, v in os.environ.items() if k.endswith("SAN_OPTIONS")})

    def __enter__(self):
        return self

    def __exit__(self, kind, error, trace):
        if error is not None:
            if not isinstance(error, Failure):
                traceback.print_exception(kind, error, trace)
            for log_file in sorted(Path(self.logs).iterdir()):
                text = log_file.read_bytes().decode(errors="replace")[-3000:]
                print(f"----- {log_file.name} -----\n{text}", flush=True)
        # A second signal must not cut the clean-up short.
        old = [signal.signal(sig, signal.SIG_IGN) for sig in SIGNALS]
        self.close()
        for sig, handler in zip(SIGNALS, old):
            signal.signal(sig, handler)

    def own(self, path):
        """Gives what the tests make under the session's folder to its desktop's user."""

    def write(self, path, data=None):
        """Writes a file, or makes a private folder for a path ending in /."""
        os.makedirs(os.path.dirname(path), 0o700, exist_ok=True)
        if data is not None:
            with open(path, "wb" if isinstance(data, bytes) else "w") as f:
                f.write(data)
        self.own(path.rstrip("/"))
        return path.rstrip("/")

    def spawn(self, name, args, env=None, **popen):
        while name in self.procs:
            name += "+"
        self.procs[name] = subprocess.Popen(
            args, stdout=open(os.path.join(self.logs, name + ".log"), "ab"),
            stderr=subprocess.STDOUT, env=env or self.env, start_new_session=True, **popen)
        return self.procs[name]

    def run(self, args, timeout=10):
        return subprocess.run(args, env=self.env, capture_output=True, timeout=timeout, text=True)

    def gdbus(self, dest, path, method, *args):
        return self.run(["gdbus", "call", "--session", "--dest", dest, "--object-path", path,
                         "--method", method, *args]).stdout

    def start(self, tray=True):
        read_fd, write_fd = os.pipe()
        # -displayfd lets the server pick a free display, so parallel runs never race
        # for one; it writes the number once it accepts clients.
        self.spawn("xvfb", ["Xvfb", "-displayfd", str(write_fd), "-screen", "0",
                            f"{SCREEN_W}x{SCREEN_H}x24", "-nolisten", "tcp", "-noreset"],
                   pass_fds=(write_fd,))
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            number = pipe.readline().strip() if select.select([pipe], [], [], 15)[0] else ""
        check(number.isdigit(), "Xvfb did not report a display number")
        self.display = self.env["DISPLAY"] = ":" + number
        self.start_bus()
        self.start_desktop()
        if tray:
            self.start_tray()

    def start_bus(self, *config):
        socket = os.path.join(self.runtime, "bus")
        self.spawn("dbus", ["dbus-daemon", "--nofork", "--nopidfile",
                            *(config or ["--session", f"--address=unix:path={socket}"])])
        wait_for(lambda: os.path.exists(socket), 10, "the session bus socket")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = f"unix:path={socket}"

    def start_desktop(self):
        """What runs before the tray: on the bare X server, nothing."""

    def tray_up(self):
        return selection_owned(self.display, "_NET_SYSTEM_TRAY_S0")

    def start_tray(self):
        """Starts the bar; returns when its tray began to take icons."""
        self.spawn(self.BAR, ["trayer", "--edge", "top", "--align", "right", "--widthtype",
                              "pixel", "--width", "160", "--height", "24", "--SetDockType", "true",
                              "--transparent", "true", "--alpha", "0",
                              "--tint", "0x%02x%02x%02x" % self.bar])
        wait_for(self.tray_up, 15, "trayer to own the tray selection")
        return time.monotonic()

    def restart_tray(self):
        """As an update or a crash restarts it: the icon must come back on the new tray."""
        tray = self.procs.pop(self.BAR)
        tray.terminate()
        tray.wait(10)
        wait_for(lambda: not self.tray_up(), 10, f"{self.BAR}'s tray to go")
        self.check_icon_back(self.start_tray())

    def check_icon_back(self, since):
        """The tray that started at `since` shows the icon within TRAY_BOUND s, and the
        program shows no window of its own."""
        wait_for(lambda: self.icon_on_tray() and not self.own_window(),
                 since + TRAY_BOUND - time.monotonic(),
                 f"the icon on {self.BAR}'s tray and no window of the program's own")

    def icon_on_tray(self):
        """The icon, embedded in the bar: a tray that goes away leaves it on the desktop
        where it stood, so where it is says nothing."""
        icon, bar = self.tray_icon(), self.bar_window()
        return icon if icon and bar and toplevel(self.display, icon.id) == bar.id else None

    def own_window(self):
        """A window of the program's, bigger than an icon: with no panel opened, one it
        shows where it finds no tray."""
        return next((w for w in self.app_windows() if w.w > 64 or w.h > 64), None)

    def bar_window(self):
        return next((w for w in self.windows("--class", f"^{self.BAR}$") if w.w >= 160), None)

    def bar_rect(self):
        return wait_for(self.bar_window, 10, f"{self.BAR}'s bar").rect

    def desk_rect(self):
        top = sum(self.bar_rect()[1::2])
        return 0, top, SCREEN_W, SCREEN_H - top

    def open_stripes(self):
        """Diagonal black and white stripes 8 px wide below the bar, for what shows through."""
        x, y, w, h = self.desk_rect()
        line = bytes(255 * ((i // 8) % 2) for i in range(16) for _ in "rgb") * (w // 16 + 2)
        path = self.write(os.path.join(self.files, "stripes.ppm"), b"P6\n%d %d\n255\n" % (w, h)
                          + b"".join(line[(r % 16) * 3:(r % 16 + w) * 3] for r in range(h)))
        self.spawn("stripes", ["display", "-title", "stripes", "-geometry", f"+{x}+{y}", path])
        wait_for(lambda: [v for v in self.named("stripes") if v.w == w], 15, "the striped window")

    def launch(self, extra_env=None, binary=None):
        """Starts the program, or another `binary` in its place, not waiting for it."""
        return self.spawn("app" if binary is None else os.path.basename(binary),
                          [binary or self.binary], dict(self.env, **(extra_env or {})))

    def start_app(self):
        self.app = self.launch()
        return self.tray_item(None)

    def tray_item(self, _before):  # an XEmbed tray shows the program's own window
        return wait_for(self.tray_icon, 20, "the tray icon to appear")

    def sni_watcher(self):
        return "true" in self.gdbus("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                    "org.freedesktop.DBus.NameHasOwner",
                                    "org.kde.StatusNotifierWatcher")

    def sni_registered(self):
        return "'" in self.gdbus(
            "org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
            "org.freedesktop.DBus.Properties.Get", "org.kde.StatusNotifierWatcher",
            "RegisteredStatusNotifierItems")

    def sni_tray_item(self, before):
        """Where a StatusNotifierItem shows: what changed on the bar since `before` or, on
        a bar that started with the item on it, what is not the bar's colour."""
        wait_for(self.sni_registered, 20, "an item registered with the watcher")
        bar = self.bar_rect()
        before = before or painted(self.grab(), bar, self.bar)
        box = wait_for(lambda: changed_box(before, self.grab(), bar), 20,
                       "the tray item to appear", 0.3, steady=lambda box: box)
        return Window(None, *box)

    def xdo(self, *args):
        result = self.run(["xdotool", *map(str, args)])
        check(result.returncode == 0, f"xdotool {' '.join(map(str, args))}: {result.stderr}")
        return result.stdout

    def windows(self, *search):
        """The viewable windows that xdotool's search finds."""
        return [Window(*map(int, m)) for m in re.findall(
            r"WINDOW=(\d+)\nX=(-?\d+)\nY=(-?\d+)\nWIDTH=(\d+)\nHEIGHT=(\d+)", self.run(
                ["xdotool", "search", "--onlyvisible", *search, "getwindowgeometry", "--shell",
                 "%@"]).stdout)]

    def named(self, title):
        return [w for w in self.windows("--name", f"^{title}$") if w.w > 100]

    def app_windows(self):
        return self.windows("--class", "^qel-stashlet$")

    def tray_icon(self):
        icons = [w for w in self.app_windows() if w.w <= 64 and w.h <= 64]
        return icons[0] if len(icons) == 1 else None

    def panel(self):
        """The panel on screen, else None. Where a compositor can show it, its window
        has room for the panel's shadow, as much on every side."""
        panels = [Window(w.id, w.x + (w.w - PANEL_W) // 2, w.y + (w.h - PANEL_H) // 2, PANEL_W,
                         PANEL_H) for w in self.app_windows()
                  if w.w - PANEL_W == w.h - PANEL_H >= 0 and (w.w - PANEL_W) % 2 == 0]
        check(len(panels) <= 1, f"more than one panel on screen: {[p.rect for p in panels]}")
        return panels[0] if panels else None

    def in_task_lists(self, win):
        """The task bar and pager that keep `win`: the skip states its _NET_WM_STATE lacks."""
        states = self.run(["xprop", "-id", str(win.id), "_NET_WM_STATE"]).stdout
        return [k for k in ("SKIP_TASKBAR", "SKIP_PAGER") if f"_NET_WM_STATE_{k}" not in states]

    def place(self, win, x, y, w, h):
        self.xdo("windowsize", win.id, w, h)
        self.xdo("windowmove", win.id, x, y)

    def move(self, x, y):
        self.xdo("mousemove", x, y)

    def button(self, down, button=1):
        self.xdo("mousedown" if down else "mouseup", button)

    def key(self, combo):
        self.xdo("key", combo)

    def focus(self, win):
        self.xdo("windowfocus", "--sync", win.id)

    def click(self, x, y, button=1):
        # Closer than Qt's double-click interval (400 ms), two clicks make a double click.
        time.sleep(max(0.0, self.last_click + 0.6 - time.monotonic()))
        self.move(x, y)
        for down in (True, False):
            time.sleep(0.05)
            self.button(down, button)
        self.last_click = time.monotonic()

    def park_pointer(self):
        # A spot no window covers, so nothing shows a hover state.
        self.move(700, SCREEN_H - 5)

    def drag(self, start, end, arrived, what, untouched, steps=14, pause=0.04):
        """A drag that travels (a source starts one only past its threshold, a target
        answers each position) until `arrived()`; once more if the first changed nothing
        at all: an XDND exchange the source never started is the test desktop's doing."""
        (sx, sy), (ex, ey) = start, end
        path = [(sx + 4 * i, sy + 2 * i) for i in range(1, 5)]
        path += [(round(sx + (ex - sx) * i / steps), round(sy + (ey - sy) * i / steps))
                 for i in range(1, steps + 1)] + [(ex + 2, ey + 1), (ex - 1, ey + 2), (ex, ey)]
        for attempt in (1, 2):
            self.move(sx, sy)
            time.sleep(pause)
            self.button(True)
            try:
                for i, point in enumerate(path):
                    time.sleep(pause if i < len(path) - 3 else pause * 2)
                    self.move(*point)
                time.sleep(0.25)
            finally:
                self.button(False)
            try:
                return wait_for(arrived, 10, what)
            except Failure:
                if attempt == 2 or not untouched():
                    raise
                log("the drag changed nothing; dragging once more")
                self.park_pointer()

    def shot(self, rect=None, kind="ppm"):
        """The screen, or rect (x, y, w, h) of it, as a PPM or PNG file's bytes."""
        crop = ["-crop", "%dx%d+%d+%d" % (*rect[2:], *rect[:2]), "+repage"] if rect else []
        result = subprocess.run(["import", "-window", "root", "-depth", "8", *crop, kind + ":-"],
                                env=self.env, capture_output=True, timeout=20)
        check(result.returncode == 0, f"import: {result.stderr[-300:]!r}")
        return result.stdout

    def grab(self):
        return parse_ppm(self.shot())

    def still(self, rect, timeout=10):
        """The screen once rect is the same in two grabs in a row."""
        return wait_for(self.grab, timeout, f"{rect} to settle", 0.2, lambda i: region(i, *rect))

    def open_folder(self, path, x, y, w=560, h=340):
        """A file manager window on `path`, in a list view, at x,y."""
        title = os.path.basename(path)
        self.start_file_manager(path)
        win = wait_for(lambda: next(iter(self.named(title)), None), 20, f"a window on {title}")

        def placed():
            # A window manager still placing it may put it back where it chose; its
            # frame may keep a border of a pixel or two.
            now = next((v for v in self.named(title) if v.id == win.id), None)
            if now and (now.w, now.h) == (w, h) and 0 <= now.x - x <= 2 and 0 <= now.y - y <= 2:
                return now
            self.place(win, x, y, w, h)
        return wait_for(placed, 10, f"the {title} window at {x},{y}", interval=0.2)

    def start_file_manager(self, path):
        self.write(os.path.join(self.home, ".config/pcmanfm/default/pcmanfm.conf"),
                   "[config]\nsingle_click=0\n[ui]\nwin_width=560\nwin_height=340\nmaximized=0\n"
                   "view_mode=list\nshow_hidden=0\nside_pane_mode=hidden\nshow_statusbar=1\n")
        self.spawn("pcmanfm", ["pcmanfm", "--new-win", path])

    def select_all_rows(self, win, count):
        """Selects everything in a folder window; a point on a selected row, found by what
        the selection changes, not by a theme's colours."""
        self.park_pointer()
        self.focus(win)
        # The listing fills in after the window maps: compare once it stops changing.
        before = self.still(win.rect)
        self.key("ctrl+a")
        # A selected row changes most of its width, a status bar's text a little;
        # a line or two (a status bar's border) is no row.
        rows = wait_for(lambda: runs([y for y, xs in changed_columns(
            before, self.still(win.rect), win.rect) if len(xs) > win.w // 2], 4), 15,
            f"the selection to show in window {win.id}", steady=lambda rows: rows)
        top, bottom = rows[0][0], rows[-1][1]
        height = (bottom - top + 1) / count
        check(10 <= height <= 80, f"selection spans {bottom - top + 1}px for {count} rows")
        return win.x + win.w // 3, round(top + height / 2)

    def make_files(self, folder_name, sizes):
        folder = self.write(os.path.join(self.files, folder_name, ""))
        contents = {f"file{i}.bin": os.urandom(size) for i, size in enumerate(sizes, 1)}
        for name, data in contents.items():
            self.write(os.path.join(folder, name), data)
        return folder, contents

    def staged(self):
        return sorted(os.listdir(self.staging)) if os.path.isdir(self.staging) else []

    def staged_path(self, name):
        return os.path.join(self.staging, name)

    def holds(self, folder, contents):
        """Whether `folder` holds `contents` (name: bytes), whole, and nothing else."""
        return sorted(os.listdir(folder)) == sorted(contents) and all(
            Path(folder, n).read_bytes() == d for n, d in contents.items())

    def open_panel(self, icon=None):
        self.click(*(icon or wait_for(self.tray_icon, 10, "the tray icon")).centre)
        return wait_for(self.panel, 10, "the panel to show after a click on the tray icon")

    def drop_from_file_manager(self, folder, count, panel, arrived=None):
        """Drags the `count` files of `folder` from the file manager onto the panel until
        `arrived()`, by default until the staging folder changed (a large file shows
        there only when whole, so who drops one says what to look for)."""
        start = self.select_all_rows(self.open_folder(folder, 0, 40), count)
        before = self.staged()
        return self.drag(start, panel.centre,
                         arrived or (lambda: self.staged() != before and self.staged()),
                         "a drop from the file manager to reach the program",
                         lambda: self.staged() == before and not (arrived and arrived()))

    def stage(self, sizes, panel=None):
        """Drops new files from the file manager; their bytes, once staged whole."""
        folder, contents = self.make_files("source", sizes)
        self.drop_from_file_manager(folder, len(sizes), panel or self.open_panel())
        wait_for(lambda: self.holds(self.staging, contents), 15, f"{sorted(contents)} staged whole")
        check(self.holds(folder, contents), "an original changed")
        return contents

    def drag_out(self, start, contents):
        """Drags from `start` into a new folder in a file manager, until it holds `contents`."""
        target = self.write(os.path.join(self.files, "target", ""))
        win = self.open_folder(target, 0, 420)
        self.park_pointer()
        self.drag(start, win.centre, lambda: self.holds(target, contents),
                  f"{sorted(contents)} to reach the folder whole", lambda: not os.listdir(target))

    def quit_at(self, point, how, limit=2.0):
        """Presses a quit control; the program must end on the release."""
        self.move(*point)
        time.sleep(0.05)
        self.button(True)
        time.sleep(0.1)
        check(self.app.poll() is None, f"the program ended on the press of {how}")
        started = time.monotonic()
        self.button(False)
        self.check_quit(started, how, limit)

    def check_quit(self, started, how, limit=2.0):
        """The program ends within `limit` s, with status 0 and its staging folder empty."""
        self.app.wait(timeout=10)
        elapsed = time.monotonic() - started
        log(f"QUIT-LATENCY {how}: {elapsed * 1000:.1f} ms")
        check(elapsed <= limit, f"the program took {elapsed:.2f} s to end after {how}")
        check(self.app.returncode == 0, f"status {self.app.returncode} after {how}")
        check(not self.staged(), f"left in the staging folder after {how}: {self.staged()}")

    def quit_from_menu(self, icon, limit=2.0):
        """Chooses "Esci", the tray menu's last item, whose middle lies 16 px above the
        menu's lower edge in Qt's menus and GTK's alike."""
        if self.panel():
            # Hidden, so that only the menu changes the screen.
            self.click(*icon.centre)
            wait_for(lambda: self.panel() is None, 10, "the panel to hide on a click")
        self.park_pointer()
        before, (x, y) = self.grab(), icon.centre
        self.click(x, y, button=3)
        # Hovering the bar changes a little, a menu a lot; a menu fading in, more each time.
        near = (max(0, x - 260), max(0, y - 300))
        near += (min(SCREEN_W, x + 260) - near[0], min(SCREEN_H, y + 300) - near[1])
        x, y, w, h = wait_for(lambda: changed_box(before, self.grab(), near), 10, "the tray menu",
                              0.2, steady=lambda box: box if box and box[2] * box[3] > 2000 else 0)
        self.quit_at((x + w // 4, y + h - 16), "Esci in the tray menu", limit)

    def our_pids(self):
        def ours(pid):
            try:
                return f"STASHLET_E2E_RUN={self.root}".encode() in Path(
                    f"/proc/{pid}/environ").read_bytes().split(b"\0") and pid != os.getpid()
            except OSError:
                return False
        return [pid for pid in map(int, filter(str.isdigit, os.listdir("/proc"))) if ours(pid)]

    def close(self):
        # Every process of the run carries its marker, including what the children started
        # on their own (a second instance, a service the bus started), and is ended by its id.
        for sig in (signal.SIGTERM, signal.SIGKILL):
            for pid in self.our_pids():
                try:
                    os.kill(pid, sig)
                except ProcessLookupError:
                    pass
            wait_until = time.monotonic() + 2
            while self.our_pids() and time.monotonic() < wait_until:
                time.sleep(0.05)
                for p in self.procs.values():
                    p.poll()
        shutil.rmtree(self.root, ignore_errors=True)


def xfconf(name, kind, value="", inner=""):
    """One property of an xfconf channel, holding `inner`."""
    head = f'<property name="{name}" type="{kind}" value="{value}"'
    return head + (f">{inner}</property>" if inner else "/>")


def xfconf_values(kind, *values):
    return "".join(f'<value type="{kind}" value="{v}"/>' for v in values)


class SniX11Session(Session):
    """openbox, xcompmgr (a compositor without blur) and xfce4-panel's SNI tray."""
    TOOLS = Session.TOOLS + ("openbox", "xcompmgr", "xfce4-panel")
    BAR, tray_item, icon_on_tray = "xfce4-panel", Session.sni_tray_item, Session.sni_registered
    # xfce4-panel also takes XEmbed icons; where its watcher is, the program uses it.
    tray_up = Session.sni_watcher

    def start_desktop(self):
        # Undecorated, so a window put at x,y has its contents there.
        config = self.write(os.path.join(self.home, "openbox.xml"), '<openbox_config xmlns='
                            '"http://openbox.org/3.4/rc"><applications><application class="*">'
                            '<decor>no</decor></application></applications></openbox_config>\n')
        self.spawn("openbox", ["openbox", "--config-file", config])
        self.spawn("xcompmgr", ["xcompmgr"])
        wait_for(lambda: selection_owned(self.display, "_NET_WM_CM_S0"), 10,
                 "xcompmgr to composite")
        panel = "".join(xfconf(*p) for p in (
            ("position", "string", "p=6;x=0;y=0"), ("length", "uint", 100), ("size", "uint", 28),
            ("position-locked", "bool", "true"), ("background-style", "uint", 1),
            ("background-rgba", "array", "",
             xfconf_values("double", *(c / 255 for c in self.bar), 1)),
            ("plugin-ids", "array", "", xfconf_values("int", 1, 2))))
        plugins = xfconf("plugin-1", "string", "separator", xfconf("expand", "bool", "true")
                         + xfconf("style", "uint", 0)) + xfconf("plugin-2", "string", "systray")
        self.write(os.path.join(self.home, ".config/xfce4/xfconf/xfce-perchannel-xml/"
                                           "xfce4-panel.xml"),
                   '<channel name="xfce4-panel" version="1.0">' + xfconf("configver", "int", 2)
                   + xfconf("panels", "array", "", xfconf_values("int", 1)
                            + xfconf("panel-1", "empty", "", panel))
                   + xfconf("plugins", "empty", "", plugins) + "</channel>\n")

    def start_tray(self):
        # The bar's theme matches its colour, as a desktop's theme would.
        theme = "Adwaita:dark" if self.bar == DARK_BAR else "Adwaita"
        self.spawn(self.BAR, ["xfce4-panel"], dict(self.env, GTK_THEME=theme))
        wait_for(self.tray_up, 20, "xfce4-panel's StatusNotifierWatcher")
        started = time.monotonic()
        self.bar_rect()
        return started
