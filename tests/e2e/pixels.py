# SPDX-License-Identifier: MIT
"""Measures read off screenshots: colours, contrast, what changed, a menu's lines."""

import collections

from xsession import Session, check


def hex_colour(rgb):
    return "#%02x%02x%02x" % rgb


def luminance(rgb):
    def linear(c):
        c /= 255
        return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4
    r, g, b = (linear(c) for c in rgb)
    return 0.2126 * r + 0.7152 * g + 0.0722 * b


def contrast(a, b):
    la, lb = sorted((luminance(a), luminance(b)), reverse=True)
    return (la + 0.05) / (lb + 0.05)


def pixels(image, rect):
    x, y, w, h = rect
    data = Session.region(image, x, y, w, h)
    return [tuple(data[i:i + 3]) for i in range(0, len(data), 3)]


def changed_box(before, after, rect):
    """The bounding box (x, y, w, h) of the pixels that differ inside rect."""
    x0, y0, w, h = rect
    xs, ys = [], []
    for row in range(h):
        a = Session.region(before, x0, y0 + row, w, 1)
        b = Session.region(after, x0, y0 + row, w, 1)
        if a == b:
            continue
        for col in range(w):
            if a[col * 3:col * 3 + 3] != b[col * 3:col * 3 + 3]:
                xs.append(x0 + col)
                ys.append(y0 + row)
    if not xs:
        return None
    return min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1


def glyph_contrast(image, icon, bar):
    """The contrast of the icon's strongest pixel against the bar's own colour."""
    bar_colour = collections.Counter(pixels(image, bar)).most_common(1)[0][0]
    best = max(pixels(image, icon), key=lambda p: contrast(p, bar_colour))
    return contrast(best, bar_colour), bar_colour, best


def last_label(image, menu):
    """The centre of the lowest line of text in a menu.

    A row of the menu's left half is text when some but not most of its
    pixels differ from the menu's background: borders, separators and shadows
    cross the whole width.
    """
    x, y, w, h = menu
    columns = (x + 6, max(8, w // 2 - 6))
    background = collections.Counter(pixels(image, (x, y, w, h))).most_common(1)[0][0]
    runs, start = [], None
    for row in range(y + 2, y + h - 2):
        ink = [i for i, p in enumerate(pixels(image, (columns[0], row, columns[1], 1)))
               if sum(abs(a - b) for a, b in zip(p, background)) > 120]
        text = 0 < len(ink) < 0.7 * columns[1]
        if text and start is None:
            start = row
        elif not text and start is not None:
            runs.append((start, row - 1))
            start = None
    # Rounded corners and shadows make thin runs at the edges; a label is taller.
    runs = [(top, bottom) for top, bottom in runs if bottom - top >= 4]
    check(runs, f"no text in the menu at {menu}")
    top, bottom = runs[-1]
    return x + w // 4, (top + bottom) // 2
