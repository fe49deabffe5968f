# SPDX-License-Identifier: MIT
"""Just enough of the Wayland wire protocol to list a compositor's globals and
to drive KWin's fake input; run as a program, it serves that input to the root
script from inside the desktop user's session."""

import os
import socket
import struct
import sys

from common import Failure, Skip

class Wayland:
    """Speaks just enough of the wire protocol to list a compositor's globals
    and to drive KWin's org_kde_kwin_fake_input."""

    def __init__(self, path):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(path)
        self.next_id = 2
        self.buf = b""
        self.registry = self.new_id()
        self.send(1, 1, struct.pack("<I", self.registry))  # wl_display.get_registry
        self.globals = {}
        self.roundtrip()

    def new_id(self):
        self.next_id += 1
        return self.next_id - 1

    def send(self, obj, opcode, body):
        self.sock.sendall(struct.pack("<II", obj, (8 + len(body)) << 16 | opcode) + body)

    @staticmethod
    def string(text):
        raw = text.encode() + b"\0"
        return struct.pack("<I", len(raw)) + raw + b"\0" * (-len(raw) % 4)

    def roundtrip(self):
        callback = self.new_id()
        self.send(1, 0, struct.pack("<I", callback))  # wl_display.sync
        while True:
            while len(self.buf) < 8 or len(self.buf) < struct.unpack_from("<I", self.buf, 4)[0] >> 16:
                chunk = self.sock.recv(65536)
                if not chunk:
                    raise Failure("the compositor closed the Wayland connection")
                self.buf += chunk
            obj, word = struct.unpack_from("<II", self.buf)
            size, opcode = word >> 16, word & 0xFFFF
            body, self.buf = self.buf[8:size], self.buf[size:]
            if obj == self.registry and opcode == 0:
                name, length = struct.unpack_from("<II", body)
                iface = body[8:8 + length - 1].decode()
                version = struct.unpack_from("<I", body, 8 + length + (-length % 4))[0]
                self.globals[iface] = (name, version)
            elif obj == 1 and opcode == 0:
                raise Failure("Wayland protocol error: %r" % body)
            elif obj == callback:
                return

    def bind(self, iface, version):
        name, offered = self.globals[iface]
        new = self.new_id()
        self.send(self.registry, 0, struct.pack("<I", name) + self.string(iface)
                  + struct.pack("<II", min(version, offered), new))
        return new

    def close(self):
        self.sock.close()


def serve_fake_input(path):
    """Runs as the desktop's user: KWin offers its privileged globals only to
    a client whose executable it can read, so the root script cannot bind them
    itself. Reads commands on stdin, one a line; answers each."""
    try:
        fake = FakeInput(path)
    except (Skip, OSError) as why:
        print(str(why).replace("\n", " "), flush=True)
        return 1
    print("ready", flush=True)
    for line in sys.stdin:
        word, *rest = line.split()
        if word == "move":
            fake.move(float(rest[0]), float(rest[1]))
        elif word == "button":
            fake.button(rest[0], rest[1] == "1")
        elif word == "key":
            fake.key(int(rest[0]), rest[1] == "1")
        print("ok", flush=True)
    return 0


class FakeInputProxy:
    def __init__(self, desk, path):
        self.proc = desk.spawn_piped("fake-input", ["/usr/bin/python3", os.path.abspath(__file__),
                                                    "--fake-input", path])
        answer = self.proc.stdout.readline().strip()
        if answer != "ready":
            raise Skip(f"KWin's fake input is not available: {answer or 'the helper ended'}")

    def send(self, line):
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()
        if self.proc.stdout.readline().strip() != "ok":
            raise Failure(f"fake input refused: {line}")

    def move(self, x, y):
        self.send(f"move {x} {y}")

    def button(self, name, pressed):
        self.send(f"button {name} {int(pressed)}")

    def key(self, code, pressed):
        self.send(f"key {code} {int(pressed)}")


class FakeInput:
    BTN = {"left": 0x110, "right": 0x111}

    def __init__(self, path):
        self.wl = Wayland(path)
        if "org_kde_kwin_fake_input" not in self.wl.globals:
            raise Skip("the compositor offers no org_kde_kwin_fake_input; it offers "
                       + " ".join(sorted(self.wl.globals)))
        self.obj = self.wl.bind("org_kde_kwin_fake_input", 4)
        self.wl.send(self.obj, 0, Wayland.string("try-heavy-desktops") + Wayland.string("tests"))
        self.wl.roundtrip()

    def move(self, x, y):
        self.wl.send(self.obj, 9, struct.pack("<ii", int(x * 256), int(y * 256)))
        self.wl.roundtrip()

    def button(self, name, pressed):
        self.wl.send(self.obj, 2, struct.pack("<II", self.BTN[name], 1 if pressed else 0))
        self.wl.roundtrip()

    def key(self, code, pressed):
        self.wl.send(self.obj, 10, struct.pack("<II", code, 1 if pressed else 0))
        self.wl.roundtrip()


if __name__ == "__main__":
    sys.exit(serve_fake_input(sys.argv[2]))
