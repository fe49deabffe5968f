# SPDX-License-Identifier: MIT
"""A private desktop for driving qel-stashlet as a user would.

Session starts its own Xvfb, session bus, trayer and (when asked) pcmanfm, with
HOME, TMPDIR and XDG_RUNTIME_DIR in a fresh folder, drives them with xdotool,
and removes every process and file of it when closed. The end-to-end checks
and the desktop benchmarks both use it.
"""

import ctypes
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SCREEN_W, SCREEN_H = 1280, 800
PANEL_W, PANEL_H = 320, 420
STAGING_NAME = "QELStashlet"


class Failure(AssertionError):
    pass


def log(*parts):
    print("[%s %7.2fs]" % (_log_tag, time.monotonic() - START), *parts, file=_log_stream,
          flush=True)


def log_to(tag, stream):
    """Where log() writes, and the tag its lines begin with."""
    global _log_tag, _log_stream
    _log_tag, _log_stream = tag, stream


START = time.monotonic()
_log_tag = "e2e"
_log_stream = sys.stdout


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(predicate, timeout, what, interval=0.05):
    """Polls until predicate() returns a true value; fails naming `what`."""
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            value = predicate()
            if value:
                return value
        except (OSError, subprocess.SubprocessError, ValueError) as error:
            # Windows and files come and go while we look at them.
            last_error = error
        if time.monotonic() >= deadline:
            detail = f" (last error: {last_error})" if last_error else ""
            raise Failure(f"timed out after {timeout:.1f}s waiting for {what}{detail}")
        time.sleep(interval)


def stays(predicate, duration, what, interval=0.05):
    """Fails if predicate() turns false at any poll during `duration`."""
    deadline = time.monotonic() + duration
    while time.monotonic() < deadline:
        check(predicate(), f"{what} did not hold for {duration:.1f}s")
        time.sleep(interval)


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def parse_ppm(data):
    """A binary PPM (P6, 8 bits) as (width, height, rgb bytes)."""
    tokens, pos = [], 0
    while len(tokens) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        tokens.append(data[pos:end])
        pos = end
    check(tokens[0] == b"P6" and tokens[3] == b"255", "unexpected image format from a screenshot")
    w, h = int(tokens[1]), int(tokens[2])
    return w, h, data[pos + 1:pos + 1 + w * h * 3]


# --- Xlib through ctypes: only for questions xdotool cannot answer ---------

_CLIENT_MESSAGE = 33


class _XClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]


class Xlib:
    def __init__(self, display):
        self.x = ctypes.CDLL("libX11.so.6")
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x.XInternAtom.restype = ctypes.c_ulong
        self.x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        self.x.XGetSelectionOwner.restype = ctypes.c_ulong
        self.x.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.display = display

    def can_open(self):
        dpy = self.x.XOpenDisplay(self.display.encode())
        if dpy:
            self.x.XCloseDisplay(dpy)
        return bool(dpy)

    def ask_to_close(self, wid):
        """Sends `wid` the window manager's close request (WM_DELETE_WINDOW), as
        the close button of its frame would."""
        dpy = self.x.XOpenDisplay(self.display.encode())
        check(dpy, "cannot open the display")
        try:
            event = _XClientMessageEvent(
                type=_CLIENT_MESSAGE, window=wid, format=32,
                message_type=self.x.XInternAtom(dpy, b"WM_PROTOCOLS", 0))
            event.data[0] = self.x.XInternAtom(dpy, b"WM_DELETE_WINDOW", 0)
            event.data[1] = 0  # CurrentTime
            self.x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int,
                                          ctypes.c_long, ctypes.c_void_p]
            self.x.XFlush.argtypes = [ctypes.c_void_p]
            check(self.x.XSendEvent(dpy, wid, 0, 0, ctypes.byref(event)), "XSendEvent failed")
            self.x.XFlush(dpy)
        finally:
            self.x.XCloseDisplay(dpy)

    def selection_owner(self, name):
        dpy = self.x.XOpenDisplay(self.display.encode())
        if not dpy:
            return 0
        try:
            atom = self.x.XInternAtom(dpy, name.encode(), 0)
            return self.x.XGetSelectionOwner(dpy, atom)
        finally:
            self.x.XCloseDisplay(dpy)


# --- the session: X server, bus, tray, folders ----------------------------

class Window:
    def __init__(self, wid, x, y, w, h, viewable):
        self.id, self.x, self.y, self.w, self.h, self.viewable = wid, x, y, w, h, viewable

    @property
    def centre(self):
        return self.x + self.w // 2, self.y + self.h // 2

    def __repr__(self):
        state = "viewable" if self.viewable else "hidden"
        return f"<window {self.id} {self.w}x{self.h}+{self.x}+{self.y} {state}>"


def panel_content(win):
    """The panel's content inside its window, or None when `win` is no panel.

    Where a compositor can show it, the window has room for the panel's
    shadow, as much on every side.
    """
    margin = (win.w - PANEL_W) // 2
    if not win.viewable or margin < 0 or (win.w - PANEL_W, win.h - PANEL_H) != (2 * margin,) * 2:
        return None
    content = Window(win.id, win.x + margin, win.y + margin, PANEL_W, PANEL_H, True)
    content.__dict__.update({k: v for k, v in win.__dict__.items()
                             if k not in ("x", "y", "w", "h")})
    return content


class Session:
    TOOLS = ("Xvfb", "trayer", "pcmanfm", "xdotool", "xwininfo", "import", "dbus-daemon")

    def __init__(self, binary, within=None):
        """`within`: the folder to make the session's own folder in (the system's
        temporary folder when None)."""
        self.binary = os.path.abspath(binary)
        check(os.access(self.binary, os.X_OK), f"no executable at {self.binary}")
        missing = self.missing_tools()
        check(not missing, f"{', '.join(missing)} missing: run scripts/setup")
        self.root = tempfile.mkdtemp(prefix="stashlet-e2e-", dir=within)
        self.home = self.mkdir("home")
        self.tmp = self.mkdir("tmp")
        self.runtime = self.mkdir("run")
        self.files = self.mkdir("files")
        self.logs = self.mkdir("logs")
        self.staging = os.path.join(self.tmp, STAGING_NAME)
        self.procs = {}
        self.app = None
        self.display = None
        self.env = None
        self.last_click = 0.0

    @classmethod
    def missing_tools(cls):
        return [tool for tool in cls.TOOLS if not shutil.which(tool)]

    def mkdir(self, name, mode=0o700):
        path = os.path.join(self.root, name)
        os.makedirs(path, mode=mode, exist_ok=True)
        os.chmod(path, mode)
        return path

    def log_file(self, name):
        return open(os.path.join(self.logs, name + ".log"), "ab")

    # Start-up ---------------------------------------------------------

    def start(self):
        self.start_x()
        self.start_bus()
        self.start_tray()

    def start_x(self):
        read_fd, write_fd = os.pipe()
        # -displayfd lets the server pick a free display itself, so parallel
        # runs never race for a number.
        self.procs["xvfb"] = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", f"{SCREEN_W}x{SCREEN_H}x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_fd,), stdout=self.log_file("xvfb"), stderr=subprocess.STDOUT,
            env=self.base_env(), start_new_session=True)
        os.close(write_fd)
        number = b""
        with os.fdopen(read_fd, "rb") as pipe:
            deadline = time.monotonic() + 15
            while not number.endswith(b"\n") and time.monotonic() < deadline:
                chunk = pipe.read(1)
                if not chunk:
                    break
                number += chunk
        check(number.strip().isdigit(), "Xvfb did not report a display number")
        self.display = ":" + number.decode().strip()
        self.xlib = Xlib(self.display)
        wait_for(self.xlib.can_open, 10, "the X server to accept clients")
        log("X server on", self.display)

    def base_env(self):
        env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": self.home,
            "TMPDIR": self.tmp,
            "XDG_RUNTIME_DIR": self.runtime,
            "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
            "XDG_CACHE_HOME": os.path.join(self.home, ".cache"),
            "XDG_DATA_HOME": os.path.join(self.home, ".local", "share"),
            "LANG": "C.UTF-8",
            "NO_AT_BRIDGE": "1",
            "QT_QPA_PLATFORM": "xcb",
            # Every process of this run carries it, so the clean-up finds
            # them all, including any a child started on its own.
            "STASHLET_E2E_RUN": self.root,
        }
        for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"):
            if name in os.environ:
                env[name] = os.environ[name]
        if self.display:
            env["DISPLAY"] = self.display
        if self.env and "DBUS_SESSION_BUS_ADDRESS" in self.env:
            env["DBUS_SESSION_BUS_ADDRESS"] = self.env["DBUS_SESSION_BUS_ADDRESS"]
        return env

    def start_bus(self):
        socket = os.path.join(self.runtime, "bus")
        self.procs["dbus"] = subprocess.Popen(
            ["dbus-daemon", "--session", "--nofork", "--nopidfile", f"--address=unix:path={socket}"],
            stdout=self.log_file("dbus"), stderr=subprocess.STDOUT, env=self.base_env(),
            start_new_session=True)
        wait_for(lambda: os.path.exists(socket), 10, "the session bus socket")
        self.env = self.base_env()
        self.env["DBUS_SESSION_BUS_ADDRESS"] = f"unix:path={socket}"

    def start_tray(self):
        self.procs["trayer"] = subprocess.Popen(
            ["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
             "--height", "24", "--SetDockType", "true", "--transparent", "false"],
            stdout=self.log_file("trayer"), stderr=subprocess.STDOUT, env=self.env,
            start_new_session=True)
        # The program asks once, at start, whether a tray exists.
        wait_for(lambda: self.xlib.selection_owner("_NET_SYSTEM_TRAY_S0"), 15,
                 "trayer to own the tray selection")

    def launch(self, extra_env=None, binary=None):
        """Starts the program, or another `binary` in its place, not waiting for it;
        returns the Popen."""
        env = dict(self.env)
        env.update(extra_env or {})
        name = "app" if binary is None else os.path.basename(binary)
        return subprocess.Popen([binary or self.binary], stdout=self.log_file(name),
                                stderr=subprocess.STDOUT, env=env, start_new_session=True)

    def start_app(self):
        self.app = self.launch()
        icon = wait_for(self.tray_icon, 20, "the tray icon to appear")
        log("tray icon", icon)
        return icon

    # X queries ----------------------------------------------------------

    def run(self, args, timeout=10):
        return subprocess.run(args, env=self.env or self.base_env(), capture_output=True,
                              timeout=timeout, text=True)

    def bus_has(self, name):
        """Whether someone owns `name` on the session bus."""
        result = self.run(["gdbus", "call", "--session", "--dest", "org.freedesktop.DBus",
                           "--object-path", "/org/freedesktop/DBus", "--method",
                           "org.freedesktop.DBus.NameHasOwner", name])
        return result.returncode == 0 and "true" in result.stdout

    def xdo(self, *args):
        result = self.run(["xdotool", *map(str, args)])
        check(result.returncode == 0, f"xdotool {' '.join(map(str, args))} failed: {result.stderr}")
        return result.stdout

    def window(self, wid):
        result = self.run(["xwininfo", "-id", str(wid)])
        if result.returncode != 0:
            return None
        fields = {}
        for line in result.stdout.splitlines():
            key, sep, value = line.strip().partition(":")
            if sep:
                fields[key.strip()] = value.strip()
        return Window(wid, int(fields["Absolute upper-left X"]), int(fields["Absolute upper-left Y"]),
                      int(fields["Width"]), int(fields["Height"]),
                      fields.get("Map State") == "IsViewable")

    def windows(self, *search):
        result = self.run(["xdotool", "search", *search])
        found = []
        for wid in result.stdout.split():
            w = self.window(wid)
            if w is not None:
                found.append(w)
        return found

    def app_windows(self):
        return self.windows("--class", "^qel-stashlet$")

    def tray_icon(self):
        icons = [w for w in self.app_windows() if w.viewable and w.w <= 64 and w.h <= 64]
        return icons[0] if len(icons) == 1 else None

    def panel(self):
        """The panel when it is on screen, else None: the rectangle of its content."""
        panels = [c for c in map(panel_content, self.app_windows()) if c]
        check(len(panels) <= 1, f"more than one panel on screen: {panels}")
        return panels[0] if panels else None

    def open_panel(self):
        icon = wait_for(self.tray_icon, 10, "the tray icon")
        self.click(*icon.centre)
        return wait_for(self.panel, 10, "the panel to show after a click on the tray icon")

    # Input ----------------------------------------------------------------

    def move(self, x, y):
        self.xdo("mousemove", x, y)

    def press(self, button=1):
        self.xdo("mousedown", button)

    def release(self, button=1):
        self.xdo("mouseup", button)

    def key(self, combo):
        """Presses and releases a key combination in xdotool's notation (ctrl+a)."""
        self.xdo("key", combo)

    def focus(self, win):
        self.xdo("windowfocus", "--sync", win.id)

    def click(self, x, y, button=1):
        # Two clicks closer than the double-click interval (400 ms in Qt)
        # make a double click; a user toggling the panel clicks slower.
        wait = self.last_click + 0.6 - time.monotonic()
        if wait > 0:
            time.sleep(wait)
        self.move(x, y)
        time.sleep(0.05)
        self.press(button)
        time.sleep(0.05)
        self.release(button)
        self.last_click = time.monotonic()

    def park_pointer(self):
        # A spot no window covers, so nothing shows a hover state.
        self.move(700, SCREEN_H - 5)

    def drag(self, start, end, steps=14, pause=0.04):
        """Presses at start, moves in small steps, releases at end.

        XDND follows pointer motion: the source starts a drag only after it
        sees the pointer move past its threshold, and the target answers each
        position message, so the pointer must travel, not jump.
        """
        sx, sy = start
        ex, ey = end
        self.move(sx, sy)
        time.sleep(pause)
        self.press()
        try:
            for i in range(1, 5):
                time.sleep(pause)
                self.move(sx + 4 * i, sy + 2 * i)
            for i in range(1, steps + 1):
                time.sleep(pause)
                self.move(round(sx + (ex - sx) * i / steps), round(sy + (ey - sy) * i / steps))
            for dx, dy in ((2, 1), (-1, 2), (0, 0)):
                time.sleep(pause * 2)
                self.move(ex + dx, ey + dy)
            time.sleep(0.25)
        finally:
            self.release()

    # Screen ---------------------------------------------------------------

    def grab(self):
        """The root window as (width, height, rgb bytes)."""
        result = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"],
                                env=self.env, capture_output=True, timeout=20)
        check(result.returncode == 0, f"import failed: {result.stderr[-300:]!r}")
        return parse_ppm(result.stdout)

    @staticmethod
    def region(image, x, y, w, h):
        width, _, pixels = image
        return b"".join(pixels[((y + row) * width + x) * 3:((y + row) * width + x + w) * 3]
                        for row in range(h))

    def save_png(self, path, x=None, y=None, w=None, h=None):
        args = ["import", "-window", "root"]
        if w is not None:
            args += ["-crop", f"{w}x{h}+{x}+{y}", "+repage"]
        result = subprocess.run(args + [path], env=self.env, capture_output=True, timeout=20)
        check(result.returncode == 0, f"import failed: {result.stderr[-300:]!r}")

    # The file manager -----------------------------------------------------

    def configure_file_manager(self):
        folder = os.path.join(self.home, ".config", "pcmanfm", "default")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "pcmanfm.conf"), "w") as f:
            f.write("[config]\nsingle_click=0\n\n"
                    "[ui]\nwin_width=600\nwin_height=340\nmaximized=0\n"
                    "view_mode=list\nshow_hidden=0\nside_pane_mode=hidden\n"
                    "show_statusbar=1\n")

    def open_folder(self, path, x, y, w=600, h=340):
        """Opens a pcmanfm window on `path` and puts it at x,y."""
        title = os.path.basename(path)
        if "pcmanfm" not in self.procs:
            self.configure_file_manager()
        proc = subprocess.Popen(["pcmanfm", "--new-win", path], stdout=self.log_file("pcmanfm"),
                                stderr=subprocess.STDOUT, env=self.env, start_new_session=True)
        self.procs.setdefault("pcmanfm", proc)
        if proc is not self.procs["pcmanfm"]:
            self.procs["pcmanfm-" + title] = proc
        win = wait_for(lambda: next((w for w in self.windows("--name", f"^{title}$")
                                     if w.viewable and w.w > 100), None),
                       20, f"a pcmanfm window on {title}")
        def placed():
            # A window manager may still be placing the window when the first
            # request arrives and put it back where it chose: ask until it stays.
            # Its frame may keep a border of a pixel or two.
            now = self.window(win.id)
            if now and (now.w, now.h) == (w, h) and 0 <= now.x - x <= 2 and 0 <= now.y - y <= 2:
                return now
            self.xdo("windowsize", win.id, w, h)
            self.xdo("windowmove", win.id, x, y)
            return None
        return wait_for(placed, 10, f"the {title} window at {x},{y}", interval=0.2)

    def select_all_rows(self, win, expected_rows):
        """Selects everything in a folder window; returns a point on a selected row.

        Rows are found by what the selection changes on screen, not by
        assuming a theme's colours or a font's height.
        """
        self.park_pointer()
        self.focus(win)
        # The listing fills in after the window maps: compare against the
        # window once it has stopped changing, and read the selection once
        # it has too.
        before = self.settled_grab(win)
        self.key("ctrl+a")

        def selected_rows():
            rows = self.changed_rows(before, self.settled_grab(win), win)
            return rows if rows and self.changed_rows(before, self.settled_grab(win), win) == rows \
                else None
        rows = wait_for(selected_rows, 15, f"the selection to show in the {win.id} window")
        log("selected rows at y", rows)
        # Rows may touch; their combined height tells how many there are.
        top, bottom = rows[0][0], rows[-1][1]
        check(expected_rows > 0, "nothing to select")
        row_height = (bottom - top + 1) / expected_rows
        check(10 <= row_height <= 80,
              f"selection spans {bottom - top + 1}px for {expected_rows} rows: not a list view?")
        return win.x + win.w // 3, round(top + row_height / 2)

    def settled_grab(self, win, timeout=10):
        """The screen once the window's area is the same in two grabs in a row."""
        previous = [None]

        def same():
            image = self.grab()
            area = self.region(image, win.x, win.y, win.w, win.h)
            if area == previous[0]:
                return image
            previous[0] = area
            return None
        return wait_for(same, timeout, f"window {win.id} to stop changing", interval=0.15)

    def changed_rows(self, before, after, win):
        runs, run_start = [], None
        for y in range(win.y, win.y + win.h):
            a = self.region(before, win.x, y, win.w, 1)
            b = self.region(after, win.x, y, win.w, 1)
            changed = sum(1 for i in range(0, len(a), 3) if a[i:i + 3] != b[i:i + 3])
            # A selected row changes most of its width; a status bar text
            # change touches only a little of it.
            if changed > win.w * 0.5:
                if run_start is None:
                    run_start = y
            elif run_start is not None:
                runs.append((run_start, y - 1))
                run_start = None
        if run_start is not None:
            runs.append((run_start, win.y + win.h - 1))
        # A line or two (Thunar's status bar border when the selection
        # changes) is no row.
        return [(top, bottom) for top, bottom in runs if bottom - top >= 3]

    # Staging folder -------------------------------------------------------

    def staged(self):
        try:
            return sorted(os.listdir(self.staging))
        except FileNotFoundError:
            return []

    def staged_path(self, name):
        return os.path.join(self.staging, name)

    def make_files(self, folder_name, sizes, suffix=".bin"):
        folder = os.path.join(self.files, folder_name)
        os.makedirs(folder)
        contents = {}
        for i, size in enumerate(sizes, 1):
            name = f"file{i}{suffix}"
            data = os.urandom(size)
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
            contents[name] = data
        return folder, contents

    def drop_from_file_manager(self, folder, count, panel, arrived=None):
        """Opens `folder` in pcmanfm, selects its `count` files and drags them onto the panel.

        The drop has reached the program once `arrived()` is true; by default,
        once the staging folder shows something new. A large file shows there
        only when its copy is whole, so who drops such files says what to
        look for instead.
        """
        win = self.open_folder(folder, 0, 40)
        start = self.select_all_rows(win, count)
        target = (panel.x + PANEL_W // 2, panel.y + PANEL_H // 2)
        before = self.staged()

        def staging_changed():
            return self.staged() != before and self.staged()
        arrived = arrived or staging_changed
        for attempt in (1, 2):
            self.drag(start, target)
            try:
                return wait_for(arrived, 10, "a drop from the file manager to reach the program")
            except Failure:
                # An XDND exchange that never started changes nothing at
                # all; anything else is the program's doing and must fail.
                if attempt == 2 or self.staged() != before or arrived():
                    raise
                log("the drag changed nothing; dragging once more")
                self.park_pointer()
        return None

    # Clean-up -------------------------------------------------------------

    def our_pids(self):
        marker = f"STASHLET_E2E_RUN={self.root}".encode()
        pids = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit() or int(entry) == os.getpid():
                continue
            try:
                with open(f"/proc/{entry}/environ", "rb") as f:
                    if marker in f.read().split(b"\0"):
                        pids.append(int(entry))
            except OSError:
                continue
        return pids

    def report_failure(self, case):
        if self.display:
            shot = os.path.abspath(f"e2e-failure-{case}.png")
            try:
                self.save_png(shot)
                log("screen at failure saved to", shot)
            except Exception as error:  # noqa: BLE001 - diagnostics only
                log("no screenshot:", error)
        for name in sorted(os.listdir(self.logs)):
            with open(os.path.join(self.logs, name), "rb") as f:
                text = f.read().decode(errors="replace")[-3000:]
            print(f"----- {name} -----\n{text}", flush=True)

    def close(self):
        procs = [p for p in [self.app, *self.procs.values()] if p is not None]
        for p in procs:
            if p.poll() is None:
                try:
                    p.terminate()
                except ProcessLookupError:
                    pass
        deadline = time.monotonic() + 3
        for p in procs:
            try:
                p.wait(max(0.05, deadline - time.monotonic()))
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
        # Whatever the children started on their own (a second instance,
        # a helper the bus activated) is found by the marker in its
        # environment and ended by its id.
        for sig in (signal.SIGTERM, signal.SIGKILL):
            pids = self.our_pids()
            for pid in pids:
                try:
                    os.kill(pid, sig)
                except ProcessLookupError:
                    pass
            if pids:
                wait_until = time.monotonic() + 2
                while self.our_pids() and time.monotonic() < wait_until:
                    time.sleep(0.05)
        shutil.rmtree(self.root, ignore_errors=True)

