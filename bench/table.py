# SPDX-License-Identifier: MIT
"""Runs QEL Stashlet's benchmarks and prints what they measured as one table.

Usage: table.py BUILD_DIR SCRATCH_DIR [PART...]   (no part: every part)
Parts: copy, paint, quit, idle, start, delete, leftovers, quitmany.

BUILD_DIR holds the built benchmarks and program; every file the benchmarks
make goes in SCRATCH_DIR, which the caller owns and removes. Standard output
gets the table alone; progress and each benchmark's own report go to
standard error.
"""

import os
import re
import signal
import subprocess
import sys
import time
import traceback

import desktopbench
import xsession

PARTS = ("copy", "paint", "quit", "idle", "start", "delete", "leftovers", "quitmany")
# Quiet parts first: the copies leave the disk and the page cache busy for a while.
ORDER = ("paint", "start", "idle", "leftovers", "copy", "delete", "quit", "quitmany")

QUIT_RUNS = 5
START_RUNS = 7
IDLE_SECONDS = 10.0
LEFTOVER_RUNS = 7
MANY_FILES = 100_000


def note(*parts):
    print(*parts, file=sys.stderr, flush=True)


class Child:
    """A benchmark process whose output is kept and echoed to standard error.

    It runs in a process group of its own, so stopping it also stops what it
    started (the copy benchmark's cp), and nothing is left writing into the
    scratch folder while the caller deletes it.
    """

    def __init__(self, args, env=None):
        self.proc = subprocess.Popen(args, stdout=subprocess.PIPE, text=True, env=env,
                                     start_new_session=True)

    def output(self):
        lines = []
        for line in self.proc.stdout:
            sys.stderr.write(line)
            lines.append(line.rstrip("\n"))
        status = self.proc.wait()
        if status != 0:
            raise RuntimeError(f"{os.path.basename(self.proc.args[0])} ended with status {status}")
        return lines

    def stop(self):
        group = self.proc.pid
        for sig in (signal.SIGTERM, signal.SIGKILL):
            try:
                os.killpg(group, sig)
            except ProcessLookupError:
                break
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline:
                self.proc.poll()
                try:
                    os.killpg(group, 0)
                except ProcessLookupError:
                    break
                time.sleep(0.02)
        self.proc.wait()


def run_child(args, env=None):
    child = Child(args, env)
    try:
        return child.output()
    finally:
        child.stop()


def key_values(lines):
    """The `name number` lines a benchmark ends with."""
    found = {}
    for line in lines:
        match = re.fullmatch(r"([a-z][a-z-]*) (-?[0-9.]+)", line.strip())
        if match:
            found[match.group(1)] = float(match.group(2))
    return found


def need(found, *names):
    missing = [n for n in names if n not in found]
    if missing:
        raise RuntimeError(f"the benchmark did not report {', '.join(missing)}")
    return [found[n] for n in names]


# --- the parts ---------------------------------------------------------------

def part_copy(build, scratch):
    lines = run_child([os.path.join(build, "bench", "stashlet-bench-copy"), "--in", scratch])
    ratio_file, ratio_folder, stall, cancel, ratio_sparse, sparse_kib, sparse_cp_kib = need(
        key_values(lines), "ratio-file", "ratio-folder", "max-stall-ms", "cancel-ms",
        "ratio-sparse", "sparse-kib", "sparse-cp-kib")
    disk_ratio = sparse_kib / max(sparse_cp_kib, 4.0)
    series = {}
    for line in lines:
        match = re.fullmatch(r"(.+?)\s+([0-9.]+)\s+([0-9.]+)\s+([0-9.]+)", line)
        if match:
            series[match.group(1)] = [float(match.group(i)) for i in (2, 3, 4)]
    file_ours, file_cp, folder_ours, folder_cp, sparse_ours, sparse_cp = need(
        series, "1 GiB file, store addFile", "1 GiB file, cp -a", "5,000 x 4 KiB folder, store",
        "5,000 x 4 KiB folder, cp -a", "10 GiB sparse file, store", "10 GiB sparse file, cp -a")
    repetitions = re.search(r"(\d+) interleaved repetitions", lines[0])
    notes = [line for line in lines
             if line.startswith(("store over cp -a within", "stall: worst"))]
    runs = repetitions.group(1) if repetitions else "?"
    return {
        "rows": [
            (f"1 GiB file staged, min of {runs} (ms)", f"{file_ours[0]:.1f}",
             f"{file_cp[0]:.1f} cp -a", ratio_file, "<= 1.05", ratio_file <= 1.05),
            (f"5,000 x 4 KiB folder staged, min of {runs} (ms)", f"{folder_ours[0]:.1f}",
             f"{folder_cp[0]:.1f} cp -a", ratio_folder, "<= 1.10", ratio_folder <= 1.10),
            (f"10 GiB sparse file staged, min of {runs} (ms)", f"{sparse_ours[0]:.2f}",
             f"{sparse_cp[0]:.2f} cp -a", ratio_sparse, "<= 1.5", ratio_sparse <= 1.5),
            ("10 GiB sparse file staged, on disk (KiB)", f"{sparse_kib:.0f}",
             f"{sparse_cp_kib:.0f} cp -a", disk_ratio, "<= 2", disk_ratio <= 2),
            ("longest main-loop stall, 1 GiB staged (ms)", f"{stall:.2f}", "", None, "< 8",
             stall < 8),
            ("cancel to partial copy gone, worst (ms)", f"{cancel:.2f}", "", None, "< 100",
             cancel < 100),
        ],
        "notes": [f"copy: median ms store/cp -a: file {file_ours[1]:.1f}/{file_cp[1]:.1f}, "
                  f"folder {folder_ours[1]:.1f}/{folder_cp[1]:.1f}, "
                  f"sparse {sparse_ours[1]:.2f}/{sparse_cp[1]:.2f}; the sparse file holds "
                  f"8 KiB of data"]
                 + ["copy: " + n.replace("\n", " ") for n in notes],
    }


def part_delete(build, scratch):
    found = key_values(run_child(
        [os.path.join(build, "bench", "stashlet-bench-delete"), "--in", scratch]))
    remove, remove_before, clear, clear_before = need(
        found, "remove-stall-ms", "remove-inplace-ms", "clear-stall-ms", "clear-inplace-ms")
    running = [found.get("remove-running-ms"), found.get("clear-running-ms")]
    return {
        "rows": [
            ("longest main-loop stall, removing a listed 1 GiB file (ms)", f"{remove:.2f}",
             f"{remove_before:.1f} in place", None, "< 8", remove < 8),
            ("longest main-loop stall, clearing a 100,000-file folder (ms)", f"{clear:.2f}",
             f"{clear_before:.1f} in place", None, "< 8", clear < 8),
        ],
        "notes": ["delete: the gap between turns of a 1 ms timer from removeFile()/clearAll() "
                  "until the item and the trash are gone from the disk; 'in place' = "
                  "deleting an identical copy with the store's own deletion on the calling "
                  "thread, which is what the main thread used to wait for",
                  f"delete: of the longest gaps, the main thread ran {running[0]} ms (remove) "
                  f"and {running[1]} ms (clear); the rest it waited for a core"],
    }


def part_leftovers(build, scratch):
    r = desktopbench.measure_start_leftovers(
        os.path.join(build, "app", "qel-stashlet"),
        os.path.join(build, "bench", "stashlet-bench-baretray"), scratch, runs=LEFTOVER_RUNS,
        files=MANY_FILES)
    docked = r["ours_docked"] / r["bare_docked"]
    emptied = r["ours_emptied"] / r["rm"]
    n = r["runs"]
    return {
        "rows": [
            (f"start to tray icon over 100,000 leftover files, median of {n} (ms)",
             f"{r['ours_docked']:.1f}", f"{r['bare_docked']:.1f} bare", docked, "<= 1.20",
             docked <= 1.20),
            (f"start to leftovers gone, median of {n} (ms)", f"{r['ours_emptied']:.1f}",
             f"{r['rm']:.1f} rm -rf", emptied, "<= 1.20", emptied <= 1.20),
        ],
        "notes": ["leftovers: 100 folders of 1,000 16-byte files, made and synced in the staging "
                  "folder 2 s before each start of either program; 'gone' is timed from "
                  "spawning the program until the staging folder is empty, against rm -rf of "
                  "the tree the bare program left"],
    }


def part_quitmany(build, scratch):
    binary = os.path.join(build, "app", "qel-stashlet")
    term = desktopbench.quit_many_once(binary, scratch, MANY_FILES)
    killed = desktopbench.quit_many_once(binary, scratch, MANY_FILES, kill_after_ms=150)
    left_after_kill = bool(killed["left"])
    return {
        "rows": [
            ("quit with a listed 100,000-file folder: icon gone (ms)", f"{term['icon_ms']:.1f}",
             "", None, "<= 100", term["icon_ms"] <= 100),
            ("  the same: process gone, folder left", f"{term['exit_ms']:.0f} ms",
             "", None, "nothing", not term["left"]),
            ("  killed 150 ms after SIGTERM: next start empties (ms)",
             f"{killed['next_start_ms']:.0f}" if left_after_kill else "nothing left",
             "", None, "emptied", killed["next_start_ms"] is not None or not left_after_kill),
        ],
        "notes": [f"quitmany: SIGTERM with the folder listed; icon gone = UnmapNotify or "
                  f"DestroyNotify of the tray icon's window; killed run: icon gone "
                  f"{killed['icon_ms']:.1f} ms, left {len(killed['left'])} items"],
    }


def part_paint(build, _scratch):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    (median,) = need(key_values(run_child(
        [os.path.join(build, "bench", "stashlet-bench-paint")], env)), "paint-ms-median")
    return {"rows": [("panel paint, 5 rows, springs moving, median (ms)", f"{median:.3f}", "",
                      None, "< 1", median < 1)]}


def part_quit(build, scratch):
    result = desktopbench.measure_quit(os.path.join(build, "app", "qel-stashlet"), scratch,
                                       runs=QUIT_RUNS)
    runs = result["runs"]
    n = len(runs)
    worst, median = result["worst"], result["median"]
    leaving = [r for r in runs if r["left"]]
    left_files = sum(len(r["left"]) for r in leaving)
    left_bytes = sum(sum(r["left"].values()) for r in leaving)
    if leaving:
        left_text = f"{left_files} files, {left_bytes / desktopbench.MIB:.0f} MiB, in {len(leaving)} of {n}"
    else:
        left_text = f"nothing, {n} of {n}"
    done = [r["in_flight"].values() for r in runs]
    lowest = min(min(d) for d in done) / desktopbench.MIB
    highest = max(max(d) for d in done) / desktopbench.MIB
    notes = [f"quit: SIGTERM once 4 copies were under way (each {lowest:.0f} to "
             f"{highest:.0f} MiB of 1024 at the signal), sources evicted from the page cache; "
             f"runs (ms): " + ", ".join(f"{r['ms']:.1f}" for r in runs)]
    complete = [name for r in runs for name in r["complete_at_signal"]]
    if complete:
        notes.append(f"quit: {len(complete)} copies had already finished at the signal")
    bad_status = [r["status"] for r in runs if r["status"] != 0]
    if bad_status:
        notes.append(f"quit: exit status other than 0: {bad_status}")
    for i, r in enumerate(runs, 1):
        if not r["left"]:
            continue
        notes.append(f"quit: LEFT BEHIND in run {i} ({r['ms']:.1f} ms): " + ", ".join(
            f"{name} {size / desktopbench.MIB:.0f} MiB "
            f"({r['in_flight'].get(name, 0) / desktopbench.MIB:.0f} at the signal)"
            for name, size in sorted(r["left"].items())))
    return {
        "rows": [
            (f"quit on SIGTERM, 4 x 1 GiB copying, worst of {n} (ms)", f"{worst:.1f}", "", None,
             "<= 100", worst <= 100),
            (f"quit on SIGTERM, 4 x 1 GiB copying, median of {n} (ms)", f"{median:.1f}", "",
             None, "<= 100", median <= 100),
            ("left in the staging folder after those quits", left_text, "", None, "nothing",
             not leaving),
        ],
        "notes": notes,
    }


def describe_threads(by_thread):
    totals = {}
    for _tid, name, n in by_thread:
        count, switches = totals.get(name, (0, 0))
        totals[name] = (count + 1, switches + n)
    return ", ".join(f"{name}{f' x{count}' if count > 1 else ''} {switches}"
                     for name, (count, switches) in sorted(totals.items(), key=lambda i: -i[1][1]))


def part_idle(build, scratch):
    result = desktopbench.measure_wakeups(os.path.join(build, "app", "qel-stashlet"), scratch,
                                          seconds=IDLE_SECONDS)
    seconds = result["seconds"]
    hidden, hidden_threads, hidden_gone, _ = result["hidden"]
    shown, shown_threads, _, shown_ticks = result["shown"]
    rows, rows_threads, _, rows_ticks = result["rows"]
    notes = [f"idle: counted = voluntary + involuntary context switches summed over "
             f"/proc/PID/task/*/status across {seconds:.0f} s, after 3 s settling, no input: an "
             f"upper bound on timer wake-ups"]
    if hidden_threads:
        notes.append(f"idle: hidden, by thread: {describe_threads(hidden_threads)}")
    if hidden_gone:
        notes.append(f"idle: hidden, threads that ended during the window: {hidden_gone}")
    if shown_threads:
        notes.append(f"idle: shown, by thread: {describe_threads(shown_threads)}")
    if rows_threads:
        notes.append(f"idle: five rows, by thread: {describe_threads(rows_threads)}")
    return {
        "rows": [
            (f"wake-ups in {seconds:.0f} s idle, panel hidden (ctx switches)", str(hidden), "",
             None, "0", hidden == 0),
            (f"wake-ups in {seconds:.0f} s, panel shown, empty shelf (ctx switches)", str(shown),
             "", None, "<= 600", shown <= 600),
            (f"CPU in {seconds:.0f} s, panel shown, empty shelf (ticks)", str(shown_ticks), "",
             None, "<= 10", shown_ticks <= 10),
            (f"wake-ups in {seconds:.0f} s, panel shown, five rows, no pointer", str(rows), "",
             None, "0", rows == 0),
        ],
        "notes": notes,
    }


def part_start(build, scratch):
    result = desktopbench.measure_startup(
        os.path.join(build, "app", "qel-stashlet"),
        os.path.join(build, "bench", "stashlet-bench-baretray"), scratch, runs=START_RUNS)
    runs = result["runs"]
    (ours_ms, ours_rss, ours_pss), (bare_ms, bare_rss, bare_pss) = result["ours"], result["bare"]
    mib = 1024.0

    def row(label, ours, bare, digits):
        ratio = ours / bare
        return (label, f"{ours:.{digits}f}", f"{bare:.{digits}f} bare", ratio, "<= 1.20",
                ratio <= 1.20)
    return {
        "rows": [
            row(f"start to tray icon docked, median of {runs} (ms)", ours_ms, bare_ms, 1),
            row(f"idle VmRSS, median of {runs} (MiB)", ours_rss / mib, bare_rss / mib, 1),
            row(f"idle Pss, median of {runs} (MiB)", ours_pss / mib, bare_pss / mib, 1),
        ],
        "notes": ["start: clock from just before spawning to the tray's ReparentNotify of the "
                  "icon window (SubstructureNotify on the root); memory read 3 s after that; "
                  "both programs alternate on one Xvfb + trayer; 'bare' = "
                  "stashlet-bench-baretray, a QApplication with one QSystemTrayIcon"],
    }


PART_FUNCTIONS = {"copy": part_copy, "paint": part_paint, "quit": part_quit, "idle": part_idle,
                  "start": part_start, "delete": part_delete, "leftovers": part_leftovers,
                  "quitmany": part_quitmany}
ROW_ORDER = ("copy", "delete", "quit", "quitmany", "paint", "idle", "start", "leftovers")


# --- the machine ---------------------------------------------------------------

def first_match(path, pattern):
    try:
        with open(path) as f:
            for line in f:
                match = re.match(pattern, line)
                if match:
                    return match.group(1).strip()
    except OSError:
        pass
    return None


def command_output(args):
    try:
        result = subprocess.run(args, capture_output=True, text=True, timeout=10)
        return result.stdout.strip() if result.returncode == 0 else None
    except (OSError, subprocess.SubprocessError):
        return None


def machine_lines(build, scratch):
    cpu = first_match("/proc/cpuinfo", r"model name\s*:(.*)") or "unknown CPU"
    mem_kib = first_match("/proc/meminfo", r"MemTotal:\s*(\d+)")
    ram = f"{int(mem_kib) / (1 << 20):.1f} GiB RAM" if mem_kib else "RAM unknown"
    fs = command_output(["findmnt", "-n", "-o", "FSTYPE", "-T", scratch]) or "unknown"
    cache = os.path.join(build, "CMakeCache.txt")
    build_type = first_match(cache, r"CMAKE_BUILD_TYPE:\w+=(.*)") or "unknown"
    flags = first_match(cache, rf"CMAKE_CXX_FLAGS_{build_type.upper()}:\w+=(.*)") or ""
    compiler = first_match(cache, r"CMAKE_CXX_COMPILER:\w+=(.*)")
    compiler_version = (command_output([compiler, "--version"]) or "").split("\n")[0] \
        if compiler else ""
    qt = command_output(["dpkg-query", "-W", "-f=${Version}", "libqt6core6"]) or "unknown"
    load = " ".join(open("/proc/loadavg").read().split()[:3])
    return [
        f"machine: {cpu}, nproc {len(os.sched_getaffinity(0))}, {ram}, "
        f"Linux {os.uname().release}",
        f"scratch: {scratch} on {fs}",
        f"build:   {build_type} ({flags.strip()}), {compiler_version}, Qt {qt}",
        f"load average at start: {load}",
    ]


# --- the table -----------------------------------------------------------------

def print_table(header, rows, notes, seconds):
    head = ("measure", "QEL Stashlet", "reference", "ratio", "target", "met?")
    cells = [head]
    for label, ours, reference, ratio, target, met in rows:
        cells.append((label, ours, reference or "-", f"{ratio:.3f}" if ratio is not None else "-",
                      target or "-", {True: "yes", False: "NO", None: "-"}[met]))
    widths = [max(len(r[i]) for r in cells) for i in range(len(head))]
    right = (False, True, True, True, False, False)

    def line(r):
        return "  ".join(c.rjust(w) if ri else c.ljust(w)
                         for c, w, ri in zip(r, widths, right)).rstrip()
    print("QEL Stashlet benchmarks")
    for h in header:
        print(h)
    print()
    print(line(head))
    print("  ".join("-" * w for w in widths))
    for r in cells[1:]:
        print(line(r))
    if notes:
        print()
        for n in notes:
            print(n)
    print(f"\nran {seconds / 60:.1f} min; load average at the end: "
          + " ".join(open("/proc/loadavg").read().split()[:3]))
    sys.stdout.flush()


def on_signal(signum, _frame):
    note(f"table.py: stopped by signal {signum}; taking everything down")
    raise SystemExit(128 + signum)


def main(argv):
    if len(argv) < 3 or any(p not in PARTS for p in argv[3:]):
        print(__doc__, file=sys.stderr)
        return 2
    build, scratch = os.path.abspath(argv[1]), os.path.abspath(argv[2])
    if not os.path.isdir(scratch):
        print(f"table.py: no scratch folder at {scratch}", file=sys.stderr)
        return 2
    selected = argv[3:] or list(PARTS)
    for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(sig, on_signal)
    xsession.log_to("bench", sys.stderr)
    started = time.monotonic()
    header = machine_lines(build, scratch)
    results, failed = {}, False
    for part in ORDER:
        if part not in selected:
            continue
        note(f"== {part}")
        try:
            results[part] = PART_FUNCTIONS[part](build, scratch)
        except Exception as error:  # noqa: BLE001 - one part failing must not hide the rest
            traceback.print_exc(file=sys.stderr)
            failed = True
            results[part] = {"rows": [(f"{part}: FAILED", str(error).split("\n")[0][:60], "",
                                       None, "", False)]}
    rows, notes = [], []
    for part in ROW_ORDER:
        if part in results:
            rows += results[part]["rows"]
            notes += results[part].get("notes", [])
    print_table(header, rows, notes, time.monotonic() - started)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
