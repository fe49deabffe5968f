# SPDX-License-Identifier: MIT
"""GNOME's login race: the program registers its tray item while the
AppIndicator extension's watcher has only just appeared, on a loaded machine.

One shell serves every start. Before each start the extension is disabled and
enabled again through Eval, as the shell enables it at login, and the program
starts at once. The item counts as shown when, a few seconds later, the
watcher lists it and the shell logged nothing about failing to set it up.

The race it hunts: for an item registered by a well-known name the extension
sends the proxy's GetAll to the item and then starts watching that name. When
the shell's main thread is held up between the two (preempted on a loaded
machine) long enough for the item to answer, the answer fills the proxy's
cache first and the watch's first report then empties Id and Menu before the
extension looks at them; reading them back throws "Argument two may not be
null" and the item is dropped. Registered by path there is no watch and no
race. Load alone hits that window now and then; "stall" holds the shell
exactly there, so the race is lost on demand wherever it can be lost.
"""

import os
import signal
import subprocess
import time

from common import Failure, log, wait_for
from gnome import GNOME_EXTENSION, Gnome

# The shell's log lines that mean the extension gave the item up.
LOST_LINES = ("While initalizing proxy", "Impossible to get basic properties")
WAIT_S = 6.0


class Load:
    """What runs beside the starts: CPU hogs, and the stall that opens the
    race's window on demand."""

    def __init__(self, recipe):
        # Comma-separated: "none"; "cpu:N", N hogs anywhere; "shell-cpu:N", N
        # hogs on the one CPU the shell's main thread is then held to;
        # "stall:MS", the shell held MS ms where preemption loses the item.
        self.recipe = recipe
        self.hogs, self.pin, self.stall = 0, False, 0
        for piece in filter(None, recipe.split(",")):
            key, _, value = piece.partition(":")
            if key in ("cpu", "shell-cpu"):
                self.hogs, self.pin = int(value or 1), key == "shell-cpu"
            elif key == "stall":
                self.stall = int(value)
            elif key != "none":
                raise ValueError(f"unknown load {piece!r}")
        self.proc = None

    def start(self, desk):
        cpus = sorted(os.sched_getaffinity(0))
        pin = self.pin and len(cpus) > 1
        if pin:
            # Only the main thread: the shell's D-Bus worker still reads
            # replies as they come, and they wait there for the main loop.
            os.sched_setaffinity(shell_pid(desk), {cpus[0]})
        if self.stall:
            # Where a loaded machine preempting the shell loses the item:
            # after the extension has asked for the item's properties, before
            # it starts watching the item's name. Held there, the properties
            # arrive before the watch reports in, as in the lost starts.
            desk.eval(f"""(() => {{ const Gio = imports.gi.Gio;
                const proto = Gio.DBusConnection.prototype;
                global._raceWatchName = global._raceWatchName || proto.watch_name;
                proto.watch_name = function (name, ...rest) {{
                    if (name.startsWith('org.kde.StatusNotifierItem-')) {{
                        const end = GLib.get_monotonic_time() + {self.stall * 1000};
                        while (GLib.get_monotonic_time() < end);
                    }}
                    return global._raceWatchName.call(this, name, ...rest);
                }}; return true; }})()""")
        if self.hogs:
            args = ["stress-ng", "--cpu", str(self.hogs), "--quiet"]
            if pin:
                args = ["taskset", "-c", str(cpus[0])] + args
            self.proc = subprocess.Popen(args, stdout=subprocess.DEVNULL,
                                         stderr=subprocess.DEVNULL, start_new_session=True)
            time.sleep(1.0)

    def stop(self):
        if self.proc is not None and self.proc.poll() is None:
            os.killpg(self.proc.pid, signal.SIGTERM)
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                os.killpg(self.proc.pid, signal.SIGKILL)
                self.proc.wait()


def shell_pid(desk):
    for pid in desk.our_pids():
        try:
            with open(f"/proc/{pid}/comm") as f:
                if f.read().strip() == "gnome-shell":
                    return pid
        except OSError:
            pass
    raise Failure("no gnome-shell process")


def restart_extension(desk):
    desk.eval(f"Main.extensionManager.disableExtension('{GNOME_EXTENSION}'); "
              f"Main.extensionManager.enableExtension('{GNOME_EXTENSION}'); true")
    wait_for(lambda: desk.bus.name_has_owner("org.kde.StatusNotifierWatcher"), 10,
             "the extension's watcher")


def owner_pid(desk, entry):
    """The process behind a watcher's entry or a log line's item id."""
    name = entry.split("@")[0].split("/")[0]
    try:
        return int(desk.bus.get_object("org.freedesktop.DBus", "/org/freedesktop/DBus")
                   .GetConnectionUnixProcessID(name, dbus_interface="org.freedesktop.DBus"))
    except Exception:  # noqa: BLE001 - a name already gone belongs to nobody
        return None


def one_start(desk, n, shell_log, command):
    with open(shell_log, "rb") as f:
        f.seek(0, os.SEEK_END)
        offset = f.tell()
    restart_extension(desk)
    app = desk.spawn(f"app-{n}", command)
    time.sleep(WAIT_S)
    try:
        items = desk.sni_items()
    except Exception as error:  # noqa: BLE001 - a watcher that cannot answer lists nothing
        items = [f"(unreadable: {error})"]
    # Registered by name the entry carries the pid; by path, the connection's
    # unique name, asked of the bus while the program still runs.
    ours = lambda text: f"-{app.pid}-" in text or any(  # noqa: E731
        owner_pid(desk, word) == app.pid for word in text.split() if word.startswith(":1."))
    listed = [i for i in items if ours(i)]
    with open(shell_log, "rb") as f:
        f.seek(offset)
        lines = f.read().decode(errors="replace").splitlines()
    lost = [line.split(": ", 2)[-1] for line in lines
            if any(mark in line for mark in LOST_LINES) and ours(line.replace(",", " "))]
    os.killpg(app.pid, signal.SIGTERM)
    try:
        app.wait(5)
    except subprocess.TimeoutExpired:
        os.killpg(app.pid, signal.SIGKILL)
        app.wait()
    # The next start must meet a watcher that has let this item go.
    time.sleep(0.5)
    return bool(listed) and not lost, listed, lost


FAKE_ITEM = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fakeitem.py")


def race(program, starts, load_recipe, shots, tag, debug=False):
    """PROGRAM is a built qel-stashlet, or fake:name / fake:path for the bare
    item of fakeitem.py registering by a name of its own or by its path."""
    load = Load(load_recipe)
    fake = program.partition("fake:")[2] if program.startswith("fake:") else None
    desk = Gnome(FAKE_ITEM if fake else program, shots, tag)
    command = ["/usr/bin/python3", desk.program, fake] if fake else [desk.program]
    if debug:
        # The extension's own account: names appearing, items registering.
        desk.env["G_MESSAGES_DEBUG"] = "Ubuntu-AppIndicators"
    shown = 0
    try:
        desk.start()
        desk.env.pop("G_MESSAGES_DEBUG", None)
        shell_log = os.path.join(desk.logs, "gnome-shell.log")
        load.start(desk)
        for n in range(1, starts + 1):
            ok, listed, lost = one_start(desk, n, shell_log, command)
            shown += ok
            print(f"start {n:2}: {'icon shown' if ok else 'icon LOST'}; watcher lists "
                  f"{', '.join(listed) or 'nothing of it'}"
                  + (f"; shell: {' | '.join(lost)}" if lost else ""), flush=True)
        print(f"icon shown in {shown} of {starts} starts (load: {load.recipe})", flush=True)
        return shown
    finally:
        load.stop()
        if debug:
            kept = os.path.abspath(f"heavy-race-{tag}-gnome-shell.log")
            try:
                with open(os.path.join(desk.logs, "gnome-shell.log"), "rb") as src, \
                        open(kept, "wb") as dst:
                    dst.write(src.read())
                log("shell log kept at", kept)
            except OSError:
                pass
        desk.close()
