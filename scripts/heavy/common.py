# SPDX-License-Identifier: MIT
"""What every part of the heavy-desktop run shares: waiting, logging, pixels."""

import os
import subprocess
import sys
import time

import dbus

# The tests' own pixel measures, so the heavy desktops are judged as the CI ones.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "e2e"))
from pixels import contrast  # noqa: E402

W, H = 1280, 800
USER = "stashlet-heavy"
STAGING = "QELStashlet"
PANEL_W, PANEL_H = 320, 420
START = time.monotonic()


class Skip(Exception):
    pass


class Failure(Exception):
    pass


def log(*parts):
    print("[heavy %7.2fs]" % (time.monotonic() - START), *parts, flush=True)


def wait_for(predicate, timeout, what, interval=0.1):
    deadline = time.monotonic() + timeout
    last = None
    while True:
        try:
            value = predicate()
            if value:
                return value
        except (OSError, subprocess.SubprocessError, ValueError, dbus.DBusException) as error:
            last = error
        if time.monotonic() >= deadline:
            raise Failure(f"timed out after {timeout}s waiting for {what}"
                          + (f" (last error: {last})" if last else ""))
        time.sleep(interval)


# --- pixels ---------------------------------------------------------------

class Image:
    """An RGB picture read through ImageMagick, any format it knows."""

    def __init__(self, path):
        out = subprocess.run(["/usr/bin/convert", path, "-depth", "8", "rgb:-"],
                             capture_output=True, check=True).stdout
        size = subprocess.run(["/usr/bin/identify", "-format", "%w %h", path],
                              capture_output=True, check=True, text=True).stdout.split()
        self.w, self.h = int(size[0]), int(size[1])
        self.px = out

    def at(self, x, y):
        i = (y * self.w + x) * 3
        return tuple(self.px[i:i + 3])

    def box(self, x, y, w, h):
        x0, y0 = max(0, x), max(0, y)
        x1, y1 = min(self.w, x + w), min(self.h, y + h)
        return [self.at(i, j) for j in range(y0, y1) for i in range(x0, x1)]


def glyph_contrast(image, x, y, w, h):
    """The bar is the commonest colour around the icon; the glyph the pixel
    inside it that stands out most from the bar."""
    ring = image.box(x - 6, y, w + 12, h)
    counts = {}
    for p in ring:
        counts[p] = counts.get(p, 0) + 1
    bar = max(counts, key=counts.get)
    inside = image.box(x, y, w, h)
    best = max(inside, key=lambda p: contrast(p, bar))
    return bar, best, contrast(best, bar)


def grey(rgb):
    return round(0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2])
