#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""End-to-end checks of qel-stashlet on a private X desktop with trayer and
pcmanfm, driven as a user would. Usage: stashlet_e2e.py BINARY CASE"""

import os
import signal
import subprocess
import sys
import time

from pixels import region
from xsession import (PANEL_H, PANEL_W, SCREEN_H, SCREEN_W, Failure, Session, check, log,
                      read_bytes, run, stays, wait_for)

LIMIT = 5


def case_start_empties_staging(s):
    s.start()
    outside, beside = os.path.join(s.files, "outside.txt"), os.path.join(s.tmp, "beside.txt")
    s.write(outside, "not the program's")
    s.write(beside, "in TMPDIR, beside the staging folder")
    for rel in ("report.pdf", ".hidden", "sub/deeper/nested.txt", ".hidden-dir/in", "sub/.dot"):
        s.write(s.staged_path(rel), rel)
    os.chmod(s.staging, 0o700)
    os.symlink(outside, s.staged_path("link-to-outside"))
    os.mkdir(s.staged_path("empty-dir"))
    s.start_app()
    # Emptied before the icon shows; the wait only absorbs a slow file system.
    wait_for(lambda: s.staged() == [], 5, f"the staging folder to be empty (has {s.staged()})")
    check(os.path.isdir(s.staging), "the staging folder itself is gone")
    check(read_bytes(outside) == b"not the program's", "a symlink's target outside was touched")
    check(os.path.exists(beside), "a file beside the staging folder was deleted")
    check(s.app.poll() is None, "the program ended")


def case_tray_toggle(s):
    s.start()
    icon = s.start_app()
    check(s.panel() is None, "the panel is on screen before any click")
    panel = s.open_panel(icon)
    log("panel", panel)
    check(icon.y + icon.h <= panel.y <= icon.y + icon.h + 32, f"{panel} is not just below {icon}")
    check(panel.x <= icon.centre[0] < panel.x + panel.w, f"{panel} is not under {icon}")
    check(panel.x >= 0 and panel.x + panel.w <= SCREEN_W and panel.y + panel.h <= SCREEN_H,
          f"{panel} is not inside the screen")
    s.click(*icon.centre)
    wait_for(lambda: s.panel() is None, 10, "the panel to hide after a second click")
    stays(lambda: s.panel() is None, 0.5, "the panel staying hidden")
    again = s.open_panel(icon)
    check(again.rect == panel.rect, f"the panel moved: {panel} then {again}")


def case_drag_in(s):
    s.start()
    s.start_app()
    s.drop_file(s.open_panel(), 150_000)
    # The drop leaves the file manager with the keyboard; the panel takes it back.
    s.key("Escape")
    wait_for(lambda: s.panel() is None, 5, "Escape after the drop to close the panel")


def case_drag_out(s):
    s.start()
    s.start_app()
    panel = s.open_panel()
    s.park_pointer()
    # The clear button shows only while the shelf lists something.
    footer = (panel.x + 8, panel.y + PANEL_H - 44, 130, 40)
    empty = region(s.grab(), *footer)
    data = s.drop_file(panel, 70_001)
    s.park_pointer()
    wait_for(lambda: region(s.grab(), *footer) != empty, 5, "the clear button to show")
    s.drag_out(panel, data)
    s.park_pointer()
    # A move would take the staged copy away; the shelf keeps it, and keeps listing it.
    stays(lambda: s.staged() == ["file1.dat"] and read_bytes(s.staged_path("file1.dat")) == data,
          1.0, "the staged copy staying whole")
    check(region(s.grab(), *footer) != empty, "the clear button is gone: the entry left the shelf")
    check(s.panel() is not None, "the panel closed")


def stage(s, sizes):
    panel = s.open_panel()
    folder, contents = s.make_files("some", sizes)
    s.drop_from_file_manager(folder, len(sizes), panel)
    wait_for(lambda: len(s.staged()) >= min(LIMIT, len(sizes)), 15, f"files staged: {s.staged()}")
    for name in s.staged():
        check(name in contents, f"unexpected staged file {name}")
        wait_for(lambda: read_bytes(s.staged_path(name)) == contents[name], 5, f"{name} staged whole")
    return panel, contents


def case_limit(s):
    s.start()
    s.start_app()
    stage(s, [1000 * i + 7 for i in range(1, 8)])
    # Copies are asynchronous: give a sixth or seventh time to show up.
    stays(lambda: len(s.staged()) == LIMIT, 1.5, f"exactly {LIMIT} staged files")


def case_quit_button(s):
    s.start()
    s.start_app()
    panel, contents = stage(s, [20_000, 20_001, 20_002])
    # "Esci" is the footer's right-hand button.
    s.quit_at((panel.x + PANEL_W - 40, panel.y + PANEL_H - 25), "Esci")


def case_quit_menu(s):
    s.start()
    icon = s.start_app()
    stage(s, [20_000, 20_001])
    s.quit_from_menu(icon)


def case_quit_signal(s, sig):
    s.start()
    s.start_app()
    stage(s, [20_000, 20_001])
    started = time.monotonic()
    os.kill(s.app.pid, sig)
    s.check_quit(started, sig.name)


def case_no_tray(s):
    # With no tray host the panel must come up as an ordinary window at once,
    # or the program would run with nothing on screen.
    s.start_x()
    s.start_bus()
    s.app = s.launch()
    window = wait_for(s.panel, 20, "the panel as a window when there is no tray")
    log("window", window)
    check(not [w for w in s.app_windows() if w.viewable and w.w <= 64 and w.h <= 64],
          "a tray icon with no tray")
    check(window.x >= 0 and window.y >= 0 and window.x + window.w <= SCREEN_W
          and window.y + window.h <= SCREEN_H, f"{window} is not inside the screen")
    # A frame's close button only minimises the window (with no window manager to
    # do that, it stays): quitting is "Esci".
    s.xlib.ask_to_close(window.id)
    stays(lambda: s.app.poll() is None and s.panel(), 1.0, "the program's window after a close request")
    s.quit_at((window.x + PANEL_W - 40, window.y + PANEL_H - 25), "Esci without a tray")


def case_second_launch(s):
    s.start()
    s.start_app()
    _, contents = stage(s, [20_000, 20_001])
    try:
        status = s.launch().wait(timeout=15)
    except subprocess.TimeoutExpired:
        raise Failure("the second launch still runs after 15 s")
    check(status == 0, f"the second launch ended with status {status}")
    # It asked the first to toggle its panel, which was shown.
    wait_for(lambda: s.panel() is None, 5, "the first instance's panel to hide")
    check(s.app.poll() is None, f"the first instance ended (status {s.app.returncode})")
    stays(lambda: s.staged() == sorted(contents), 1.0, "the first instance's staged copies staying")
    for name, data in contents.items():
        check(read_bytes(s.staged_path(name)) == data, f"{name} changed")
    # One icon, and the first still answers the user.
    s.open_panel(wait_for(s.tray_icon, 5, "one tray icon after the second launch"))


CASES = {
    "start-empties-staging": case_start_empties_staging,
    "tray-toggle": case_tray_toggle,
    "drag-in": case_drag_in,
    "drag-out": case_drag_out,
    "limit": case_limit,
    "quit-button": case_quit_button,
    "quit-menu": case_quit_menu,
    "quit-sigterm": lambda s: case_quit_signal(s, signal.SIGTERM),
    "quit-sigint": lambda s: case_quit_signal(s, signal.SIGINT),
    "quit-sighup": lambda s: case_quit_signal(s, signal.SIGHUP),
    "no-tray": case_no_tray,
    "second-launch": case_second_launch,
}


def main(argv):
    if len(argv) != 3 or argv[2] not in CASES:
        print(__doc__ + "\nCases: " + ", ".join(CASES), file=sys.stderr)
        return 2

    def body():
        with Session(argv[1], name=argv[2]) as s:
            CASES[argv[2]](s)
    return run(argv[2], Session.TOOLS, body)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
