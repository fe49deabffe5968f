# SPDX-License-Identifier: MIT
"""The user, folders, session bus and processes one desktop runs with."""

import os
import pwd
import shutil
import signal
import subprocess
import tempfile
import time

import dbus

from common import STAGING, USER, Skip, wait_for

def test_user():
    try:
        entry = pwd.getpwnam(USER)
    except KeyError:
        subprocess.run(["useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin",
                        USER], check=True)
        entry = pwd.getpwnam(USER)
    return entry.pw_uid, entry.pw_gid


class Box:
    """Folders, a session bus and every process of one desktop's turn."""

    name = "box"

    def __init__(self, program, shots, tag):
        if os.geteuid() != 0:
            raise Skip("run as root: the desktop runs as a user the script makes")
        self.uid, self.gid = test_user()
        self.root = tempfile.mkdtemp(prefix=f"stashlet-heavy-{self.name}-")
        os.chmod(self.root, 0o755)
        self.home = self.mkdir("home")
        self.tmp = self.mkdir("tmp")
        self.run = self.mkdir("run", 0o700)
        self.files = self.mkdir("files", 0o755)
        self.logs = os.path.join(self.root, "logs")
        os.mkdir(self.logs)
        # Run from the build tree, the program finds its tray icon theme
        # beside it; only where the user cannot reach the tree does a copy
        # (without that theme) run instead.
        self.program = os.path.abspath(program)
        reach = subprocess.run(["test", "-x", self.program], user=self.uid, group=self.gid,
                               extra_groups=[])
        if reach.returncode != 0:
            self.program = os.path.join(self.root, "qel-stashlet")
            shutil.copy2(program, self.program)
            os.chmod(self.program, 0o755)
        self.staging = os.path.join(self.tmp, STAGING)
        self.shots, self.tag = shots, tag
        self.procs = {}
        self.env = {
            "PATH": "/usr/local/bin:/usr/bin:/bin",
            "HOME": self.home, "USER": USER, "LOGNAME": USER, "SHELL": "/bin/sh",
            "TMPDIR": self.tmp, "XDG_RUNTIME_DIR": self.run,
            "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
            "XDG_CACHE_HOME": os.path.join(self.home, ".cache"),
            "XDG_DATA_HOME": os.path.join(self.home, ".local", "share"),
            "LANG": "C.UTF-8", "NO_AT_BRIDGE": "1",
            "STASHLET_HEAVY_RUN": self.root,
        }
        self.bus = None
        os.makedirs("/tmp/.X11-unix", mode=0o1777, exist_ok=True)
        os.chmod("/tmp/.X11-unix", 0o1777)

    def mkdir(self, name, mode=0o700):
        path = os.path.join(self.root, name)
        os.makedirs(path, exist_ok=True)
        os.chown(path, self.uid, self.gid)
        os.chmod(path, mode)
        return path

    def log_file(self, name):
        return open(os.path.join(self.logs, name + ".log"), "ab")

    def spawn(self, name, args, extra=None, root=False):
        env = dict(self.env)
        env.update(extra or {})
        ids = {} if root else {"user": self.uid, "group": self.gid, "extra_groups": []}
        proc = subprocess.Popen(args, env=env, stdout=self.log_file(name),
                                stderr=subprocess.STDOUT, start_new_session=True,
                                cwd=self.home, **ids)
        self.procs[name] = proc
        return proc

    def spawn_piped(self, name, args):
        proc = subprocess.Popen(args, env=self.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=self.log_file(name), text=True, start_new_session=True,
                                cwd=self.home, user=self.uid, group=self.gid, extra_groups=[])
        self.procs[name] = proc
        return proc

    def as_user(self, args, extra=None, timeout=20):
        env = dict(self.env)
        env.update(extra or {})
        return subprocess.run(args, env=env, capture_output=True, text=True, timeout=timeout,
                              user=self.uid, group=self.gid, extra_groups=[], cwd=self.home)

    def start_bus(self):
        path = os.path.join(self.run, "bus")
        config = os.path.join(self.root, "session-bus.conf")
        # The session bus as the user has it, and root (this script) may call
        # on it too.
        with open(config, "w") as f:
            f.write('<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"'
                    ' "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">\n'
                    "<busconfig><include>/usr/share/dbus-1/session.conf</include>"
                    "<policy context=\"default\"><allow user=\"root\"/></policy></busconfig>\n")
        self.spawn("dbus", ["dbus-daemon", "--nofork", "--nopidfile", f"--config-file={config}",
                            f"--address=unix:path={path}"])
        wait_for(lambda: os.path.exists(path), 10, "the session bus")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = f"unix:path={path}"
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = self.env["DBUS_SESSION_BUS_ADDRESS"]
        self.bus = wait_for(lambda: dbus.bus.BusConnection(self.env["DBUS_SESSION_BUS_ADDRESS"]),
                            10, "a connection to the session bus")

    def shot_path(self, what):
        os.makedirs(self.shots, exist_ok=True)
        return os.path.join(self.shots, f"heavy-{self.tag}-{self.name}-{what}.png")

    def staged(self):
        try:
            return sorted(os.listdir(self.staging))
        except (FileNotFoundError, PermissionError):
            return []

    # The tray item, as the desktop's host sees it ------------------------

    def sni_items(self):
        watcher = self.bus.get_object("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher")
        return [str(i) for i in watcher.Get("org.kde.StatusNotifierWatcher",
                                            "RegisteredStatusNotifierItems",
                                            dbus_interface="org.freedesktop.DBus.Properties")]

    def sni_properties(self, item):
        service, _, path = item.partition("/")
        service = service.rstrip("@")
        obj = self.bus.get_object(service, "/" + path if path else "/StatusNotifierItem")
        props = obj.GetAll("org.kde.StatusNotifierItem",
                           dbus_interface="org.freedesktop.DBus.Properties")
        return {str(k): v for k, v in props.items()}

    def start_monitor(self):
        """Records the host's calls on the tray item and its menu."""
        self.spawn("monitor", ["dbus-monitor", "--session",
                               "type='method_call',interface='org.kde.StatusNotifierItem'",
                               "type='method_call',interface='com.canonical.dbusmenu'"])
        self.monitor_seen = 0

    def calls(self):
        """The calls recorded since the last look, as 'Member(int args)'."""
        with open(os.path.join(self.logs, "monitor.log"), "rb") as f:
            f.seek(self.monitor_seen)
            text = f.read().decode(errors="replace")
            self.monitor_seen = f.tell()
        calls = []
        for line in text.splitlines():
            if line.startswith("method call"):
                calls.append([line.rsplit("member=", 1)[-1], []])
            elif calls and line.strip().startswith(("int32 ", "string ")) and len(calls[-1][1]) < 3:
                calls[-1][1].append(line.strip().split(" ", 1)[1])
        return [f"{m}({', '.join(a)})" for m, a in calls if not m.startswith("GetLayout")]

    def our_pids(self):
        marker = f"STASHLET_HEAVY_RUN={self.root}".encode()
        found = []
        for entry in os.listdir("/proc"):
            if entry.isdigit() and int(entry) != os.getpid():
                try:
                    with open(f"/proc/{entry}/environ", "rb") as f:
                        if marker in f.read().split(b"\0"):
                            found.append(int(entry))
                except OSError:
                    pass
        return found

    def close(self):
        for proc in reversed(list(self.procs.values())):
            if proc.poll() is None:
                try:
                    os.killpg(proc.pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
        deadline = time.monotonic() + 4
        for proc in self.procs.values():
            try:
                proc.wait(max(0.05, deadline - time.monotonic()))
            except subprocess.TimeoutExpired:
                pass
        # What the desktop started on its own (Xwayland, portals, services the
        # bus activated) carries the marker; it is ended by its id.
        for sig in (signal.SIGTERM, signal.SIGKILL):
            pids = self.our_pids()
            for pid in pids:
                try:
                    os.kill(pid, sig)
                except ProcessLookupError:
                    pass
            end = time.monotonic() + 3
            while pids and self.our_pids() and time.monotonic() < end:
                time.sleep(0.1)
        shutil.rmtree(self.root, ignore_errors=True)
