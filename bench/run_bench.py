#!/usr/bin/env python3
"""ORVA's benchmarks; scripts/run-bench.sh builds the programs and runs this.

    run_bench.py <app folder> <build dir> [--quick | --smoke] [--only cycle,install,manager,startup,load,log]

Most rows are a ratio against a reference measured in the same run, the
reference and the measured runs interleaved, and medians taken over repeats,
so that a machine shared with other work shifts both sides alike. The
programs run for real in the end-to-end tests' harness (tests/e2e/harness.py):
a fresh app folder per run, a private Xvfb + openbox display, every process
ended by id afterwards. Extension programs are the tests' stand-in program
(tests/support/standin.cpp, in the build dir), which notes each start in
$ORVA_BENCH_LOG. --quick is a short trial; --smoke, the tests' check that
every row still gets a number, the shortest (one round of the smallest size).
A row without a number ("nan") makes the script fail after the table.

What the rows measure (group name for --only in brackets):
- Listener period [cycle]: time between two starts of the same listener, for
  1, 16 and 64 listeners that end at once; ORVA's design makes it 2 s
  (chainlaunch pauses 1 s after each of its two program starts).
  Reference: per listener, a shell loop restarting a shell launcher with the
  same pauses.
- Restart delay [cycle]: Extensions/chainlaunch.exe is replaced by a timing
  wrapper (launcher_timing.c) that runs the real launcher as a child; the
  delay runs from the wrapper's note that the launcher has been reaped to the
  first note of the next wrapper started for the same listener, i.e. the
  supervisor's wake-up, fork and exec. The shell reference goes through the
  same wrapper.
- Memory [cycle]: USS (private clean + dirty) and PSS from smaps_rollup,
  sampled every 0.5 s over the cycle runs, launchers once past their first
  0.3 s; ORVA's own, and ORVA plus its launchers against the shell loops.
- Install [install]: wall time of packsetup.exe --quiet against bsdtar -xf of
  the same body (the bytes after the header), both into the same file system,
  a RAM one (/dev/shm) where there is one;
  and packsetup's peak memory (the kernel's max RSS of the ended process)
  while it installs a pack of about 1 GiB.
- Manager [manager]: construction of the window (bench_manager) with five
  lists of 100, 1000 and 10000 identifiers, each with its name file,
  offscreen; per identifier against the 100-identifier lists.
- Start-up [startup]: (first notice shown - ORVA started) + (main window
  shown - key answering the second notice sent), windows polled a few ms
  apart; the time the notices wait for their answer is left out. Against the
  designed pauses: 1 s under the loading notice plus 2 s per listed extension.
- Load [load]: ORVA with 100 listener pairs (16 with --quick), listeners
  lasting 3 s and controls 0.3 s as a busy desktop's would, watched for a
  minute (half with --quick) once the main window is up: the listener period
  (per listener, its mean; median and p90 over the listeners) against the
  designed 4 s (the listener's 3 s, then chainlaunch's pause after the
  control's start); the most launchers running at once, sampled every 0.2 s
  from ORVA's start, which must never exceed the pairs; and the time from
  the menu keys (alt+h, Return) to the About box being viewable, every 10 s.
- Log [log]: a listener writing 100 MiB (in lines of 100 bytes) as fast as
  it can, through chainlaunch into its pair's log as ORVA starts it (the
  listener's id in ORVA_PAIR_LOG), against the same program started by a
  shell writing to /dev/null, through a pipe read by cat to /dev/null (what
  any reader of a pipe costs the writer) and by cat into one file; the time
  from the listener's start to its end (the stand-in's notes) on both sides;
  the log's size on disk afterwards (both files' blocks); the launcher's
  peak memory (VmHWM, read until it ends) against the same with a listener
  that writes nothing.
"""

import argparse
import contextlib
import json
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tests", "e2e"))

import harness  # noqa: E402

CONTROL_ID = "00000900"
IDS = {"small": "00000777", "large": "00000778", "memory": "00000779"}  # the install packs' extensions
RAM_FOLDER = "/dev/shm"
PAUSE_S = 1.0  # each of ORVA's and chainlaunch's designed pauses
LOAD_LISTENER_S, LOAD_CONTROL_S = 3, 0.3
ABOUT_EVERY_S = 10.0
ABOUT_TITLE = "关于ORVA"
# The sizes of each mode. cycles: {listeners: rounds}; measure_s: how long each
# cycle run is watched once everything runs; install: (files of 4 KiB in the
# small pack, MiB of each of the large pack's 4 files, rounds, MiB of each of
# the 4 files of the pack whose install's peak memory is measured); startups:
# (listeners, rounds) beyond the cycle runs'; load: (pairs, seconds watched).
MODES = {
    "full": {"cycles": {1: 2, 16: 2, 64: 1}, "measure_s": 10.0, "install": (5000, 64, 7, 512),
             "manager": ["100", "1000", "10000"], "startups": ((0, 4), 3), "load": (100, 60.0), "log": (100, 11)},
    "quick": {"cycles": {1: 1, 16: 1}, "measure_s": 10.0, "install": (500, 16, 2, 64), "manager": ["100", "1000"],
              "startups": ((0, 4), 1), "load": (16, 30.0), "log": (100, 2)},
    "smoke": {"cycles": {1: 1}, "measure_s": 4.5, "install": (50, 1, 1, 1), "manager": ["100"],
              "startups": ((0,), 1), "load": (2, 9.0), "log": (4, 1)},
}
# Zombies that are not orphans: programs this script runs and waits for itself.
OWN_CHILDREN = {"ORVA", "sh", "xdotool", "xwininfo", "xprop", "import"}

TARGETS = {
    "period": 1.05,
    "restart_ms": 10.0,
    "chainlaunch_uss_mib": 3.0,
    "install": 1.1,
    "install_peak_mib": 64.0,
    "manager_ms": 100.0,
    "startup_pct": 5.0,
}


def median(values):
    return statistics.median(values) if values else float("nan")


def percentile(values, fraction):
    if not values:
        return float("nan")
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))]


def memory(pid):
    """(USS, PSS) in MiB from smaps_rollup, or None when the process is gone."""
    try:
        with open("/proc/{}/smaps_rollup".format(pid)) as rollup:
            fields = dict((line.split()[0].rstrip(":"), line.split()[1]) for line in rollup if line[0].isupper()
                          and len(line.split()) >= 2 and line.split()[1].isdigit())
    except OSError:
        return None
    uss = int(fields.get("Private_Clean", 0)) + int(fields.get("Private_Dirty", 0))
    return uss / 1024.0, int(fields.get("Pss", 0)) / 1024.0


def process_age_s(pid):
    """Seconds since the process started (clock-tick precision)."""
    try:
        with open("/proc/{}/stat".format(pid), "rb") as stat:
            fields = stat.read().rsplit(b")", 1)[1].split()
        with open("/proc/uptime") as uptime:
            now = float(uptime.read().split()[0])
    except OSError:
        return None
    return now - int(fields[19]) / os.sysconf("SC_CLK_TCK")


def executable(pid):
    try:
        return os.readlink("/proc/{}/exe".format(pid))
    except OSError:
        return ""


def reap_orphans():
    """Reaps the ended orphans that this process, a child subreaper, inherits:
    every detached control program ends here, and a hundred pairs would fill
    the pid space with zombies within minutes."""
    me = os.getpid()
    for entry in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/{}/stat".format(entry), "rb") as stat:
                head, tail = stat.read().rsplit(b")", 1)
        except OSError:
            continue
        state, parent = tail.split()[:2]
        if state == b"Z" and int(parent) == me and head.split(b"(", 1)[1].decode(errors="replace") not in OWN_CHILDREN:
            try:
                os.waitpid(int(entry), os.WNOHANG)
            except ChildProcessError:
                pass


def orva_launchers():
    """How many chainlaunch processes the ORVA this process started runs (other
    copies of ORVA may be running on the machine). A child that a launcher has
    forked bears the launcher's arguments until it has started its program,
    but never has ORVA for parent."""
    table = harness.processes()
    orvas = {pid for pid, (parent, args, *_) in table.items() if parent == os.getpid() and args[:1] == ["./ORVA"]}
    return sum(1 for parent, args, *_ in table.values() if parent in orvas and args[:1]
               and os.path.basename(args[0]) == "chainlaunch.exe")


class Watch(threading.Thread):
    """While ORVA or the shell loops run: every 0.2 s, reaps the orphans and
    keeps the peak of `count()`, when there is one."""

    def __init__(self, count=None):
        super().__init__(daemon=True)
        self.count, self.peak, self.error = count, 0, None
        self.stopping = threading.Event()

    def run(self):
        try:
            while not self.stopping.wait(0.2):
                reap_orphans()
                if self.count:
                    self.peak = max(self.peak, self.count())
        except Exception as error:  # raised by __exit__, in the main thread
            self.error = error

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, kind, *_):
        self.stopping.set()
        self.join()
        if self.error and kind is None:
            raise AssertionError("watching the processes failed: {!r}".format(self.error))


class BenchCase(harness.Case):
    """A test's app folder, with the log of the listeners' and the timing
    wrapper's notes."""

    def env(self, **changes):
        return super().env(**{"ORVA_BENCH_LOG": self.bench_log, **changes})

    @property
    def bench_log(self):
        return os.path.join(self.tmp, "bench.log")

    def notes(self):
        """(kind, time.time() of the note, key) in the order written."""
        if not os.path.exists(self.bench_log):
            return []
        with open(self.bench_log, encoding="utf-8") as log:
            lines = [line.rstrip("\n").split(" ", 3) for line in log]
        return [(kind, float(when), key) for kind, _, when, key in lines]


def answer(run, wid, keys):
    """Answers a box that has just been seen, again while it stays open (a key
    sent in the instant it is mapped can be lost)."""
    display = harness.display
    harness.retry(lambda: display.keys(wid, *keys), lambda: not run.alive() or not display.viewable(wid),
                  "a box to close")


def poll_window(run, title, exclude=(), timeout=harness.TIMEOUT):
    """(time.monotonic() seen, id) of a viewable window of `run` with this
    title, polled a few ms apart; an error box fails at once."""
    display = harness.display
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if not run.alive():
            raise AssertionError("ORVA ended while waiting for {!r}: {}".format(title, run.describe()))
        for wid in display.windows(run.pid):
            name = display.title(wid)
            if name == harness.ERROR:
                raise AssertionError("error box while waiting for {!r}: {}".format(title, run.describe()))
            if name == title and wid not in exclude:
                return time.monotonic(), wid
        time.sleep(0.005)
    raise AssertionError("no window {!r}: {}".format(title, run.describe()))


class Bench:
    def __init__(self, app_dir, build_dir, mode):
        harness.APP = os.path.realpath(app_dir)
        self.build_dir = os.path.realpath(build_dir)
        harness.STANDIN = os.path.join(self.build_dir, "tests", "support", "orva_standin")
        self.mode = MODES[mode]
        self.rows = []
        self.startup_parts = {}
        self.work = os.path.join(self.build_dir, "bench-work")
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        self.timing_wrapper = os.path.join(self.work, "launcher-timing")
        subprocess.run(["cc", "-O2", "-Wall", "-Wextra", "-Wpedantic", "-Werror", "-o", self.timing_wrapper,
                        os.path.join(HERE, "launcher_timing.c")], check=True)

    # --- one app folder per run, ORVA's start-up timed ------------------------

    @staticmethod
    def new_case(folder=None):
        """A fresh app folder, in `folder` when given."""
        previous, tempfile.tempdir = tempfile.tempdir, folder or tempfile.tempdir
        try:
            case = BenchCase()
            case.setUp()
        finally:
            tempfile.tempdir = previous
        return case

    @staticmethod
    def add_listeners(case, count):
        case.add_extension(CONTROL_ID, "BenchControl", CONTROL_ID)
        ids = ["{:08d}".format(1000 + i) for i in range(count)]
        for ext_id in ids:
            case.add_extension(ext_id, "Listener" + ext_id, CONTROL_ID)
        return ids

    def use_timing_wrapper(self, case):
        launcher = case.path("Extensions/chainlaunch.exe")
        os.remove(launcher)  # the harness's link to the installed launcher
        real = case.path("Extensions/chainlaunch.real")  # a copy: its /proc/<pid>/exe names it
        shutil.copy2(os.path.join(harness.APP, "Extensions", "chainlaunch.exe"), real)
        shutil.copy2(self.timing_wrapper, launcher)

    def start_orva_timed(self, case, ids):
        """Starts ORVA with `ids` listed, answers its notices and waits for the
        main window. Returns the run, the main window and the start-up time
        beyond the notices: (first notice shown - start) + (main window shown -
        key that answers the second notice sent)."""
        display = harness.display
        case.write("Start/Listener.etl", "".join(ext_id + "\n" for ext_id in ids))
        started = time.monotonic()
        run = harness.Run(case, ["./ORVA"])
        first_shown, first = poll_window(run, harness.NOTICE)
        answer(run, first, ("Return",))
        second = run.window(harness.NOTICE, exclude={first})
        sent = []

        def escape():  # timed from the key of the try that closed it
            display.x("xdotool", "windowactivate", "--sync", str(second))
            sent.append(time.monotonic())
            display.x("xdotool", "key", "--delay", "0", "Escape")
        harness.retry(escape, lambda: not run.alive() or not display.viewable(second), "the second notice to close")
        answered = sent[-1]
        # Nothing to see during the designed pauses but the loading notice.
        while time.monotonic() < answered + designed_pauses(len(ids)) - 0.5:
            if not run.alive():
                raise AssertionError("ORVA ended while loading: " + run.describe())
            time.sleep(0.05)
        shown, main = poll_window(run, harness.MAIN)
        self.startup_parts.setdefault(len(ids), []).append((first_shown - started, shown - answered))
        return run, main, (first_shown - started) + (shown - answered)

    # --- launcher cycle and memory -------------------------------------------

    @staticmethod
    def sample_memory(pids_of, until):
        samples = []
        while time.time() < until:
            for kind, pid in pids_of():
                # A launcher's first moments are its start-up, not its steady state.
                age = process_age_s(pid)
                if age is not None and age >= 0.3:
                    value = memory(pid)
                    if value is not None:
                        samples.append((kind, value))
            time.sleep(0.5)
        return samples

    @staticmethod
    def starts(notes, since):
        """Per program file name, its start times from `since` on: the stand-in
        notes every start, the control programs' too."""
        starts = {}
        for kind, when, key in notes:
            if kind == "listener-start" and when >= since:
                starts.setdefault(key, []).append(when)
        return starts

    @staticmethod
    def restart_delays(notes, since):
        ends, delays = {}, []
        for kind, when, key in notes:
            if kind == "launcher-end":
                ends[key] = when
            elif kind == "launcher-start" and key in ends:
                delay = (when - ends.pop(key)) * 1000.0
                if when >= since:
                    delays.append(delay)
        return delays

    @staticmethod
    def launcher_pids(supervisor, table):
        """The launcher processes (the real ones, behind the timing wrapper)
        below `supervisor`, whether a program or a script."""
        found = []
        for pid in harness.descendants(supervisor, table):
            names = table[pid][1][:2] + [executable(pid)]
            if any(name.endswith("chainlaunch.real") for name in names):
                found.append(("launcher", pid))
        return found

    def cycle_run(self, count, side):
        """One measured run of `count` listeners. "orva": ORVA and the real
        chainlaunch. "shell": the reference, a plain shell loop per listener
        restarting a shell launcher with the same pauses (start the listener,
        pause, wait for it, start the control program, pause, end). Both
        sides start their launcher through the same timing wrapper."""
        case = self.new_case()
        try:
            ids = self.add_listeners(case, count)
            self.use_timing_wrapper(case)
            startup = None
            with Watch():
                if side == "orva":
                    run, _, startup = self.start_orva_timed(case, ids)
                    supervisors = [run.pid]
                else:
                    case.write("Extensions/chainlaunch.real",
                               '#!/bin/sh\n"$1" </dev/null & /bin/sleep 1; wait $!; "$2" </dev/null & /bin/sleep 1\n')
                    os.chmod(case.path("Extensions/chainlaunch.real"), 0o755)
                    loop = 'while :; do ./Extensions/chainlaunch.exe "$0" "$1"; done'
                    control = "./Extensions/{0}/BenchControl.exe".format(CONTROL_ID)
                    listener = "./Extensions/{0}/Listener{0}.exe"
                    supervisors = [harness.Run(case, ["/bin/sh", "-c", loop, listener.format(ext_id), control]).pid
                                   for ext_id in ids]
                    time.sleep(2.5)  # every loop is past its first round
                since = time.time()

                def pids_of():
                    # One look at /proc per sample: 64 loops must not take a scan each.
                    table = harness.processes()
                    found = [("supervisor", pid) for pid in supervisors]
                    for pid in supervisors:
                        found += self.launcher_pids(pid, table)
                    return found
                samples = self.sample_memory(pids_of, since + self.mode["measure_s"])
            notes = case.notes()
            starts = self.starts(notes, since)
            listeners = [starts.get("Listener{}.exe".format(ext_id), []) for ext_id in ids]
            periods = [b - a for times in listeners for a, b in zip(times, times[1:])]
            return {"periods": periods, "restarts": self.restart_delays(notes, since), "startup": startup,
                    "samples": samples}
        finally:
            case.doCleanups()

    def run_cycles(self):
        results = {}
        for count, rounds in self.mode["cycles"].items():
            for repeat in range(rounds):
                # Alternate which side goes first.
                order = ("shell", "orva") if repeat % 2 == 0 else ("orva", "shell")
                for side in order:
                    progress("cycle: {} with {} listener(s), round {}".format(side, count, repeat + 1))
                    results.setdefault((side, count), []).append(self.cycle_run(count, side))
        return results

    def report_cycles(self, results):
        for count in sorted({count for _, count in results}):
            orva, shell = results[("orva", count)], results[("shell", count)]

            def values(runs, key):
                return [value for run in runs for value in run[key]]

            def memories(runs, kind, index):
                return [value[index] for run in runs for what, value in run["samples"] if what == kind]

            p_orva, p_shell = median(values(orva, "periods")), median(values(shell, "periods"))
            ext = "{} ext.".format(count)
            self.row("Listener period, {} vs 2.000 s".format(ext), "{:.3f} s".format(p_orva), "2.000 s",
                     p_orva / 2.0, "≤ 1.05" if count == 16 else "",
                     p_orva / 2.0 <= TARGETS["period"] if count == 16 else None)
            self.row("Listener period, {} vs shell loop".format(ext), "{:.3f} s".format(p_orva),
                     "{:.3f} s".format(p_shell), p_orva / p_shell, "", None)
            d_orva, d_shell = values(orva, "restarts"), values(shell, "restarts")
            self.row("Restart delay, {} vs shell loop (median; p90)".format(ext),
                     "{:.1f}; {:.1f} ms".format(median(d_orva), percentile(d_orva, 0.9)),
                     "{:.1f}; {:.1f} ms".format(median(d_shell), percentile(d_shell, 0.9)),
                     median(d_orva) / median(d_shell), "< 10 ms", median(d_orva) < TARGETS["restart_ms"])
            for index, what in ((0, "USS"), (1, "PSS")):
                ours = median(memories(orva, "launcher", index))
                ref = median(memories(shell, "launcher", index))
                self.row("chainlaunch {} each, {} vs sh launcher".format(what, ext), "{:.2f} MiB".format(ours),
                         "{:.2f} MiB".format(ref), ours / ref, "< 3 MiB" if index == 0 else "",
                         ours < TARGETS["chainlaunch_uss_mib"] if index == 0 else None)
            o_uss, o_pss = median(memories(orva, "supervisor", 0)), median(memories(orva, "supervisor", 1))
            l_pss = median(memories(orva, "launcher", 1))
            s_pss = median(memories(shell, "supervisor", 1)) + median(memories(shell, "launcher", 1))
            self.row("ORVA USS; PSS, {}".format(ext), "{:.1f}; {:.1f} MiB".format(o_uss, o_pss), "", None, "", None)
            # ORVA plus one launcher per listener against a loop plus a launcher per listener.
            total, ref = o_pss + count * l_pss, count * s_pss
            self.row("ORVA + launchers PSS, {} vs shell loops".format(ext), "{:.1f} MiB".format(total),
                     "{:.1f} MiB".format(ref), total / ref, "", None)

    # --- install throughput ----------------------------------------------------

    def make_packs(self):
        etipack = os.path.join(harness.APP, "etipack")
        packs = os.path.join(self.work, "packs")
        os.makedirs(packs, exist_ok=True)
        small_files, large_mib, _, memory_mib = self.mode["install"]
        shapes = {
            # name: (file count, bytes per file)
            "small": (small_files, 4096),
            "large": (4, large_mib * 1024 * 1024),
            "memory": (4, memory_mib * 1024 * 1024),
        }
        made = {}
        for shape, (count, size) in shapes.items():
            folder = os.path.join(packs, shape)
            os.makedirs(os.path.join(folder, "data"))
            name = "Bench" + shape.capitalize()
            with open(os.path.join(folder, name + ".exe"), "wb") as program:
                program.write(b"#!/bin/sh\n")
            for index in range(count):
                subdir = os.path.join(folder, "data", "d{:03d}".format(index // 500))
                os.makedirs(subdir, exist_ok=True)
                with open(os.path.join(subdir, "f{:06d}".format(index)), "wb") as data:
                    # Half random, half text: compresses as real files do, roughly.
                    data.write(os.urandom(size // 2) + b"orva bench line\n" * (size // 2 // 16))
            pack = os.path.join(packs, shape + ".etipack")
            subprocess.run([etipack, "create", folder, "--name", name, "--id", IDS[shape], "-o", pack], check=True,
                           stdout=subprocess.DEVNULL)
            body = os.path.join(packs, shape + ".body")
            if shape != "memory":  # bsdtar's share of the work
                with open(pack, "rb") as packed, open(body, "wb") as out:
                    data = packed.read()
                    out.write(data[header_end(data) + 1:])
            shutil.rmtree(folder)
            made[shape] = (pack, body, count, size)
        return made

    def run_installs(self):
        packs = self.make_packs()
        # Both sides write into memory (tmpfs): on a disk, its write-back and
        # ext4's search for free inodes after the previous round's deletion
        # moved the ratio by a tenth from run to run, more than what differs.
        case = self.new_case(RAM_FOLDER if os.path.isdir(RAM_FOLDER) else None)
        results = {}
        try:
            memory_pack = packs.pop("memory")[0]
            for shape, (pack, body, _, _) in packs.items():
                for repeat in range(self.mode["install"][2]):
                    order = ("bsdtar", "packsetup") if repeat % 2 == 0 else ("packsetup", "bsdtar")
                    for side in order:
                        progress("install: {} {} pack, round {}".format(side, shape, repeat + 1))
                        target = case.path("Extensions/" + IDS[shape])
                        scratch = case.path("bsdtar-out")
                        # What the previous run left to write back is not this one's to pay.
                        os.sync()
                        if side == "bsdtar":
                            os.makedirs(scratch)
                            began = time.monotonic()
                            subprocess.run(["bsdtar", "-xf", body, "-C", scratch], check=True)
                        else:
                            began = time.monotonic()
                            subprocess.run([case.path("Extensions/00000001/packsetup.exe"), "--quiet", pack],
                                           cwd=case.app, env=case.env(), check=True, stdout=subprocess.DEVNULL)
                        results.setdefault((shape, side), []).append(time.monotonic() - began)
                        shutil.rmtree(scratch if side == "bsdtar" else target)
                        if side == "packsetup":  # the install listed the extension
                            for role in ("Listener", "Controller", "Runner", "Structure", "MainControllerExtension"):
                                case.write("Start/{}.etl".format(role), "")
            peak_mib = self.install_peak_memory(case, memory_pack)  # last: it leaves gigabytes to write back
        finally:
            case.doCleanups()
        for shape, (_, _, count, size) in packs.items():
            ours, ref = median(results[(shape, "packsetup")]), median(results[(shape, "bsdtar")])
            what = "{} files × 4 KiB".format(count) if shape == "small" else "4 files × {} MiB".format(size >> 20)
            self.row("Install {} vs bsdtar -xf".format(what), "{:.2f} s".format(ours), "{:.2f} s".format(ref),
                     ours / ref, "≤ {}".format(TARGETS["install"]), ours / ref <= TARGETS["install"])
        size_mib = os.path.getsize(memory_pack) / 2 ** 20
        self.row("Install peak memory (max RSS), pack of {:.0f} MiB".format(size_mib), "{:.1f} MiB".format(peak_mib),
                 "", None, "≤ {:.0f} MiB".format(TARGETS["install_peak_mib"]), peak_mib <= TARGETS["install_peak_mib"])

    @staticmethod
    def install_peak_memory(case, pack):
        """packsetup's largest resident set while it installs the pack (VmHWM,
        which only grows, read until it ends); then the extension goes. Not
        the ru_maxrss of the ended child: that counts this script's own memory,
        which the child had until it started packsetup."""
        progress("install: peak memory, {:.0f} MiB pack".format(os.path.getsize(pack) / 2 ** 20))
        child = subprocess.Popen([case.path("Extensions/00000001/packsetup.exe"), "--quiet", pack], cwd=case.app,
                                 env=case.env(), stdout=subprocess.DEVNULL)
        peak_kib = 0
        while child.poll() is None:
            with contextlib.suppress(OSError, ValueError, StopIteration):
                with open("/proc/{}/status".format(child.pid)) as status:
                    peak_kib = max(peak_kib, int(next(line for line in status if line.startswith("VmHWM:")).split()[1]))
            time.sleep(0.005)
        if child.returncode != 0:
            raise RuntimeError("packsetup failed with status {}".format(child.returncode))
        shutil.rmtree(case.path("Extensions/" + IDS["memory"]))
        return peak_kib / 1024.0

    # --- the extension manager -------------------------------------------------

    def run_manager(self):
        program = os.path.join(self.build_dir, "bench", "bench_manager")
        sizes = self.mode["manager"]
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=tempfile.mkdtemp(dir=self.work))
        progress("manager: " + ", ".join(sizes))
        out = subprocess.run([program, os.path.join(self.work, "manager"), "5"] + sizes, env=env, check=True,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout.decode()
        results = [json.loads(line) for line in out.splitlines()]
        base = results[0]["median_ms"] / results[0]["ids"]
        for result in results:
            ids, ms = result["ids"], result["median_ms"]
            self.row("Manager, 5 lists of {} ids: per id vs 100 ids".format(ids),
                     "{:.1f} ms ({:.1f} µs/id)".format(ms, 1000 * ms / ids), "{:.1f} µs/id".format(1000 * base),
                     (ms / ids) / base, "< 100 ms" if ids == 1000 else "linear",
                     ms < TARGETS["manager_ms"] if ids == 1000 else None)

    # --- start-up ----------------------------------------------------------------

    def run_startups(self, cycle_results):
        samples = {}
        for (side, count), results in cycle_results.items():
            if side == "orva":
                samples.setdefault(count, []).extend(r["startup"] for r in results)
        counts, rounds = self.mode["startups"]
        for repeat in range(rounds):
            for count in counts:
                progress("start-up: {} ext., round {}".format(count, repeat + 1))
                case = self.new_case()
                try:
                    ids = self.add_listeners(case, count)
                    with Watch():
                        samples.setdefault(count, []).append(self.start_orva_timed(case, ids)[2])
                finally:
                    case.doCleanups()
        for count in sorted(samples):
            if count not in (0, 4, 16):
                continue
            measured = median(samples[count])
            pauses = designed_pauses(count)
            if count == 0:
                to_notice = median([part[0] for part in self.startup_parts[0]])
                self.row("Start-up, 0 ext.: to 1st notice + after notices",
                         "{:.0f} + {:.0f} ms".format(1000 * to_notice, 1000 * (measured - to_notice)),
                         "{:.3f} s".format(pauses), measured / pauses, "", None)
                continue
            pct = 100 * (measured - pauses) / pauses
            self.row("Start-up, {} ext. vs {:.0f} s of pauses (1 + 2 × {})".format(count, pauses, count),
                     "{:.2f} s (+{:.1f} %)".format(measured, pct), "{:.3f} s".format(pauses), measured / pauses,
                     "< 5 %", pct < TARGETS["startup_pct"])

    # --- load: many pairs cycling while the user works the menus ---------------

    def time_about(self, run, main):
        """Seconds from the menu keys that ask for the About box to the box
        being viewable; answers it."""
        display = harness.display
        display.x("xdotool", "windowactivate", "--sync", str(main))
        asked = time.monotonic()
        display.x("xdotool", "key", "--delay", "0", "alt+h", "Return")
        shown, box = poll_window(run, ABOUT_TITLE, exclude={main})
        answer(run, box, ("Return",))
        return shown - asked

    def run_load(self):
        pairs, watched = self.mode["load"]
        progress("load: {} pairs, ORVA's start-up takes {:.0f} s".format(pairs, designed_pauses(pairs)))
        case = self.new_case()
        try:
            ids = ["{:08d}".format(100 + n) for n in range(pairs)]
            for ext_id in ids:
                control = "{:08d}".format(int(ext_id) + 1000)
                case.add_extension(ext_id, "Listen" + ext_id, control, "sleep {}\n".format(LOAD_LISTENER_S))
                case.add_extension(control, "Control" + ext_id, control, "sleep {}\n".format(LOAD_CONTROL_S))
            with Watch(orva_launchers) as watch:
                run, main, _ = self.start_orva_timed(case, ids)
                since, began = time.time(), time.monotonic()
                about = []
                while time.monotonic() < began + watched:
                    progress("load: About box, {:.0f} s in".format(time.monotonic() - began))
                    about.append(self.time_about(run, main))
                    time.sleep(max(0.0, min(ABOUT_EVERY_S, began + watched - time.monotonic())))
                if not run.alive():
                    raise AssertionError("ORVA ended under load: " + run.describe())
            starts = self.starts(case.notes(), since)
        finally:
            case.doCleanups()
        # A listener that never started again meanwhile counts as the whole watch
        # long; no start noted at all is a broken log, not a measurement.
        periods = [(times[-1] - times[0]) / (len(times) - 1) if len(times) > 1 else watched
                   for times in (starts.get("Listen{}.exe".format(ext_id), []) for ext_id in ids) if starts]
        designed = LOAD_LISTENER_S + PAUSE_S
        self.row("Load: listener period, {} pairs vs {:.3f} s (median; p90)".format(pairs, designed),
                 "{:.3f}; {:.3f} s".format(median(periods), percentile(periods, 0.9)), "{:.3f} s".format(designed),
                 median(periods) / designed, "", None)
        self.row("Load: most launchers at once, {} pairs".format(pairs), str(watch.peak), "", None,
                 "≤ {}".format(pairs), watch.peak <= pairs)
        self.row("Load: menu keys to About box shown, {} pairs (median of {})".format(pairs, len(about)),
                 "{:.0f} ms".format(1000 * median(about)), "", None, "", None)

    # --- a listener that writes fast, and its log ---------------------------------

    def flood_run(self, mib, side):
        """(seconds from the listener's start to its end, the launcher's
        peak memory in MiB or None, the log's bytes on disk) of one run."""
        case = self.new_case()
        try:
            case.add_extension(CONTROL_ID, "BenchControl", CONTROL_ID)
            case.add_extension("00000002", "Flood", CONTROL_ID, "flood {}".format(mib << 20))
            programs = ["./Extensions/00000002/Flood.exe", "./Extensions/{0}/BenchControl.exe".format(CONTROL_ID)]
            if side == "log":
                args, env = ["./Extensions/chainlaunch.exe", *programs], {"ORVA_PAIR_LOG": "00000002", "DISPLAY": None}
            else:  # pipe: what any reader of a pipe costs the writer; cat: the same reader writing a file
                target = "Logs/00000002.log" if side == "cat" else "/dev/null"
                args, env = ["/bin/sh", "-c", 'mkdir -p Logs; "$0" </dev/null {} >{}; "$1" </dev/null'.format(
                    "" if side == "null" else "| cat", target), *programs], {}
            child = subprocess.Popen(args, cwd=case.app, env=case.env(**env), stdin=subprocess.PIPE,
                                     stdout=subprocess.DEVNULL)
            peak_kib = 0
            while child.poll() is None:
                with contextlib.suppress(OSError, ValueError, StopIteration):
                    with open("/proc/{}/status".format(child.pid)) as status:
                        peak_kib = max(peak_kib, int(next(line for line in status
                                                          if line.startswith("VmHWM:")).split()[1]))
                time.sleep(0.005)
            notes = {(kind, key): when for kind, when, key in case.notes()}
            took = notes[("listener-end", "Flood.exe")] - notes[("listener-start", "Flood.exe")]
            logs = [case.path("Logs/00000002" + suffix) for suffix in (".log", ".1.log")]
            size = sum(os.stat(log).st_blocks * 512 for log in logs if os.path.exists(log))
            return took, (peak_kib / 1024.0 if side == "log" else None), size
        finally:
            case.doCleanups()

    def run_log(self):
        mib, rounds = self.mode["log"]
        sides = ("null", "pipe", "cat", "log")
        results = {side: [] for side in sides}
        for repeat in range(rounds):
            for side in sides if repeat % 2 == 0 else reversed(sides):
                progress("log: {} MiB to {}, round {}".format(mib, side, repeat + 1))
                results[side].append(self.flood_run(mib, side))
        ours = median([run[0] for run in results["log"]])
        for side, reference, target in (("null", "to /dev/null", ""), ("pipe", "through cat to /dev/null", "≤ 1.1"),
                                        ("cat", "through cat into a file", "")):
            theirs = median([run[0] for run in results[side]])
            self.row("Listener writing {} MiB: into its log vs {}".format(mib, reference), "{:.2f} s".format(ours),
                     "{:.2f} s".format(theirs), ours / theirs, target, ours / theirs <= 1.1 if target else None)
        size = max(run[2] for run in results["log"]) / 2 ** 20
        self.row("Its log on disk, both files", "{:.2f} MiB".format(size), "", None, "≤ 2.1 MiB", size <= 2.1)
        peak, quiet = max(run[1] for run in results["log"]), self.flood_run(0, "log")[1]
        self.row("chainlaunch peak memory (VmHWM) while it logs vs a silent listener's", "{:.1f} MiB".format(peak),
                 "{:.1f} MiB".format(quiet), peak / quiet, "", None)

    # --- the table -------------------------------------------------------------

    def row(self, what, measured, reference, ratio, target, met):
        self.rows.append((what, measured, reference, "" if ratio is None else "{:.3f}".format(ratio), target,
                          "" if met is None else ("yes" if met else "NO")))

    def print_table(self):
        head = ("benchmark", "measured", "reference", "ratio", "target", "met")
        print("| " + " | ".join(head) + " |")
        print("|" + "---|" * len(head))
        for row in self.rows:
            print("| " + " | ".join(row) + " |")


def progress(text):
    print("  " + text, file=sys.stderr, flush=True)


def designed_pauses(count):
    """ORVA's designed pauses at start-up: one second under the loading
    notice, then two per listed extension."""
    return PAUSE_S * (1 + 2 * count)


def header_end(data):
    """Offset of the `~` that ends a pack's header (braces counted as bytes)."""
    depth = 0
    for offset, byte in enumerate(data):
        if byte == ord("{"):
            depth += 1
        elif byte == ord("}"):
            depth -= 1
        elif byte == ord("~") and depth == 0:
            return offset
    raise ValueError("no header end")


def cpu_model():
    try:
        with open("/proc/cpuinfo") as info:
            for line in info:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return "unknown CPU"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("app_dir")
    parser.add_argument("build_dir")
    sizes = parser.add_mutually_exclusive_group()
    sizes.add_argument("--quick", action="store_const", dest="mode", const="quick", default="full",
                       help="fewer and smaller rounds, to try the script out")
    sizes.add_argument("--smoke", action="store_const", dest="mode", const="smoke",
                       help="one short round of the smallest size: that every row still gets a number")
    parser.add_argument("--only", default="cycle,install,manager,startup,load,log")
    args = parser.parse_args()
    only = set(args.only.split(","))
    unknown = only - {"cycle", "install", "manager", "startup", "load", "log"}
    if unknown:
        parser.error("no such group: " + ", ".join(sorted(unknown)))
    bench = Bench(args.app_dir, args.build_dir, args.mode)
    began = time.monotonic()
    cycles = {}
    harness.setUpModule()  # this process becomes a child subreaper; the display starts
    try:
        if "manager" in only:
            bench.run_manager()
        if "install" in only:
            bench.run_installs()
        if "cycle" in only:
            cycles = bench.run_cycles()
            bench.report_cycles(cycles)
        if "startup" in only:
            bench.run_startups(cycles)
        if "load" in only:
            bench.run_load()
        if "log" in only:
            bench.run_log()
    finally:
        harness.tearDownModule()
    shutil.rmtree(bench.work, ignore_errors=True)
    print("", file=sys.stderr)
    bench.print_table()
    print("\n{} cores, {}, Linux {}; {:.0f} s".format(os.cpu_count(), cpu_model(), os.uname().release,
                                                     time.monotonic() - began))
    missing = [row[0] for row in bench.rows if "nan" in " ".join(row[1:4])]
    if missing:
        sys.stdout.flush()
        sys.exit("run_bench: no number in the rows " + "; ".join(missing))


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    main()
