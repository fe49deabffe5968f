#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The copy half of the panel on a real X server: pending cards, clipboard, previews.

Usage: copy_e2e.py BINARY CASE; STASHLET_SHOT=FILE.png saves the card of "pending" or "preview".
"""

import ctypes
import os
import sys
import tempfile
import time

import stashlet_e2e
from pixels import region
from xsession import PANEL_W, check, log, read_bytes, stays, wait_for

BIG = 2 << 30
# The first card of the list, from the panel's top left corner: its band of
# name and bar, its icon's centre and its cancel button.
BAND = (60, 66, 200, 50)
ICON = (40, 91)
CANCEL = (PANEL_W - 37, 91)


def panel_up(s):
    return s.open_panel(stashlet_e2e.up(s))


def mkdir(s, name):
    return s.write(os.path.join(s.files, name, ""))


class _XImage(ctypes.Structure):
    _fields_ = [(name, ctypes.c_int) for name in ("width", "height", "xoffset", "format")] + [
        ("data", ctypes.c_void_p)] + [(name, ctypes.c_int) for name in (
            "byte_order", "bitmap_unit", "bitmap_bit_order", "bitmap_pad", "depth",
            "bytes_per_line", "bits_per_pixel")]


def accent_pixels(s, panel):
    """Pixels of the accent blue (the progress bar's fill) in the first card's band,
    read straight from the X server: a screenshot tool takes too long to time a
    half second."""
    x, y, w, h = BAND
    lib = s.xlib.x
    if not hasattr(s, "dpy"):
        lib.XGetImage.restype = ctypes.POINTER(_XImage)
        lib.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_int] * 2 + [
            ctypes.c_uint] * 2 + [ctypes.c_ulong, ctypes.c_int]
        lib.XDefaultRootWindow.restype = ctypes.c_ulong
        lib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        s.dpy = lib.XOpenDisplay(s.xlib.display)
    image = lib.XGetImage(s.dpy, lib.XDefaultRootWindow(s.dpy), panel.x + x, panel.y + y, w, h,
                          (1 << 64) - 1, 2).contents  # all planes, ZPixmap: B, G, R, pad
    check(image.bits_per_pixel == 32, f"a {image.bits_per_pixel}-bit screen")
    data = ctypes.string_at(image.data, image.bytes_per_line * h)
    return sum(1 for row in range(h) for i in range(row * image.bytes_per_line,
                                                    row * image.bytes_per_line + 4 * w, 4)
               if data[i + 2] < 60 and 100 < data[i + 1] < 150 and data[i] > 200)


def big_source(s, name):
    """A folder holding `name`: 2 GiB of real data (no holes), out of the page cache;
    written once per build tree, linked into each session beside it."""
    kept = os.path.abspath("copy-e2e-2GiB.bin")
    if not os.path.exists(kept) or os.path.getsize(kept) != BIG:
        block = os.urandom(1 << 20)
        with open(kept + ".part", "wb") as f:
            for _ in range(BIG >> 20):
                f.write(block)
            os.fsync(f.fileno())
        os.rename(kept + ".part", kept)
    fd = os.open(kept, os.O_RDONLY)
    os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
    os.close(fd)
    folder = mkdir(s, name + "-src")
    os.link(kept, os.path.join(folder, name))
    return folder


def case_pending(s):
    panel = panel_up(s)
    folder = big_source(s, "grande.bin")
    # The drop happens as the drag's button goes up.
    released, button = [], s.button
    s.button = lambda down, *args: (button(down, *args), down or released.append(time.monotonic()))
    seen = []

    def card_shows():
        pixels = accent_pixels(s, panel)
        now = time.monotonic()
        seen.append((now - (released or [now])[-1], pixels))
        return seen[-1][1]
    s.drop_from_file_manager(folder, 1, panel, arrived=card_shows)
    log(f"pending card on screen {seen[-1][0] * 1000:.0f} ms after the drop")
    # The card waits 300 ms by design; the time it takes on a quiet machine is
    # logged above. The bound here only tells a card that shows from none, since a
    # loaded or sanitized run is slower and speed is the benchmarks' business.
    check(seen[-1][0] <= 2.0, f"no pending card within 2 s of the drop: {seen}")
    if os.environ.get("STASHLET_SHOT"):
        s.save_png(os.path.abspath(os.environ["STASHLET_SHOT"]), panel.x, panel.y, PANEL_W, 140)
    time.sleep(0.15)
    later = accent_pixels(s, panel)
    check(later > seen[-1][1], f"the bar did not move: {seen[-1][1]} then {later} accent pixels")
    wait_for(lambda: s.staged() == ["grande.bin"], 60, "the copy to be listed")
    check(os.path.getsize(s.staged_path("grande.bin")) == BIG, "the staged copy is not whole")
    wait_for(lambda: accent_pixels(s, panel) == 0, 5, "the pending card to become the entry")


def case_cancel(s):
    panel = panel_up(s)
    folder = big_source(s, "annulla.bin")
    s.drop_from_file_manager(folder, 1, panel, arrived=lambda: accent_pixels(s, panel))
    s.click(panel.x + CANCEL[0], panel.y + CANCEL[1])
    wait_for(lambda: accent_pixels(s, panel) == 0, 5, "the pending card to leave")
    stays(lambda: s.staged() == [], 2.0, "an empty staging folder after the cancel")


def case_paste_in(s):
    panel = panel_up(s)
    folder, contents = s.make_files("copiati", [30_000])
    win = s.open_folder(folder, 0, 420)
    s.select_all_rows(win, 1)
    s.key("ctrl+c")
    s.focus(panel)
    s.key("ctrl+v")
    wait_for(lambda: s.staged() == ["file1.bin"]
             and read_bytes(s.staged_path("file1.bin")) == contents["file1.bin"], 10,
             "the pasted file to be staged whole")


def case_copy_out(s):
    panel = panel_up(s)
    folder, contents = s.make_files("sorgente", [40_000])
    s.drop_from_file_manager(folder, 1, panel)
    wait_for(lambda: s.staged() == ["file1.bin"], 10, "the file to be staged")
    s.click(panel.x + 140, panel.y + ICON[1])  # the card takes the focus
    s.key("ctrl+c")
    target = mkdir(s, "incollati")
    win = s.open_folder(target, 0, 420)
    s.focus(win)
    s.key("ctrl+v")
    delivered = os.path.join(target, "file1.bin")
    wait_for(lambda: os.path.exists(delivered) and read_bytes(delivered) == contents["file1.bin"],
             10, "the card's file to be pasted whole in the folder")
    check(s.staged() == ["file1.bin"], "the shelf lost its copy")


def case_preview(s):
    panel = panel_up(s)
    folder = mkdir(s, "immagini")
    colour = (200, 40, 160)
    s.run(["convert", "-size", "48x32", "xc:rgb(200,40,160)", os.path.join(folder, "foto.png")])
    s.drop_from_file_manager(folder, 1, panel)
    s.park_pointer()
    x, y = panel.x + ICON[0], panel.y + ICON[1]
    wait_for(lambda: tuple(region(s.grab(), x, y, 1, 1)) == colour, 10,
             f"the card's icon to show the PNG's colour {colour}")
    if os.environ.get("STASHLET_SHOT"):
        s.save_png(os.path.abspath(os.environ["STASHLET_SHOT"]), panel.x, panel.y, PANEL_W, 140)


# Beside the build, not in a RAM-backed /tmp: 2 GiB of source and as much copied.
tempfile.tempdir = os.getcwd()
stashlet_e2e.CASES.update({"pending": case_pending, "cancel": case_cancel,
                           "paste-in": case_paste_in, "copy-out": case_copy_out,
                           "preview": case_preview})

if __name__ == "__main__":
    sys.exit(stashlet_e2e.main(sys.argv))
