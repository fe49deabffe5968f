#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Prints the accessible tree of the application named ARGV[1] as a screen reader reads
it (AT-SPI), a node a line: role, tab, name. Debian's Python has the bindings."""

import sys

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


def walk(node, depth=0):
    print(f"{node.get_role_name()}\t{node.get_name()}")
    for i in range(node.get_child_count() if depth < 40 else 0):
        child = node.get_child_at_index(i)
        if child is not None:
            walk(child, depth + 1)


desktop = Atspi.get_desktop(0)
for index in range(desktop.get_child_count()):
    app = desktop.get_child_at_index(index)
    if app is not None and app.get_name() == sys.argv[1]:
        walk(app)
