"""Processes started by a test, and the end of all of them.

The test process makes itself a child subreaper: every program that ORVA or
chainlaunch starts, even detached or orphaned by a kill, stays a descendant of
the test and so can be found and ended by id when the test is over.
"""

import ctypes
import os
import signal
import subprocess
import time

PR_SET_CHILD_SUBREAPER = 36


def become_subreaper():
    libc = ctypes.CDLL(None, use_errno=True)
    if libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
        error = ctypes.get_errno()
        raise OSError(error, "prctl(PR_SET_CHILD_SUBREAPER): " + os.strerror(error))


def _read_stat(pid):
    try:
        with open("/proc/{}/stat".format(pid), "rb") as stat:
            return stat.read()
    except OSError:
        return None


def _stat(pid):
    """(ppid, state) of a process, or None when it does not exist."""
    data = _read_stat(pid)
    if data is None:
        return None
    # The command name is in parentheses and may hold spaces or parentheses.
    fields = data[data.rindex(b")") + 2:].split()
    return int(fields[1]), fields[0].decode()


def command_name(pid):
    """The kernel's short name of a process, or None when it does not exist."""
    data = _read_stat(pid)
    if data is None:
        return None
    return data[data.index(b"(") + 1:data.rindex(b")")].decode(errors="replace")


def _table():
    table = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            info = _stat(int(entry))
            if info is not None:
                table[int(entry)] = info
    return table


def is_running(pid):
    """True while the process exists and has not ended (a zombie has ended)."""
    info = _stat(pid)
    return info is not None and info[1] not in ("Z", "X")


def parent(pid):
    info = _stat(pid)
    return None if info is None else info[0]


def children(pid):
    return sorted(child for child, (ppid, state) in _table().items() if ppid == pid and state not in ("Z", "X"))


def descendants(pid, table=None):
    table = _table() if table is None else table
    found, frontier = [], [pid]
    while frontier:
        current = frontier.pop()
        for child, (ppid, _) in table.items():
            if ppid == current and child not in found:
                found.append(child)
                frontier.append(child)
    return found


def command_line(pid):
    """The process's arguments as strings (UTF-8), or None when it is gone."""
    try:
        with open("/proc/{}/cmdline".format(pid), "rb") as cmdline:
            data = cmdline.read()
    except OSError:
        return None
    return [arg.decode("utf-8", errors="surrogateescape") for arg in data.split(b"\0")[:-1]]


def executable(pid):
    try:
        return os.path.realpath("/proc/{}/exe".format(pid))
    except OSError:
        return None


def working_directory(pid):
    try:
        return os.readlink("/proc/{}/cwd".format(pid))
    except OSError:
        return None


class Processes:
    """What one test started. end_all() stops every descendant of the test
    process (but the `spared` ones, the X session) and every recorded pid whose
    working directory lies under `workdir`, then kills and reaps them."""

    def __init__(self, workdir, spared=()):
        self.workdir = os.path.realpath(workdir)
        self.spared = set(spared)
        self.popens = []
        self.recorded = set()

    def spawn(self, args, **kwargs):
        popen = subprocess.Popen(args, stdin=subprocess.DEVNULL, **kwargs)
        self.popens.append(popen)
        return popen

    def record(self, pid):
        """A pid that a test program reported about itself."""
        self.recorded.add(pid)

    def _ours(self, table):
        me = os.getpid()
        spared = set(self.spared)
        for pid in self.spared:
            spared.update(descendants(pid, table))
        pids = {pid for pid in descendants(me, table) if pid not in spared}
        for pid in self.recorded:
            cwd = working_directory(pid)
            if pid in table and cwd and (cwd + "/").startswith(self.workdir + "/"):
                pids.add(pid)
        return {pid for pid in pids if table.get(pid, (0, "X"))[1] not in ("Z", "X")}

    def end_all(self):
        # Stop first, top down and until nothing new appears, so that no
        # process can start another (ORVA restarting a killed launcher)
        # between the look-up and the kill.
        stopped = set()
        for _ in range(100):
            fresh = self._ours(_table()) - stopped
            if not fresh:
                break
            for pid in fresh:
                _signal(pid, signal.SIGSTOP)
            stopped |= fresh
        for pid in stopped:
            _signal(pid, signal.SIGKILL)
        self._reap(stopped)

    def _reap(self, killed):
        popen_pids = {popen.pid for popen in self.popens}
        for popen in self.popens:
            try:
                popen.wait(timeout=10)
            except subprocess.TimeoutExpired:
                pass
        me = os.getpid()
        deadline = time.monotonic() + 15
        while True:
            table = _table()
            for pid, (ppid, state) in table.items():
                if ppid == me and state == "Z" and pid not in popen_pids and pid not in self.spared:
                    try:
                        os.waitpid(pid, os.WNOHANG)
                    except ChildProcessError:
                        pass
            left = sorted(pid for pid in killed if pid in table and pid not in popen_pids)
            left += [popen.pid for popen in self.popens if popen.returncode is None]
            if not left:
                return
            if time.monotonic() >= deadline:
                raise AssertionError("processes still there after clean-up: " + ", ".join(
                    "{} {}".format(pid, command_line(pid)) for pid in left))
            time.sleep(0.05)


def _signal(pid, number):
    try:
        os.kill(pid, number)
    except ProcessLookupError:
        pass
