# SPDX-License-Identifier: MIT
"""Measures read off screenshots, each a binary PPM as (width, height, rgb bytes):
colours, contrast, what changed."""

import collections
import itertools
import re


def parse_ppm(data):
    match = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", data)
    if not match:
        raise ValueError("a screenshot that is no 8-bit binary PPM")
    return int(match[1]), int(match[2]), data[match.end():]


def region(image, x, y, w, h):
    width, _, data = image
    return b"".join(data[((y + r) * width + x) * 3:((y + r) * width + x + w) * 3] for r in range(h))


def pixels(image, rect):
    data = region(image, *rect)
    return [tuple(data[i:i + 3]) for i in range(0, len(data), 3)]


def contrast(a, b):
    """WCAG's contrast ratio of two sRGB colours."""
    def luminance(rgb):
        lin = [c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4
               for c in (v / 255 for v in rgb)]
        return 0.2126 * lin[0] + 0.7152 * lin[1] + 0.0722 * lin[2]
    la, lb = sorted((luminance(a), luminance(b)), reverse=True)
    return (la + 0.05) / (lb + 0.05)


def changed_columns(before, after, rect):
    """Per row of rect, the x of every pixel that differs: [(y, [x...]), ...]."""
    x0, y0, w, h = rect
    pairs = ((y, region(before, x0, y, w, 1), region(after, x0, y, w, 1)) 
             for y in range(y0, y0 + h))
    return [(y, [x0 + i for i in range(w) if a[i * 3:i * 3 + 3] != b[i * 3:i * 3 + 3]])
            for y, a, b in pairs if a != b]


def changed_box(before, after, rect):
    """The bounding box (x, y, w, h) of the pixels that differ inside rect, or None."""
    rows = changed_columns(before, after, rect)
    xs = [x for _, row in rows for x in row]
    return rows and (min(xs), rows[0][0], max(xs) - min(xs) + 1, rows[-1][0] - rows[0][0] + 1)


def runs(ys, min_height):
    """Runs of consecutive ys, as (top, bottom), at least min_height long."""
    found = [[y for _, y in run] for _, run in
             itertools.groupby(enumerate(ys), lambda pair: pair[1] - pair[0])]
    return [(run[0], run[-1]) for run in found if len(run) >= min_height]


def glyph_contrast(image, icon, bar):
    """The contrast of the icon's strongest pixel against the bar's commonest colour."""
    bar_colour = collections.Counter(pixels(image, bar)).most_common(1)[0][0]
    best = max(pixels(image, icon), key=lambda p: contrast(p, bar_colour))
    return contrast(best, bar_colour), bar_colour, best


def painted(image, rect, colour):
    """image with rect filled with colour."""
    width, height, data = image
    x, y, w, h = rect
    data = bytearray(data)
    for row in range(y, y + h):
        data[(row * width + x) * 3:(row * width + x + w) * 3] = bytes(colour) * w
    return width, height, bytes(data)
