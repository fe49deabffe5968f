# SPDX-License-Identifier: MIT
"""Measures qel-stashlet running on a private X desktop with a tray.

What a user waits for or pays while the program sits in the tray: how long it
takes to quit with large copies in flight and what that leaves behind, how
often it wakes up while idle, how soon its icon is in the tray after start and
how much memory it holds, the last two against a bare Qt tray program.
Every desktop comes from tests/e2e/xsession.py, so the benchmark drives the
program exactly as the end-to-end checks do.
"""

import ctypes
import os
import select
import signal
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))

from xsession import Failure, Session, check, log, wait_for  # noqa: E402

GIB = 1 << 30
MIB = 1 << 20


# --- when the tray takes an icon in ------------------------------------------

class _XReparentEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("event", ctypes.c_ulong),
                ("window", ctypes.c_ulong), ("parent", ctypes.c_ulong), ("x", ctypes.c_int),
                ("y", ctypes.c_int), ("override_redirect", ctypes.c_int)]


class _XEvent(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("xreparent", _XReparentEvent),
                ("pad", ctypes.c_long * 24)]


_DESTROY_NOTIFY = 17
_UNMAP_NOTIFY = 18
_REPARENT_NOTIFY = 21
_STRUCTURE_NOTIFY_MASK = 1 << 17
_SUBSTRUCTURE_NOTIFY_MASK = 1 << 19
_XA_CARDINAL = 6
_ErrorHandler = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)


class DockWatcher:
    """Timestamps the moment a tray reparents a program's icon window into itself.

    A tray host takes an icon in by reparenting its window (XEMBED), and the
    root window reports that to whoever selected SubstructureNotify on it, so
    the moment is read from the event as it arrives, not found by polling.
    Open it before starting the program, so no event can be missed.
    """

    def __init__(self, display):
        x = ctypes.CDLL("libX11.so.6")
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
        x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x.XConnectionNumber.argtypes = [ctypes.c_void_p]
        x.XPending.argtypes = [ctypes.c_void_p]
        x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.POINTER(_XEvent)]
        x.XInternAtom.restype = ctypes.c_ulong
        x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x.XGetWindowProperty.argtypes = [
            ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_long, ctypes.c_long,
            ctypes.c_int, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
            ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_ulong),
            ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_void_p)]
        x.XFree.argtypes = [ctypes.c_void_p]
        x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        x.XSetErrorHandler.restype = ctypes.c_void_p
        x.XSetErrorHandler.argtypes = [_ErrorHandler]
        self.x = x
        # An icon window may be gone by the time it is asked about; Xlib's
        # default answer to that error is to end the process.
        self._ignore_errors = _ErrorHandler(lambda _dpy, _error: 0)
        x.XSetErrorHandler(self._ignore_errors)
        self.dpy = x.XOpenDisplay(display.encode())
        check(self.dpy, f"cannot open the display {display}")
        self.root = x.XDefaultRootWindow(self.dpy)
        self.pid_atom = x.XInternAtom(self.dpy, b"_NET_WM_PID", 0)
        x.XSelectInput(self.dpy, self.root, _SUBSTRUCTURE_NOTIFY_MASK)
        x.XSync(self.dpy, 0)
        self.fd = x.XConnectionNumber(self.dpy)

    def close(self):
        if self.dpy:
            self.x.XCloseDisplay(self.dpy)
            self.dpy = None

    def window_pid(self, window):
        """The window's _NET_WM_PID, or None where it has none."""
        actual_type, actual_format = ctypes.c_ulong(), ctypes.c_int()
        count, after, data = ctypes.c_ulong(), ctypes.c_ulong(), ctypes.c_void_p()
        status = self.x.XGetWindowProperty(
            self.dpy, window, self.pid_atom, 0, 1, 0, _XA_CARDINAL, ctypes.byref(actual_type),
            ctypes.byref(actual_format), ctypes.byref(count), ctypes.byref(after),
            ctypes.byref(data))
        try:
            if status != 0 or count.value != 1 or actual_format.value != 32:
                return None
            # Format-32 properties come back as C longs.
            return ctypes.cast(data, ctypes.POINTER(ctypes.c_long))[0]
        finally:
            if data:
                self.x.XFree(data)

    def watch(self, window):
        """Reports, from now on, when `window` is unmapped or destroyed."""
        self.x.XSelectInput(self.dpy, window, _STRUCTURE_NOTIFY_MASK)
        self.x.XSync(self.dpy, 0)

    def wait_gone(self, timeout):
        """The monotonic time at which a watched window was unmapped or destroyed."""
        deadline = time.monotonic() + timeout
        event = _XEvent()
        arrived = time.monotonic()
        while True:
            while self.x.XPending(self.dpy):
                self.x.XNextEvent(self.dpy, ctypes.byref(event))
                if event.type in (_UNMAP_NOTIFY, _DESTROY_NOTIFY):
                    return arrived
            left = deadline - time.monotonic()
            if left <= 0:
                raise Failure(f"the icon window was still there after {timeout:.0f} s")
            select.select([self.fd], [], [], left)
            arrived = time.monotonic()

    def wait_docked(self, pid, timeout):
        """The monotonic time at which a window of `pid` was reparented off the root."""
        deadline = time.monotonic() + timeout
        event = _XEvent()
        arrived = time.monotonic()
        while True:
            while self.x.XPending(self.dpy):
                self.x.XNextEvent(self.dpy, ctypes.byref(event))
                if event.type != _REPARENT_NOTIFY or event.xreparent.parent == self.root:
                    continue
                owner = self.window_pid(event.xreparent.window)
                if owner in (pid, None):
                    return arrived
            left = deadline - time.monotonic()
            if left <= 0:
                raise Failure(f"no tray icon of process {pid} docked within {timeout:.0f} s")
            # Stamped as the server's bytes arrive, before Xlib reads them.
            select.select([self.fd], [], [], left)
            arrived = time.monotonic()


# --- a process from the outside ---------------------------------------------

def status_kib(pid, field):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    raise Failure(f"no {field} for process {pid}")


def pss_kib(pid):
    with open(f"/proc/{pid}/smaps_rollup") as f:
        for line in f:
            if line.startswith("Pss:"):
                return int(line.split()[1])
    raise Failure(f"no Pss for process {pid}")


def context_switches(pid):
    """{tid: (thread name, voluntary + involuntary switches)} for every thread."""
    threads = {}
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/status") as f:
                fields = dict(line.split(":", 1) for line in f if ":" in line)
        except OSError:
            continue  # a thread that ended meanwhile
        threads[int(tid)] = (fields["Name"].strip(),
                             int(fields["voluntary_ctxt_switches"])
                             + int(fields["nonvoluntary_ctxt_switches"]))
    return threads


def cpu_ticks(pid):
    """User + system clock ticks of the whole process so far."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def count_switches(pid, seconds):
    """Switches of all the process's threads over `seconds`, in total and by thread.

    With no input, a thread is switched in only when a timer fires or something
    wakes it for no reason, and each such wake-up ends in one switch out, so
    the count bounds the timer wake-ups from above. /proc is read from outside:
    looking does not wake the program.
    """
    before, ticks = context_switches(pid), cpu_ticks(pid)
    time.sleep(seconds)
    after, ticks = context_switches(pid), cpu_ticks(pid) - ticks
    by_thread = []
    for tid, (name, n) in sorted(after.items()):
        delta = n - before.get(tid, (name, 0))[1]
        if delta:
            by_thread.append((tid, name, delta))
    gone = sorted(set(before) - set(after))
    return sum(d for _, _, d in by_thread), by_thread, gone, ticks


def stop(proc, sig=signal.SIGTERM, timeout=10):
    if proc.poll() is None:
        try:
            proc.send_signal(sig)
        except ProcessLookupError:
            pass
    try:
        proc.wait(timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


# --- start-up time and idle memory ------------------------------------------

def start_once(session, binary, settle):
    """Starts `binary`, returns (ms to icon docked, VmRSS KiB, Pss KiB), ends it."""
    watcher = DockWatcher(session.display)
    try:
        started = time.monotonic()
        proc = session.launch(binary=binary)
        try:
            docked = watcher.wait_docked(proc.pid, 20)
            time.sleep(settle)
            check(proc.poll() is None, f"{os.path.basename(binary)} ended by itself")
            return (docked - started) * 1000, status_kib(proc.pid, "VmRSS"), pss_kib(proc.pid)
        finally:
            stop(proc)
    finally:
        watcher.close()


def measure_startup(ours, bare, within, runs=7, settle=3.0):
    """Alternates the two programs on one desktop; the first pair warms caches up."""
    results = {ours: [], bare: []}
    session = Session(ours, within=within)
    try:
        session.start()
        for i in range(runs + 1):
            # ABBA order, so a drift in the machine's load favours neither.
            for binary in ((ours, bare) if i % 2 == 0 else (bare, ours)):
                sample = start_once(session, binary, settle)
                log(f"start {os.path.basename(binary)}: {sample[0]:.1f} ms to the tray, "
                    f"VmRSS {sample[1]} KiB, Pss {sample[2]} KiB" + (" (warm-up)" if i == 0 else ""))
                if i:
                    results[binary].append(sample)
    finally:
        session.close()

    def medians(samples):
        return [statistics.median(column) for column in zip(*samples)]
    return {"ours": medians(results[ours]), "bare": medians(results[bare]), "runs": runs}


# --- wake-ups while idle ----------------------------------------------------

def measure_wakeups(binary, within, seconds=10.0, settle=3.0):
    """Switches over `seconds` with the panel hidden, then with it shown."""
    session = Session(binary, within=within)
    try:
        session.start()
        session.park_pointer()
        session.start_app()
        time.sleep(settle)
        hidden = count_switches(session.app.pid, seconds)
        log(f"panel hidden: {hidden[0]} switches in {seconds:.0f} s; by thread {hidden[1]}")
        # A second start asks the running program to toggle its panel.
        second = session.launch()
        try:
            status = second.wait(15)
        except subprocess.TimeoutExpired:
            raise Failure("the second start is still running after 15 s")
        check(status == 0, f"the second start ended with status {status}")
        wait_for(session.panel, 10, "the panel to show after a second start")
        time.sleep(settle)
        check(session.panel() is not None, "the panel hid by itself")
        shown = count_switches(session.app.pid, seconds)
        log(f"panel shown: {shown[0]} switches, {shown[3]} ticks in {seconds:.0f} s; "
            f"by thread {shown[1]}")
        folder, _ = session.make_files("five", [4096] * 5)
        panel = session.panel()
        session.drop_from_file_manager(folder, 5, panel,
                                       arrived=lambda: len(session.staged()) == 5)
        session.park_pointer()
        time.sleep(settle)
        rows = count_switches(session.app.pid, seconds)
        log(f"five rows: {rows[0]} switches, {rows[3]} ticks in {seconds:.0f} s; "
            f"by thread {rows[1]}")
        check(session.app.poll() is None, "the program ended")
        return {"seconds": seconds, "hidden": hidden, "shown": shown, "rows": rows}
    finally:
        session.close()


# --- quitting with copies in flight -----------------------------------------

def make_sources(folder, count, size):
    """`count` files of `size` bytes of real data: one random MiB over and over,
    so nothing is sparse and every byte must be copied."""
    os.makedirs(folder)
    block = os.urandom(MIB)
    names = []
    for i in range(1, count + 1):
        name = f"big{i}.bin"
        with open(os.path.join(folder, name), "wb") as f:
            for _ in range(size // MIB):
                f.write(block)
        names.append(name)
    # On disk before any timing starts, so no copy pays for writing them back.
    subprocess.run(["sync", "-f", folder], check=True)
    return names


def evict(folder, names):
    """Drops the sources from the page cache: a file dropped from a file manager
    is read from the disk, not from memory that happened to hold it."""
    for name in names:
        fd = os.open(os.path.join(folder, name), os.O_RDONLY)
        try:
            os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
        finally:
            os.close(fd)


def staged_sizes(session):
    sizes = {}
    for name in session.staged():
        try:
            sizes[name] = os.lstat(session.staged_path(name)).st_size
        except FileNotFoundError:
            pass
    return sizes


def copies_under_way(session):
    """{name: bytes so far} of the copies the program is making: what the
    staging folder shows, and the files it holds open there without a name yet
    (O_TMPFILE), read through /proc as "<folder>/#<inode> (deleted)" and keyed
    by that "#<inode>"."""
    sizes = staged_sizes(session)
    fds = f"/proc/{session.app.pid}/fd"
    prefix = os.path.realpath(session.staging) + "/"
    suffix = " (deleted)"
    try:
        entries = os.listdir(fds)
    except OSError:
        return sizes
    for fd in entries:
        path = os.path.join(fds, fd)
        try:
            target = os.readlink(path)
            if target.startswith(prefix + "#") and target.endswith(suffix):
                sizes[target[len(prefix):-len(suffix)]] = os.stat(path).st_size
        except OSError:
            continue  # closed meanwhile
    return sizes


def quit_once(binary, within, folder, names):
    session = Session(binary, within=within)
    try:
        session.start()
        session.start_app()
        panel = session.open_panel()
        evict(folder, names)
        session.drop_from_file_manager(folder, len(names), panel,
                                       arrived=lambda: copies_under_way(session))
        # The drop is seen at the first copy under way; the signal goes as
        # soon as every copy has begun.
        deadline = time.monotonic() + 20
        while len(in_flight := copies_under_way(session)) < len(names):
            check(time.monotonic() < deadline, f"only {in_flight} began copying")
            time.sleep(0.001)
        started = time.monotonic()
        os.kill(session.app.pid, signal.SIGTERM)
        try:
            session.app.wait(10)
        except subprocess.TimeoutExpired:
            raise Failure("the program is still running 10 s after SIGTERM")
        ms = (time.monotonic() - started) * 1000
        left = staged_sizes(session)
        complete = sorted(n for n, size in in_flight.items() if size >= GIB)
        log(f"quit in {ms:.1f} ms, status {session.app.returncode}; copied at the signal "
            f"{ {n: round(s / MIB) for n, s in in_flight.items()} } MiB; left {left}")
        return {"ms": ms, "status": session.app.returncode, "in_flight": in_flight,
                "complete_at_signal": complete, "left": left}
    finally:
        session.close()


def measure_quit(binary, within, runs=5, files=4, size=GIB):
    folder = os.path.join(within, "quit-sources")
    names = make_sources(folder, files, size)
    try:
        results = [quit_once(binary, within, folder, names) for _ in range(runs)]
    finally:
        for name in names:
            os.unlink(os.path.join(folder, name))
        os.rmdir(folder)
    times = [r["ms"] for r in results]
    return {"runs": results, "worst": max(times), "median": statistics.median(times),
            "files": files, "size": size}


# --- deleting many files at start and at quit --------------------------------

def make_tree(folder, files, per_folder=1000):
    """`files` files of 16 bytes in folders of `per_folder`."""
    os.makedirs(folder)
    data = b"0123456789abcdef"
    for d in range(files // per_folder):
        sub = os.path.join(folder, f"d{d}")
        os.mkdir(sub)
        for i in range(per_folder):
            fd = os.open(os.path.join(sub, f"f{i}"), os.O_WRONLY | os.O_CREAT, 0o644)
            os.write(fd, data)
            os.close(fd)
    subprocess.run(["sync", "-f", folder], check=True)


def time_rm(folder):
    started = time.monotonic()
    subprocess.run(["rm", "-rf", folder], check=True)
    return (time.monotonic() - started) * 1000


def start_with_leftovers(session, binary, files, empties, settle=2.0):
    """(ms to the icon docked, ms until the staging folder is empty or None, ms
    that rm -rf of what is left took) for `binary` started over a staging folder
    holding `files` leftover files. Each program meets the same freshly made,
    synced tree after the same pause, so the disk is equally busy for both; what
    the program leaves is removed with rm -rf, which is the reference."""
    make_tree(os.path.join(session.staging, "leftover"), files)
    time.sleep(settle)
    watcher = DockWatcher(session.display)
    try:
        started = time.monotonic()
        proc = session.launch(binary=binary)
        try:
            docked = watcher.wait_docked(proc.pid, 60)
            emptied = None
            deadline = time.monotonic() + 60
            while empties and session.staged() and time.monotonic() < deadline:
                time.sleep(0.002)
            if empties and not session.staged():
                emptied = (time.monotonic() - started) * 1000
        finally:
            stop(proc)
    finally:
        watcher.close()
    left = os.path.join(session.staging, "leftover")
    rm = time_rm(left) if os.path.lexists(left) else None
    return (docked - started) * 1000, emptied, rm


def measure_start_leftovers(ours, bare, within, runs=5, files=100_000):
    session = Session(ours, within=within)
    os.makedirs(session.staging, mode=0o700, exist_ok=True)
    results = {ours: [], bare: []}
    try:
        session.start()
        # Unmeasured starts over an empty folder first, so the first measured
        # start of neither program pays for loading it from disk.
        for binary in (ours, bare):
            start_once(session, binary, 0.5)
        for i in range(runs):
            # ABBA order, so a drift in the machine's load favours neither.
            for binary in ((ours, bare) if i % 2 == 0 else (bare, ours)):
                docked, emptied, rm = start_with_leftovers(session, binary, files, binary == ours)
                log(f"start over {files} leftovers {os.path.basename(binary)}: "
                    f"{docked:.1f} ms to the tray, "
                    + (f"empty at {emptied:.1f} ms" if emptied is not None else
                       f"left them; rm -rf took {rm:.1f} ms"))
                results[binary].append((docked, emptied, rm))
    finally:
        session.close()
    check(all(e is not None for _, e, _ in results[ours]), "the leftovers outlived a start")
    check(all(r is not None for _, _, r in results[bare]), "the bare program emptied the folder")
    return {"ours_docked": statistics.median(d for d, _, _ in results[ours]),
            "bare_docked": statistics.median(d for d, _, _ in results[bare]),
            "ours_emptied": statistics.median(e for _, e, _ in results[ours]),
            "rm": statistics.median(r for _, _, r in results[bare]), "runs": runs,
            "files": files}


def quit_many_once(binary, within, files, kill_after_ms=None):
    """Quits with a listed folder of `files` files: (ms to the icon gone, ms to the
    process gone, what is left of it then, ms the next start took to empty it)."""
    session = Session(binary, within=within)
    try:
        session.start()
        icon = session.start_app()
        panel = session.open_panel()
        source = os.path.join(session.files, "many")
        make_tree(source, files)
        session.drop_from_file_manager(session.files, 1, panel)
        staged = session.staged_path("many")

        def copied():
            return sum(len(names) for _, _, names in os.walk(staged)) >= files
        wait_for(copied, 900, "the folder to be staged", interval=0.5)
        time.sleep(2)  # listed a turn of the main loop after the copy ends
        watcher = DockWatcher(session.display)
        try:
            watcher.watch(int(icon.id))
            started = time.monotonic()
            os.kill(session.app.pid, signal.SIGTERM)
            gone = (watcher.wait_gone(10) - started) * 1000
        finally:
            watcher.close()
        if kill_after_ms is not None:
            time.sleep(max(0.0, kill_after_ms / 1000 - (time.monotonic() - started)))
            if session.app.poll() is None:
                os.kill(session.app.pid, signal.SIGKILL)
        session.app.wait(900)
        ended = (time.monotonic() - started) * 1000
        left = session.staged()
        next_start = None
        if left:
            restarted = time.monotonic()
            session.start_app()
            wait_for(lambda: not session.staged(), 900, "the next start to empty the folder",
                     interval=0.01)
            next_start = (time.monotonic() - restarted) * 1000
        log(f"quit with {files} files listed: icon gone {gone:.1f} ms, process gone "
            f"{ended:.1f} ms, left {left}, next start emptied in {next_start}")
        return {"icon_ms": gone, "exit_ms": ended, "left": left, "next_start_ms": next_start}
    finally:
        session.close()
