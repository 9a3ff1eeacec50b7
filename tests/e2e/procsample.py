"""Watching the process table while a test drives ORVA: a background thread
takes a census of the test's descendants again and again and keeps, for each
kind of process, the largest count seen. It also reaps the orphans that the
test (a child subreaper) inherits, so that detached programs ending by the
thousand do not fill the process table with zombies.
"""

import collections
import os
import threading

import processes


def census(spared=(), kind=None):
    """Counter of the running descendants of the test process, but `spared`
    and theirs, by `kind(arguments, parent pid)` (a key, or None to leave one
    out).
    Reaps the zombies among the test's own children that no Popen waits for
    (`spared` are not touched)."""
    table = processes._table()
    children = collections.defaultdict(list)
    for pid, (ppid, _) in table.items():
        children[ppid].append(pid)
    me = os.getpid()
    counts = collections.Counter()
    frontier = [pid for pid in children[me] if pid not in spared]
    while frontier:
        pid = frontier.pop()
        frontier.extend(children[pid])
        if table[pid][1] in ("Z", "X"):
            continue
        args = processes.command_line(pid)
        key = kind(args, table[pid][0]) if kind is not None and args else None
        if key is not None:
            counts[key] += 1
    return counts


# The X tools that the test runs itself: subprocess waits for those.
_TOOLS = {"xdotool", "xprop", "xwininfo", "import"}


def reap_orphans(keep):
    """Reaps zombie children of the test process but `keep` and the X tools."""
    me = os.getpid()
    for pid, (ppid, state) in processes._table().items():
        if ppid == me and state == "Z" and pid not in keep and processes.command_name(pid) not in _TOOLS:
            try:
                os.waitpid(pid, os.WNOHANG)
            except ChildProcessError:
                pass


def program_name(args):
    return os.path.basename(args[0])


def launcher_of(orva_pid, args, ppid):
    """The arguments of a launcher that ORVA runs, else None. A child that a
    launcher has forked bears the launcher's arguments until it has started
    its program, but never has ORVA for parent."""
    return tuple(args[1:]) if ppid == orva_pid and program_name(args) == "chainlaunch.exe" else None


class Sampler:
    """with Sampler(lambda: census(...)) as sampler: ... -- sampler.most[key]
    is the largest count seen for `key`, sampler.samples how many were taken.
    `keep` lists the pids of Popen objects, which must reap their own."""

    def __init__(self, take, keep=(), interval=0.05):
        self.take = take
        self.keep = set(keep)
        self.interval = interval
        self.most = collections.Counter()
        self.samples = 0
        self.error = None
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)

    def _run(self):
        try:
            while not self._stop.is_set():
                for key, count in self.take().items():
                    self.most[key] = max(self.most[key], count)
                self.samples += 1
                reap_orphans(self.keep)
                self._stop.wait(self.interval)
        except Exception as error:  # reported by stop(), in the test's thread
            self.error = error

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self.stop()

    def stop(self):
        self._stop.set()
        self._thread.join(30)
        if self.error is not None:
            raise AssertionError("process sampling failed: {!r}".format(self.error))
