"""End-to-end harness: the installed programs (ORVA_APP_DIR, set by CTest)
run for real in a fresh app folder per test, on a private Xvfb display under
openbox (so that focus and Alt+F4 behave as on a desktop), driven with
xdotool; with ORVA_WINE (the command that runs a Windows program), the
Windows programs under Wine. The test process is a child subreaper: whatever
the programs start, even detached, stays its descendant, and every test ends
all of it by id."""

import contextlib
import ctypes
import os
import re
import shlex
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

APP = os.environ.get("ORVA_APP_DIR", "")
STANDIN = os.environ.get("ORVA_STANDIN", "")
WINE = shlex.split(os.environ.get("ORVA_WINE", ""))
TIMEOUT = 60  # generous: the sanitizer build is slow, and each listed extension costs ORVA 2 s
RETRY = 5  # a handled key closes a box at once, even in the sanitizer build
NOTICE, ERROR, MAIN = "参赛作品-ORVA", "错误-ORVA", "ORVA"
CLOSE = ("Tab", "space")  # 关闭, one Tab past the default 继续
display = None


def wait_until(condition, what, timeout=TIMEOUT):
    deadline = time.monotonic() + timeout
    while not (value := condition()):
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + (what() if callable(what) else what))
        time.sleep(0.1)
    return value


def retry(act, done, what):
    """Acts until done: a key that reaches a window in the instant it is
    mapped can be lost, so one that had no effect after a while is repeated."""
    deadline = time.monotonic() + TIMEOUT
    while True:
        act()
        try:
            return wait_until(done, what, min(RETRY, deadline - time.monotonic()))
        except AssertionError:
            if time.monotonic() > deadline:
                raise


def processes():
    """{pid: (parent pid, arguments, start time, whether it is a fork that has
    not started a program yet and shows its parent's)} of every process that
    has not ended."""
    table = {}
    for entry in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/{}/stat".format(entry), "rb") as stat, open("/proc/{}/cmdline".format(entry), "rb") as cmd:
                fields = stat.read().rsplit(b")", 1)[1].split()
                arguments = [arg.decode(errors="replace") for arg in cmd.read().split(b"\0")[:-1]]
        except OSError:
            continue
        if fields[0] not in (b"Z", b"X"):
            table[int(entry)] = (int(fields[1]), windows_arguments(arguments) if WINE else arguments, int(fields[19]),
                                 bool(int(fields[6]) & 0x40))  # PF_FORKNOEXEC
    return table


def windows_arguments(arguments):
    """A Windows program's arguments in the form the tests start programs with:
    Wine shows one started by another as one line, padded, its program unquoted."""
    arguments = [arg.replace("\\", "/") for arg in arguments if arg]
    line = re.fullmatch(r'"?(.+?\.exe)"? (.*)', arguments[0]) if len(arguments) == 1 else None
    with contextlib.suppress(ValueError):
        return [line[1], *shlex.split(line[2])] if line else arguments
    return arguments


def running(program="chainlaunch.exe"):
    """(pid, arguments) of this test's running processes of `program`, oldest
    first. (Wine starts no program as the child of the one that starts it, and
    a program there knows its Windows id, not the one here.)"""
    table = processes()
    found = [pid for pid in descendants(os.getpid(), table)
             if os.path.basename((table[pid][1] or [""])[0]) == program and not table[pid][3]]
    return [(pid, tuple(table[pid][1][1:])) for pid in sorted(found, key=lambda pid: table[pid][2])]


def command(args):
    """How to start a program of the app folder: a Windows one through Wine."""
    return [*WINE, args[0] if args[0].endswith(".exe") else args[0] + ".exe", *args[1:]] if WINE else args


def native(path):
    """A path as the programs under test see it, and as a user would type it."""
    return "Z:" + path.replace("/", "\\") if WINE else path


def descendants(pid, table):
    found = set()
    while more := {child for child, (parent, *_) in table.items() if parent in found | {pid}} - found:
        found |= more
    return found


def signal_if_there(pid, number):
    """A process may end, and its parent reap it, between the listing and the signal."""
    with contextlib.suppress(ProcessLookupError):
        os.kill(pid, number)


def end_processes(spare_wine=True):
    """Stops every process this one started (but the display and, unless the
    module ends, Wine's own), until no new one appears, so that none can start
    another; then kills and reaps them."""
    stopped = set()
    while True:
        table = processes()
        spared = display.pids | set().union(*(descendants(pid, table) for pid in display.pids))
        spared |= {pid for pid, (_, args, *_) in table.items() if spare_wine and WINE and args  # Wine's own
                   and (args[0].startswith("C:/windows/") or "wineserver" in args[0])}
        fresh = descendants(os.getpid(), table) - spared - stopped
        if not fresh:
            break
        for pid in fresh:
            signal_if_there(pid, signal.SIGSTOP)
        stopped |= fresh
    for pid in stopped:
        signal_if_there(pid, signal.SIGKILL)
    wait_until(lambda: not stopped & set(processes()), "killed processes to go")
    with contextlib.suppress(ChildProcessError):
        while os.waitpid(-1, os.WNOHANG)[0]:
            pass


class Display:
    """Xvfb and openbox for one test module, and the X tools that drive it."""

    def __init__(self):
        self.home = tempfile.mkdtemp(prefix="orva-x-")
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24", "-nolisten",
                                 "tcp"], pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end, "rb") as ready:  # the number comes once the server is ready
            self.name = ":" + ready.readline().decode().strip()
        log = os.path.join(self.home, "openbox.log")
        with open(log, "wb") as errors:
            openbox = subprocess.Popen(["openbox", "--sm-disable"], env=self.env(XDG_CONFIG_HOME=self.home),
                                       stdout=subprocess.DEVNULL, stderr=errors)
        self.popens = [xvfb, openbox]
        self.pids = {xvfb.pid, openbox.pid}

        def managing():  # an openbox that gave up is reported as such, not waited for
            assert openbox.poll() is None, "openbox ended: " + open(log, errors="replace").read()
            return "window id" in self.x("xprop", "-root", "_NET_SUPPORTING_WM_CHECK")
        try:
            wait_until(managing, "openbox")
        except AssertionError:  # no module teardown follows a failed setup
            self.stop()
            raise

    def stop(self):
        for popen in reversed(self.popens):
            popen.terminate()
            popen.wait(timeout=TIMEOUT)
        shutil.rmtree(self.home, True)

    def env(self, **changes):
        """The environment for a program on this display; a change to None removes the variable."""
        env = dict(os.environ, DISPLAY=self.name, LC_ALL="C.UTF-8")
        env.update(changes)
        return {name: value for name, value in env.items() if value is not None}

    def x(self, *args):
        return subprocess.run(args, env=self.env(), capture_output=True, timeout=TIMEOUT).stdout.decode("utf-8", "replace")

    def windows(self, pid):
        return [int(wid) for wid in self.x("xdotool", "search", "--onlyvisible", "--pid", str(pid)).split()]

    def title(self, wid):
        return self.x("xdotool", "getwindowname", str(wid)).rstrip("\n")

    def viewable(self, wid):
        return "IsViewable" in self.x("xwininfo", "-id", str(wid))

    def keys(self, wid, *keys):
        self.x("xdotool", "windowactivate", "--sync", str(wid), "key", "--delay", "100", *keys)

    def type(self, wid, text):
        self.x("xdotool", "windowactivate", "--sync", str(wid), "type", "--delay", "30", text)

    def click(self, wid, x, y):
        self.x("xdotool", "windowactivate", "--sync", str(wid), "mousemove", "--window", str(wid), str(x), str(y),
               "click", "1")


def setUpModule():
    global display
    libc = ctypes.CDLL(None, use_errno=True)
    assert libc.prctl(36, 1, 0, 0, 0) == 0, "prctl(PR_SET_CHILD_SUBREAPER)"
    if WINE:  # a Wine server started without this display would serve the module's programs
        subprocess.run(["wineserver", "-k"], timeout=TIMEOUT)
    display = Display()


def tearDownModule():
    end_processes(spare_wine=False)
    display.stop()


def window(pid, title, exclude=(), run=None):
    """A viewable window of process `pid` with this title (any, when None) that
    is not in `exclude`; fails at once when `run`, the program, ends."""
    def find():
        if run and not run.alive():
            raise AssertionError("ended while waiting for {!r}: {}".format(title, run.describe()))
        return next((wid for wid in display.windows(pid) if wid not in exclude and title in (None, display.title(wid))),
                    None)
    return wait_until(find, lambda: "window {!r} of {}".format(title, run.describe() if run else pid))


def answer_installer(title, key="Return"):
    """Answers packsetup's question and closing box (its progress window,
    same title, ignores the key) until packsetup ends."""
    pid = wait_until(lambda: running("packsetup.exe"), "packsetup")[0][0]
    window(pid, title)
    retry(lambda: [display.keys(wid, key) for wid in display.windows(pid) if display.title(wid) == title],
          lambda: not running("packsetup.exe"), "packsetup to end")


class Run:
    """One started program: its process, its output and its windows."""

    def __init__(self, case, args, cwd=None, **env):
        self.args, self.output_path = command(args), os.path.join(case.tmp, "output-{}".format(time.monotonic_ns()))
        with open(self.output_path, "wb") as output:
            self.popen = subprocess.Popen(self.args, cwd=cwd or case.app, env=case.env(**env), stdin=subprocess.DEVNULL,
                                          stdout=output, stderr=subprocess.STDOUT)
        self.pid = self.popen.pid

    def alive(self):
        return self.popen.poll() is None

    def output(self):
        with open(self.output_path, "rb") as output:
            return output.read().decode("utf-8", "replace")

    def debug_lines(self):
        """The program's debug lines, without the warnings of Qt and of the platform under it."""
        return [line[len("debug: "):] for line in self.output().splitlines() if line.startswith("debug: ")]

    def describe(self):
        return "{} ({}):\n{}".format(self.args, "running" if self.alive() else self.popen.returncode, self.output())

    def wait_exit(self, timeout=TIMEOUT):
        wait_until(lambda: not self.alive(), lambda: "the end of " + self.describe(), timeout)
        return self.popen.returncode

    def window(self, title, exclude=()):
        return window(self.pid, title, exclude, self)

    def answer(self, title, keys, exclude=()):
        wid = self.window(title, exclude)
        retry(lambda: display.keys(wid, *keys), lambda: not self.alive() or not display.viewable(wid),
              "{!r} to close".format(title))
        return wid

    def choose(self, main, menu_keys, title):
        """Opens the window `title` through a menu of `main` by its keys."""
        def press():
            display.keys(main, "Escape")  # a menu left open by a lost key
            display.keys(main, *menu_keys)
        retry(press, lambda: any(display.title(wid) == title for wid in display.windows(self.pid)), title)


class Case(unittest.TestCase):
    """A fresh app folder per test: the installed programs, empty start lists."""

    def setUp(self):
        self.tmp = os.path.realpath(tempfile.mkdtemp(prefix="orva-e2e-"))
        self.addCleanup(shutil.rmtree, self.tmp, True)
        self.addCleanup(end_processes)
        self.app, self.log = os.path.join(self.tmp, "app"), os.path.join(self.tmp, "log")
        shutil.copytree(APP, self.app, copy_function=os.symlink)
        self.write("Extensions/00000001/ExtensionName.etn", "packsetup")
        for role in ("Listener", "Controller", "Runner", "Structure", "MainControllerExtension"):
            self.write("Start/{}.etl".format(role), "")

    def env(self, **changes):
        if WINE:  # Windows has a desktop always: Wine's, shared by the module's programs, needs the display
            changes.pop("DISPLAY", None)
        return display.env(**{"QT_QPA_PLATFORM": None if WINE else "xcb", "ORVA_TEST_LOG": native(self.log),
                              "QT_MESSAGE_PATTERN": "%{type}: %{message}", "XDG_RUNTIME_DIR": self.tmp,
                              "XDG_CONFIG_HOME": self.tmp, **changes})

    def path(self, relative):
        return os.path.join(self.app, relative)

    def write(self, relative, text):
        os.makedirs(os.path.dirname(self.path(relative)), exist_ok=True)
        with contextlib.suppress(FileNotFoundError):
            os.remove(self.path(relative))  # a link into the installed app folder
        with open(self.path(relative), "wb") as file:
            file.write(text.encode() if isinstance(text, str) else text)

    def read(self, relative):
        with open(self.path(relative), encoding="utf-8") as file:
            return file.read()

    def add_program(self, relative, does=""):
        """A copy of the stand-in program; `does` is what it does when run."""
        shutil.copy(STANDIN, self.path(relative))
        if does:
            self.write(relative + ".does", does)

    def add_extension(self, ident, name, control, does=""):
        self.write("Extensions/{}/ExtensionName.etn".format(ident), name)
        self.write("Extensions/{}/{}.control".format(ident, name), control)
        self.add_program("Extensions/{}/{}.exe".format(ident, name), does)

    def events(self, name=None, event=None):
        """(pid, program file name, "start" or "end") of the stand-ins' log lines, in order."""
        lines = self.read(self.log).splitlines() if os.path.exists(self.log) else []
        return [(int(pid), program, what) for pid, program, what, *_ in map(lambda line: line.split("\t"), lines)
                if name in (None, program) and event in (None, what)]

    def start_orva(self, listed=None, **env):
        """ORVA in the app folder, past its two notices (Ok, then No by Escape)."""
        if listed is not None:
            self.write("Start/Listener.etl", listed)
        run = Run(self, ["./ORVA"], **env)
        first = run.answer(NOTICE, ("Return",))
        run.answer(NOTICE, ("Escape",), exclude={first})
        return run

    def open_manager(self, run, main):
        run.choose(main, ("alt+a", "Return"), "关于扩展管理器")
        run.answer("关于扩展管理器", ("Return",))
        return run.window(MAIN, exclude={main})

    def exit_orva(self, run, main):
        run.choose(main, ("alt+p", "Return"), "退出ORVA")
        run.answer("退出ORVA", ("Return",))
        return run.wait_exit()
