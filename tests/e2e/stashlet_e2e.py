#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""End-to-end checks of qel-stashlet on a real X server, driven as a user would.

Usage: stashlet_e2e.py BINARY CASE [ARG]
       stashlet_e2e.py BINARY screenshot OUT.png

Each run starts its own Xvfb, session bus, trayer and (where needed) pcmanfm,
with HOME, TMPDIR and XDG_RUNTIME_DIR in a fresh temporary folder, and removes
all of it when it ends, however it ends.
"""

import os
import signal
import subprocess
import sys
import time
import urllib.parse

from xsession import (PANEL_H, PANEL_W, SCREEN_H, SCREEN_W, Failure, Session, check, log,
                      read_bytes, stays, wait_for)

LIMIT = 5
HERE = os.path.dirname(os.path.abspath(__file__))

# Under CTest the run is killed after its TIMEOUT; ending ourselves earlier
# leaves time to take every process and folder down.
SELF_TIMEOUT_S = int(os.environ.get("STASHLET_E2E_SELF_TIMEOUT", "100"))


# --- the cases -------------------------------------------------------------

def case_start_empties_staging(s):
    s.start()
    os.makedirs(s.staging, mode=0o700)
    outside = os.path.join(s.files, "outside.txt")
    with open(outside, "w") as f:
        f.write("not the program's")
    beside = os.path.join(s.tmp, "beside.txt")
    with open(beside, "w") as f:
        f.write("in TMPDIR, outside the staging folder")
    leftovers = {
        "report.pdf": b"%PDF-1.4 left over",
        ".hidden": b"a dot file",
        "sub/deeper/nested.txt": b"nested",
        ".hidden-dir/inner": b"inside a dot folder",
        "sub/.also-hidden": b"dot file in a sub folder",
    }
    for rel, data in leftovers.items():
        path = os.path.join(s.staging, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    os.symlink(outside, os.path.join(s.staging, "link-to-outside"))
    os.mkdir(os.path.join(s.staging, "empty-dir"))
    check(len(s.staged()) == 6, f"set-up: {s.staged()}")

    s.start_app()
    # The staging folder is emptied before launch completes, so before the
    # icon appears; the wait only absorbs a slow file system.
    wait_for(lambda: s.staged() == [], 5, f"the staging folder to be empty (has {s.staged()})")
    check(os.path.isdir(s.staging), "the staging folder itself is gone")
    check(read_bytes(outside) == b"not the program's", "a symlink's target outside was touched")
    check(os.path.exists(beside), "a file beside the staging folder was deleted")
    check(s.app.poll() is None, "the program ended")


def case_tray_toggle(s):
    s.start()
    icon = s.start_app()
    check(s.panel() is None, "the panel is on screen before any click")
    s.click(*icon.centre)
    panel = wait_for(s.panel, 10, "the panel to show after a click on the tray icon")
    log("panel", panel)
    check((panel.w, panel.h) == (PANEL_W, PANEL_H), f"panel size {panel.w}x{panel.h}")
    check(panel.y >= icon.y + icon.h, f"panel top {panel.y} is not below the icon (bottom {icon.y + icon.h})")
    check(panel.y - (icon.y + icon.h) <= 32, f"panel top {panel.y} is far from the icon {icon}")
    check(panel.x <= icon.x + icon.w // 2 < panel.x + panel.w,
          f"panel {panel} is not under the icon {icon}")
    check(panel.x >= 0 and panel.y >= 0 and panel.x + panel.w <= SCREEN_W
          and panel.y + panel.h <= SCREEN_H, f"panel {panel} is not inside the screen")
    s.click(*icon.centre)
    wait_for(lambda: s.panel() is None, 10, "the panel to hide after a second click")
    stays(lambda: s.panel() is None, 0.5, "the panel staying hidden")
    # And it comes back at the same place.
    s.click(*icon.centre)
    again = wait_for(s.panel, 10, "the panel to show after a third click")
    check((again.x, again.y) == (panel.x, panel.y), f"panel moved: {panel} then {again}")


def case_drag_in(s):
    s.start()
    s.start_app()
    panel = s.open_panel()
    folder, contents = s.make_files("e2e-source", [150_000], suffix=".dat")
    s.drop_from_file_manager(folder, 1, panel)
    wait_for(lambda: s.staged() == ["file1.dat"], 10, f"file1.dat to be staged (have {s.staged()})")
    wait_for(lambda: read_bytes(s.staged_path("file1.dat")) == contents["file1.dat"], 10,
             "the staged copy to have the dragged file's bytes")
    check(read_bytes(os.path.join(folder, "file1.dat")) == contents["file1.dat"],
          "the original changed")
    # The drop leaves the file manager with the keyboard; the panel takes it back.
    s.xdo("key", "Escape")
    wait_for(lambda: s.panel() is None, 5, "Escape after the drop to close the panel")


def case_drag_out(s):
    s.start()
    s.start_app()
    panel = s.open_panel()
    s.park_pointer()
    # The clear button shows only while the shelf lists something.
    footer = (panel.x + 8, panel.y + PANEL_H - 44, 130, 40)
    empty_footer = s.region(s.grab(), *footer)
    folder, contents = s.make_files("e2e-source", [70_001], suffix=".dat")
    s.drop_from_file_manager(folder, 1, panel)
    wait_for(lambda: s.staged() == ["file1.dat"]
             and read_bytes(s.staged_path("file1.dat")) == contents["file1.dat"],
             10, "the file to be staged")
    target = os.path.join(s.files, "e2e-target")
    os.mkdir(target)
    win = s.open_folder(target, 0, 420)
    s.park_pointer()
    wait_for(lambda: s.region(s.grab(), *footer) != empty_footer, 5, "the clear button to show")

    # The first card sits below the header, inside the list's margin.
    card = (panel.x + 110, panel.y + 88)
    drop = (win.x + win.w // 2, win.y + win.h // 2)
    delivered = os.path.join(target, "file1.dat")
    for attempt in (1, 2):
        s.drag(card, drop)
        try:
            wait_for(lambda: os.path.exists(delivered), 10, "the card's file to reach the folder")
            break
        except Failure:
            if attempt == 2 or os.listdir(target):
                raise
            log("the drag changed nothing; dragging once more")
    wait_for(lambda: read_bytes(delivered) == contents["file1.dat"], 10,
             "the delivered file to have the same bytes")
    check(sorted(os.listdir(target)) == ["file1.dat"], f"target holds {os.listdir(target)}")
    s.park_pointer()
    # A move would take the staged copy away; the shelf keeps it, and keeps
    # listing it.
    stays(lambda: s.staged() == ["file1.dat"], 1.0, "the staged copy staying")
    check(read_bytes(s.staged_path("file1.dat")) == contents["file1.dat"], "the staged copy changed")
    check(s.region(s.grab(), *footer) != empty_footer,
          "the clear button is gone: the entry left the shelf")
    check(s.panel() is not None, "the panel closed")


def case_limit(s):
    s.start()
    s.start_app()
    panel = s.open_panel()
    folder, contents = s.make_files("e2e-seven", [1000 * i + 7 for i in range(1, 8)])
    s.drop_from_file_manager(folder, 7, panel)
    wait_for(lambda: len(s.staged()) >= LIMIT, 15, f"{LIMIT} files to be staged (have {s.staged()})")
    # Copies are asynchronous: give any sixth or seventh time to show up.
    stays(lambda: len(s.staged()) == LIMIT, 1.5, f"exactly {LIMIT} staged files")
    for name in s.staged():
        check(name in contents, f"unexpected staged file {name}")
        wait_for(lambda: read_bytes(s.staged_path(name)) == contents[name], 5,
                 f"{name} to have its original's bytes")


def stage_some(s, count):
    panel = s.open_panel()
    folder, contents = s.make_files("e2e-some", [20_000 + i for i in range(count)])
    s.drop_from_file_manager(folder, count, panel)
    wait_for(lambda: s.staged() == sorted(contents), 15, f"{count} files to be staged (have {s.staged()})")
    for name, data in contents.items():
        wait_for(lambda: read_bytes(s.staged_path(name)) == data, 5, f"{name} staged whole")
    return panel, contents


def wait_exit(proc, started, limit=2.0):
    """Waits for proc to end; returns milliseconds since `started`."""
    try:
        proc.wait(timeout=10)
    except subprocess.TimeoutExpired:
        raise Failure("the program is still running 10 s after being asked to quit")
    elapsed = (time.monotonic() - started) * 1000
    check(elapsed <= limit * 1000, f"the program took {elapsed:.0f} ms to end (bound {limit} s)")
    return elapsed


def check_quit_result(s, proc, contents, elapsed, how):
    log(f"QUIT-LATENCY {how}: {elapsed:.1f} ms")
    left = [n for n in contents if os.path.lexists(s.staged_path(n))]
    check(not left, f"staged copies left behind after {how}: {left}")
    check(proc.returncode == 0, f"the program ended with status {proc.returncode} after {how}")


def click_and_time_quit(s, at, contents, what):
    """Clicks a quit control at `at` and checks the program ends with the shelf cleared."""
    s.xdo("mousemove", *at)
    s.xdo("mousedown", "1")
    time.sleep(0.1)
    check(s.app.poll() is None, "the program ended on the press, before the release")
    # Buttons and menu items act on release: the clock starts as the release is sent.
    started = time.monotonic()
    s.xdo("mouseup", "1")
    elapsed = wait_exit(s.app, started)
    check_quit_result(s, s.app, contents, elapsed, what)


def case_quit_button(s):
    s.start()
    s.start_app()
    panel, contents = stage_some(s, 3)
    # "Esci" is the footer's right-hand button.
    button = (panel.x + PANEL_W - 40, panel.y + PANEL_H - 25)
    click_and_time_quit(s, button, contents, "Esci")


def case_quit_menu(s):
    s.start()
    icon = s.start_app()
    panel, contents = stage_some(s, 2)
    known = {w.id for w in s.app_windows() if w.viewable}
    s.xdo("mousemove", *icon.centre)
    s.xdo("click", "3")
    menu = wait_for(lambda: next((w for w in s.app_windows()
                                  if w.viewable and w.id not in known), None),
                    10, "the tray icon's menu")
    log("menu", menu)
    check(menu.h < 200 and menu.w < 400, f"{menu} does not look like a two-item menu")
    # "Esci" is the menu's last item.
    click_and_time_quit(s, (menu.x + menu.w // 2, menu.y + menu.h - 12), contents,
                        "the menu's Esci")


def case_quit_signal(s, sig_name="SIGTERM"):
    sig = getattr(signal, sig_name)
    s.start()
    s.start_app()
    _, contents = stage_some(s, 2)
    started = time.monotonic()
    os.kill(s.app.pid, sig)
    elapsed = wait_exit(s.app, started)
    check_quit_result(s, s.app, contents, elapsed, sig_name)


def case_no_tray(s):
    # No tray host: the panel must come up as an ordinary window at once,
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
    # The frame's close button only minimises the window (and with no window
    # manager to do that, it stays): quitting is "Esci".
    s.xlib.ask_to_close(int(window.id))
    stays(lambda: s.app.poll() is None and s.panel(), 1.0,
          "the program and its window after a close request")
    s.xdo("mousemove", window.x + PANEL_W - 40, window.y + PANEL_H - 25)
    s.xdo("mousedown", "1")
    time.sleep(0.1)
    started = time.monotonic()
    s.xdo("mouseup", "1")
    elapsed = wait_exit(s.app, started)
    check_quit_result(s, s.app, {}, elapsed, "Esci without a tray")


def case_second_launch(s):
    s.start()
    s.start_app()
    panel, contents = stage_some(s, 2)
    second = s.launch()
    try:
        status = second.wait(timeout=15)
    except subprocess.TimeoutExpired:
        raise Failure("the second launch is still running after 15 s")
    check(status == 0, f"the second launch ended with status {status}")
    # It asked the first to toggle its panel, which was shown.
    wait_for(lambda: s.panel() is None, 5, "the first instance's panel to hide")
    check(s.app.poll() is None, f"the first instance ended (status {s.app.returncode})")
    stays(lambda: s.staged() == sorted(contents), 1.0, "the first instance's staged copies staying")
    for name, data in contents.items():
        check(read_bytes(s.staged_path(name)) == data, f"{name} changed")
    icons = [w for w in s.app_windows() if w.viewable and w.w <= 64 and w.h <= 64]
    check(len(icons) == 1, f"{len(icons)} tray icons after the second launch")
    # The first still answers the user.
    s.click(*icons[0].centre)
    wait_for(s.panel, 10, "the panel to show again on a click")


def accessible_tree(s):
    """(role, name) of every node of the program's tree on the accessibility bus."""
    result = s.run(["/usr/bin/python3", os.path.join(HERE, "a11y_tree.py"), "qel-stashlet"], 20)
    check(result.returncode == 0, f"a11y_tree.py failed: {result.stderr[-500:]}")
    return [tuple(line.split("\t", 1)) for line in result.stdout.splitlines()]


def case_keyboard(s):
    """Screen readers name each card, Enter opens one, the badge drags them all out."""
    s.start()
    bus = s.launch(binary="/usr/libexec/at-spi-bus-launcher")
    s.procs["a11y"] = bus
    wait_for(lambda: s.bus_has("org.a11y.Bus"), 10, "the accessibility bus")
    # The desktop's opener, replaced by one that writes down what it was given.
    opened = os.path.join(s.root, "opened")
    opener = os.path.join(s.mkdir("bin"), "xdg-open")
    with open(opener, "w") as f:
        f.write(f'#!/bin/sh\nprintf "%s\\n" "$@" >> "{opened}"\n')
    os.chmod(opener, 0o755)
    s.app = s.launch({"PATH": os.path.dirname(opener) + ":" + s.env["PATH"],
                      "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"})
    wait_for(s.tray_icon, 20, "the tray icon to appear")
    panel, contents = stage_some(s, 2)

    cards = {("list item", f"{name}, 20 kB") for name in contents}
    tree = wait_for(lambda: (lambda t: t if cards <= set(t) else None)(accessible_tree(s)), 15,
                    f"the accessibility tree to name the cards {cards}")
    for button, count in (("Rimuovi", 2), ("Condividi via AirDrop", 2), ("Cancella Tutto", 1),
                          ("Esci", 1), ("Chiudi", 1)):
        found = [role for role, name in tree if name == button]
        check(found == ["push button"] * count, f"{button!r} is {found} in the tree: {tree}")

    # The drop left the panel with the keyboard: Down reaches the first card.
    s.key("Down")
    s.key("Return")
    wait_for(lambda: os.path.exists(opened), 10, "the opener to run")
    stays(lambda: len(read_bytes(opened).splitlines()) == 1, 0.5, "one file opened")
    given = urllib.parse.unquote(read_bytes(opened).decode().strip().removeprefix("file://"))
    check(given in [s.staged_path(name) for name in contents], f"the opener was given {given}")

    target = os.path.join(s.files, "e2e-all")
    os.mkdir(target)
    win = s.open_folder(target, 0, 420)
    # The badge sits left of the close button, in the middle of the header.
    badge = (panel.x + PANEL_W - 62, panel.y + 24)
    for attempt in (1, 2):
        s.drag(badge, (win.x + win.w // 2, win.y + win.h // 2))
        try:
            wait_for(lambda: sorted(os.listdir(target)) == sorted(contents), 10,
                     "every staged file to reach the folder")
            break
        except Failure:
            if attempt == 2 or os.listdir(target):
                raise
            log("the drag changed nothing; dragging once more")
    for name, data in contents.items():
        wait_for(lambda: read_bytes(os.path.join(target, name)) == data, 10, f"{name} whole")
    check(s.staged() == sorted(contents), f"the shelf lost files: {s.staged()}")


def take_screenshot(s, out):
    s.start()
    s.start_app()
    panel = s.open_panel()
    folder = os.path.join(s.files, "Documenti")
    os.makedirs(folder)
    for name, size in (("Relazione trimestrale.pdf", 1_234_567), ("foto-vacanze.jpg", 2_456_789),
                       ("appunti.txt", 4_321)):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(os.urandom(size))
    s.drop_from_file_manager(folder, 3, panel)
    wait_for(lambda: len(s.staged()) == 3, 15, "three files to be staged")
    # Move the file manager away and let the cards settle.
    for w in s.windows("--name", "^Documenti$"):
        s.xdo("windowunmap", "--sync", w.id)
    s.park_pointer()
    previous = [None]

    def settled():
        now = s.region(s.grab(), panel.x, panel.y, PANEL_W, PANEL_H)
        same = now == previous[0]
        previous[0] = now
        return same
    wait_for(settled, 10, "the panel to stop changing", interval=0.3)
    s.save_png(os.path.abspath(out), panel.x, panel.y, PANEL_W, PANEL_H)
    log("screenshot saved to", os.path.abspath(out))


CASES = {
    "start-empties-staging": case_start_empties_staging,
    "tray-toggle": case_tray_toggle,
    "drag-in": case_drag_in,
    "drag-out": case_drag_out,
    "limit": case_limit,
    "quit-button": case_quit_button,
    "quit-menu": case_quit_menu,
    "quit-sigterm": lambda s: case_quit_signal(s, "SIGTERM"),
    "quit-sigint": lambda s: case_quit_signal(s, "SIGINT"),
    "quit-sighup": lambda s: case_quit_signal(s, "SIGHUP"),
    "no-tray": case_no_tray,
    "second-launch": case_second_launch,
    "keyboard": case_keyboard,
}


def on_signal(signum, _frame):
    raise SystemExit(f"stopped by signal {signum}")


def main(argv):
    if len(argv) < 3 or (argv[2] not in CASES and argv[2] != "screenshot"):
        print(__doc__ + "\nCases: " + ", ".join(CASES), file=sys.stderr)
        return 2
    binary, case = argv[1], argv[2]
    for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP, signal.SIGALRM):
        signal.signal(sig, on_signal)
    signal.alarm(SELF_TIMEOUT_S)
    session = Session(binary)
    try:
        if case == "screenshot":
            check(len(argv) > 3, "screenshot needs an output path")
            take_screenshot(session, argv[3])
        else:
            CASES[case](session)
        log("PASS", case)
        return 0
    except BaseException as error:
        log("FAIL", case + ":", error)
        session.report_failure(case)
        return 1
    finally:
        signal.alarm(0)
        # A second signal must not cut the clean-up short.
        for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            signal.signal(sig, signal.SIG_IGN)
        session.close()


if __name__ == "__main__":
    sys.exit(main(sys.argv))
