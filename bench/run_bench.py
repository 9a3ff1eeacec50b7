#!/usr/bin/env python3
"""ORVA's benchmarks; scripts/run-bench.sh builds the programs and runs this.

    run_bench.py <app folder> <build dir> [--quick]

Every row is a ratio against a reference measured in the same run, the
reference and the measured runs interleaved, and medians taken over repeats,
so that a machine shared with other work shifts both sides alike. The
programs run for real under a private Xvfb + openbox display, driven with
the end-to-end tests' modules (tests/e2e).

What the rows measure:
- Listener period: time between two starts of the same listener, from the
  timestamps the (instant) listener script writes; ORVA's design makes it
  2 s (chainlaunch pauses 1 s after each of its two program starts).
  Reference: per listener, a shell loop restarting a shell launcher with the
  same pauses.
- Restart delay: Extensions/chainlaunch.exe is replaced by a timing wrapper
  (launcher_timing.c) that runs the real launcher as a child; the delay runs
  from the wrapper's note that the launcher has been reaped to the first note
  of the next wrapper started for the same listener, i.e. the supervisor's
  wake-up, fork and exec. The shell reference goes through the same wrapper.
- Memory: USS (private clean + dirty) and PSS from smaps_rollup, sampled every
  0.5 s over the run, launchers once past their first 0.3 s.
- Install: wall time of packsetup.exe --quiet against bsdtar -xf of the same
  body (the bytes after the header), both into the same file system.
- Manager: construction of the window (bench_manager) with five lists of N
  identifiers, each with its name file, offscreen.
- Start-up: (first notice shown - ORVA started) + (main window shown - key
  answering the second notice sent), windows polled a few ms apart; the time
  the notices wait for their answer is left out. Against the designed pauses:
  1 s under the loading notice plus 2 s per listed extension.
"""

import argparse
import json
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tests", "e2e"))

import orvacase  # noqa: E402
import processes  # noqa: E402
import xsession  # noqa: E402

CONTROL_ID = "00000900"
INSTANT = ":"  # listener and control bodies: end at once
MEASURE_S = 10.0  # how long each cycle run is watched once everything runs
PAUSE_S = 1.0  # each of ORVA's and chainlaunch's designed pauses

TARGETS = {
    "period": 1.05,
    "restart_ms": 10.0,
    "chainlaunch_uss_mib": 3.0,
    "install": 1.2,
    "manager_ms": 100.0,
    "startup_pct": 5.0,
}


def median(values):
    return statistics.median(values) if values else float("nan")


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


class Bench:
    def __init__(self, app_dir, build_dir, quick):
        self.app_dir = os.path.realpath(app_dir)
        self.build_dir = os.path.realpath(build_dir)
        self.quick = quick
        self.rows = []
        self.startup_parts = {}
        self.work = os.path.join(self.build_dir, "bench-work")
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        self.timing_wrapper = os.path.join(self.work, "launcher-timing")
        subprocess.run(["cc", "-O2", "-o", self.timing_wrapper, os.path.join(HERE, "launcher_timing.c")],
                       check=True)

    # --- the X session and one ORVA workspace per run ----------------------

    def start_display(self):
        orvacase.start_display()
        self.display = orvacase._display

    def stop_display(self):
        orvacase.stop_display()

    def new_case(self):
        """An end-to-end case set up as for a test: fresh workspace, runtime
        folder and clean-up of every process it starts."""
        os.environ["ORVA_APP_DIR"] = self.app_dir
        case = orvacase.EndToEndCase()
        case.setUp()
        return case

    def add_listeners(self, case, count):
        case.ws.add_extension(CONTROL_ID, "BenchControl", control_id=CONTROL_ID, body=INSTANT, tag="control")
        ids = ["{:08d}".format(1000 + i) for i in range(count)]
        for ext_id in ids:
            case.ws.add_extension(ext_id, "Listener" + ext_id, control_id=CONTROL_ID, body=INSTANT)
        return ids

    def use_timing_wrapper(self, case):
        real = case.ws.path("Extensions", "chainlaunch.real")
        os.replace(case.ws.chainlaunch, real)
        shutil.copy2(self.timing_wrapper, case.ws.chainlaunch)
        return case.ws.path("launchers.log")

    # --- ORVA's start-up, timed ---------------------------------------------

    def poll_main_window(self, run, not_before):
        while time.time() < not_before:
            if not run.alive():
                raise AssertionError("ORVA ended while loading: " + run.describe())
            time.sleep(0.05)
        deadline = time.time() + orvacase.WINDOW_TIMEOUT
        x = self.display
        while time.time() < deadline:
            if not run.alive():
                raise AssertionError("ORVA ended while loading: " + run.describe())
            for wid in x.windows(run.pid):
                title = x.title(wid)
                if title == orvacase.ERROR_TITLE:
                    raise AssertionError("error box while starting: " + run.describe())
                if title == orvacase.MAIN_TITLE:
                    return time.time(), wid
            time.sleep(0.005)
        raise AssertionError("no main window: " + run.describe())

    def start_orva_timed(self, case, count, env=None):
        """Starts ORVA, answers its notices and waits for the main window.
        Returns the run, the main window and the start-up time beyond the
        notices: (first notice shown - start) + (main window shown - key that
        answers the second notice sent). Window appearance is polled with
        xdotool, a few milliseconds apart."""
        x = self.display
        started = time.time()
        run = case.start_orva(**(env or {}))
        first = run.window(orvacase.NOTICE_TITLE)
        first_shown = time.time()
        x.press(first, *orvacase.CONTINUE)
        second = run.window(orvacase.NOTICE_TITLE, exclude={first})
        x._tool(["xdotool", "windowactivate", "--sync", str(second)])
        answered = time.time()
        x._tool(["xdotool", "key", "--delay", "0", "Escape"])
        shown, main = self.poll_main_window(run, answered + designed_pauses(count) - 0.5)
        self.startup_parts.setdefault(count, []).append((first_shown - started, shown - answered))
        return run, main, (first_shown - started) + (shown - answered)

    # --- 1 + 2: launcher cycle and memory ----------------------------------

    def sample_memory(self, pids_of, until):
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
    def periods(events, since):
        starts = {}
        for event in events:
            if event.kind == "start" and event.tag != "control" and event.time >= since:
                starts.setdefault(event.tag, []).append(event.time)
        return [b - a for times in starts.values() for a, b in zip(times, times[1:])]

    def launcher_pids(self, supervisor, table):
        """The launcher processes (the real ones, behind the timing wrapper)
        below `supervisor`, whether a program or a script."""
        found = []
        for pid in processes.descendants(supervisor, table):
            args = processes.command_line(pid) or []
            names = args[:2] + [processes.executable(pid) or ""]
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
            log = self.use_timing_wrapper(case)
            startup = None
            if side == "orva":
                case.ws.write_start_lists(ids)
                run, _, startup = self.start_orva_timed(case, count, {"ORVA_BENCH_LOG": log})
                supervisors = [run.pid]
            else:
                real = case.ws.path("Extensions", "chainlaunch.real")
                with open(real, "w") as script:
                    script.write('#!/bin/sh\n"$1" </dev/null & /bin/sleep 1; wait $!; "$2" </dev/null & /bin/sleep 1\n')
                os.chmod(real, 0o755)
                env = dict(os.environ, ORVA_BENCH_LOG=log)
                supervisors = []
                for ext_id in ids:
                    listener = "./Extensions/{0}/Listener{0}.exe".format(ext_id)
                    control = "./Extensions/{0}/BenchControl.exe".format(CONTROL_ID)
                    loop = 'while :; do ./Extensions/chainlaunch.exe "$0" "$1"; done'
                    supervisors.append(case.procs.spawn(["/bin/sh", "-c", loop, listener, control], cwd=case.ws.root,
                                                        env=env, stdout=subprocess.DEVNULL,
                                                        stderr=subprocess.DEVNULL).pid)
                time.sleep(2.5)  # every loop is past its first round
            since = time.time()

            def pids_of():
                # One look at /proc per sample: 64 loops must not take a scan each.
                table = processes._table()
                found = [("supervisor", pid) for pid in supervisors]
                for pid in supervisors:
                    found += self.launcher_pids(pid, table)
                return found
            samples = self.sample_memory(pids_of, since + MEASURE_S)
            return {"periods": self.periods(case.ws.events(), since), "restarts": self.restart_delays(log, since),
                    "startup": startup, "samples": samples, "count": count}
        finally:
            case.doCleanups()

    @staticmethod
    def restart_delays(log, since):
        ends, delays = {}, []
        with open(log) as notes:
            for line in notes:
                kind, _, when, key = line.rstrip("\n").split(" ", 3)
                when = float(when)
                if kind == "launcher-end":
                    ends[key] = when
                elif kind == "launcher-start" and key in ends:
                    if when >= since:
                        delays.append((when - ends.pop(key)) * 1000.0)
        return delays

    def run_cycles(self):
        counts = (1, 16) if self.quick else (1, 16, 64)
        repeats = {1: 2, 16: 2, 64: 1}
        results = {}
        for count in counts:
            for repeat in range(1 if self.quick else repeats[count]):
                # Alternate which side goes first.
                order = ("shell", "orva") if repeat % 2 == 0 else ("orva", "shell")
                for side in order:
                    print("  cycle: {} with {} listener(s), round {}".format(side, count, repeat + 1),
                          file=sys.stderr, flush=True)
                    result = self.cycle_run(count, side)
                    results.setdefault((side, count), []).append(result)
        return results

    def report_cycles(self, results):
        counts = sorted({count for _, count in results})
        for count in counts:
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

    # --- 3: install throughput ----------------------------------------------

    def make_packs(self):
        etipack = os.path.join(self.app_dir, "etipack")
        packs = os.path.join(self.work, "packs")
        os.makedirs(packs, exist_ok=True)
        shapes = {
            # name: (file count, bytes per file)
            "small": (500 if self.quick else 5000, 4096),
            "large": (4, (16 if self.quick else 64) * 1024 * 1024),
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
            subprocess.run([etipack, "create", folder, "--name", name, "--id", "00000777" if shape == "small"
                            else "00000778", "-o", pack], check=True, stdout=subprocess.DEVNULL)
            with open(pack, "rb") as packed:
                data = packed.read()
            body = os.path.join(packs, shape + ".body")
            with open(body, "wb") as out:
                out.write(data[header_end(data) + 1:])
            shutil.rmtree(folder)
            made[shape] = (pack, body, count * size)
        return made

    def run_installs(self):
        packs = self.make_packs()
        case = self.new_case()
        case.ws.add_installer(self.app_dir)
        case.ws.write_start_lists()
        results = {}
        try:
            for shape, (pack, body, size) in packs.items():
                for repeat in range(2 if self.quick else 3):
                    order = ("bsdtar", "packsetup") if repeat % 2 == 0 else ("packsetup", "bsdtar")
                    for side in order:
                        print("  install: {} {} pack, round {}".format(side, shape, repeat + 1), file=sys.stderr,
                              flush=True)
                        target = case.ws.path("Extensions", "0000077" + ("7" if shape == "small" else "8"))
                        scratch = case.ws.path("bsdtar-out")
                        if side == "bsdtar":
                            os.makedirs(scratch)
                            began = time.monotonic()
                            subprocess.run(["bsdtar", "-xf", body, "-C", scratch], check=True)
                        else:
                            began = time.monotonic()
                            subprocess.run([case.ws.installer, "--quiet", pack], cwd=case.ws.root, check=True,
                                           stdout=subprocess.DEVNULL)
                        elapsed = time.monotonic() - began
                        results.setdefault((shape, side), []).append(elapsed)
                        shutil.rmtree(scratch if side == "bsdtar" else target)
                        if side == "packsetup":
                            case.ws.write_start_lists()
        finally:
            case.doCleanups()
        for shape, (_, _, size) in packs.items():
            ours, ref = median(results[(shape, "packsetup")]), median(results[(shape, "bsdtar")])
            count = 500 if self.quick else 5000
            what = "{} files × 4 KiB".format(count) if shape == "small" else "4 files × {} MiB".format(size >> 22)
            self.row("Install {} vs bsdtar -xf".format(what),
                     "{:.2f} s".format(ours), "{:.2f} s".format(ref), ours / ref, "≤ 1.2", ours / ref <= 1.2)

    # --- 4: the extension manager --------------------------------------------

    def run_manager(self):
        program = os.path.join(self.build_dir, "bench", "bench_manager")
        sizes = ["100", "1000"] if self.quick else ["100", "1000", "10000"]
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=tempfile.mkdtemp(dir=self.work))
        print("  manager: " + ", ".join(sizes), file=sys.stderr, flush=True)
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

    # --- 5: start-up ---------------------------------------------------------

    def run_startups(self, cycle_results):
        samples = {}
        for (side, count), results in cycle_results.items():
            if side == "orva":
                samples.setdefault(count, []).extend(r["startup"] for r in results)
        for repeat in range(1 if self.quick else 3):
            for count in (0, 4):
                print("  start-up: {} ext., round {}".format(count, repeat + 1), file=sys.stderr, flush=True)
                case = self.new_case()
                try:
                    ids = self.add_listeners(case, count)
                    case.ws.write_start_lists(ids)
                    _, _, startup = self.start_orva_timed(case, count)
                    samples.setdefault(count, []).append(startup)
                finally:
                    case.doCleanups()
        for count in sorted(samples):
            if count not in (0, 4, 16):
                continue
            measured = median(samples[count])
            pauses = designed_pauses(count)
            overhead = measured - pauses
            if count == 0:
                to_notice = median([part[0] for part in self.startup_parts[0]])
                self.row("Start-up, 0 ext.: to 1st notice + after notices",
                         "{:.0f} + {:.0f} ms".format(1000 * to_notice, 1000 * (measured - to_notice)),
                         "{:.3f} s".format(pauses), measured / pauses, "", None)
                continue
            pct = 100 * overhead / pauses
            self.row("Start-up, {} ext. vs {:.0f} s of pauses (1 + 2 × {})".format(count, pauses, count),
                     "{:.2f} s (+{:.1f} %)".format(measured, pct), "{:.3f} s".format(pauses), measured / pauses,
                     "< 5 %", pct < TARGETS["startup_pct"])

    # --- the table -----------------------------------------------------------

    def row(self, what, measured, reference, ratio, target, met):
        self.rows.append((what, measured, reference, "" if ratio is None else "{:.3f}".format(ratio), target,
                          "" if met is None else ("yes" if met else "NO")))

    def print_table(self):
        head = ("benchmark", "measured", "reference", "ratio", "target", "met")
        print("| " + " | ".join(head) + " |")
        print("|" + "---|" * len(head))
        for row in self.rows:
            print("| " + " | ".join(row) + " |")


def designed_pauses(count):
    """ORVA's designed pauses at start-up: one second under the loading
    notice, then two per listed extension."""
    return PAUSE_S * (1 + 2 * count)


def percentile(values, fraction):
    if not values:
        return float("nan")
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))]


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


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("app_dir")
    parser.add_argument("build_dir")
    parser.add_argument("--quick", action="store_true", help="fewer and smaller rounds, to try the script out")
    parser.add_argument("--only", default="cycle,install,manager,startup")
    args = parser.parse_args()
    only = set(args.only.split(","))
    bench = Bench(args.app_dir, args.build_dir, args.quick)
    began = time.monotonic()
    cycles = {}
    bench.start_display()
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
    finally:
        bench.stop_display()
    shutil.rmtree(bench.work, ignore_errors=True)
    print("", file=sys.stderr)
    bench.print_table()
    print("\n{} cores, {}, Linux {}; {:.0f} s".format(os.cpu_count(), cpu_model(), os.uname().release,
                                                     time.monotonic() - began))


def cpu_model():
    try:
        with open("/proc/cpuinfo") as info:
            for line in info:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return "unknown CPU"


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    main()
