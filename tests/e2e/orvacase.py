"""Base test case: the installed ORVA and chainlaunch run for real on a private
X display, in a fresh workspace per test; everything a test started is ended
by id afterwards, even when the test fails.

Environment: ORVA_APP_DIR names the installed app folder (cmake --install).
"""

import os
import re
import shutil
import subprocess
import tempfile
import unittest

import processes
import workspace
import xsession

NOTICE_TITLE = "参赛作品-ORVA"
LOADING_TITLE = "加载中-ORVA"
ERROR_TITLE = "错误-ORVA"
MAIN_TITLE = "ORVA"

# Boxes and windows of the main window's menus and the extension manager.
MANAGE_BOX_TITLE = "关于扩展管理器"
ABOUT_TITLE = "关于ORVA"
EXIT_TITLE = "退出ORVA"
MANAGER_TITLE = "ORVA"
MANAGER_SIZE = (1089, 471)
FILE_DIALOG_TITLE = "选择扩展安装包"
REMOVE_TITLE = "删除扩展-ORVA"
INSTALLER_TITLE = "安装扩展-ORVA"
NORMAL_WINDOW = "_NET_WM_WINDOW_TYPE_NORMAL"
DIALOG_WINDOW = "_NET_WM_WINDOW_TYPE_DIALOG"

# Each menu holds one action: its mnemonic opens the menu with the action
# current, Return triggers it.
MANAGE = ("alt+a", "Return")
EXIT = ("alt+p", "Return")
ABOUT = ("alt+h", "Return")

# Where the manager window's widgets stand (x, y, width, height), relative
# to the window; the form places them without layouts.
LISTENER_VIEW = (10, 30, 256, 192)
CONTROLLER_VIEW = (280, 30, 256, 192)
ADD_BUTTON = (280, 260, 84, 24)
CONFIGURE_BUTTON = (280, 290, 84, 24)
REMOVE_BUTTON = (280, 320, 84, 24)
OK_BUTTON = (990, 440, 80, 20)

# Answers by keyboard. The error boxes' default button is 继续 (Yes); Tab moves
# the focus to 关闭 (No) and space presses it. alt+F4 is openbox's close,
# the same request as the title bar's close control.
CONTINUE = ("Return",)
CLOSE = ("Tab", "space")
ESCAPE = ("Escape",)
WINDOW_CLOSE = ("alt+F4",)

# The author's website that ORVA opens on request.
AUTHOR_WEBSITE = "https://morvath.example.com"

# Generous: each listed extension costs ORVA two real one-second pauses, and
# sanitizer builds are slow.
WINDOW_TIMEOUT = 30
EXIT_TIMEOUT = 30

QT_CATEGORY_LINE = re.compile(r"qt\.[\w.]+: ")

_display = None
_display_dir = None


def start_display():
    """For setUpModule: one X session per test module."""
    global _display, _display_dir
    processes.become_subreaper()
    _display_dir = tempfile.mkdtemp(prefix="orva-e2e-x-")
    _display = xsession.XSession(_display_dir)
    try:
        _display.start()
    except BaseException:
        _display.stop()
        shutil.rmtree(_display_dir, ignore_errors=True)
        raise


def stop_display():
    """For tearDownModule: ends the X session and checks that no process of
    the module is left."""
    global _display
    if _display is not None:
        _display.stop()
        _display = None
    left = [(pid, processes.command_line(pid)) for pid in processes.descendants(os.getpid())
            if processes.is_running(pid)]
    # Whatever the tests' own clean-up missed is still ended, then reported.
    processes.Processes(_display_dir).end_all()
    shutil.rmtree(_display_dir, ignore_errors=True)
    if left:
        raise AssertionError("processes left behind: {}".format(left))


class Run:
    """One started program: its process, its captured stderr, its windows."""

    def __init__(self, popen, stderr_path, display, name):
        self.popen = popen
        self.pid = popen.pid
        self.stderr_path = stderr_path
        self.x = display
        self.name = name

    def alive(self):
        return self.popen.poll() is None

    def stderr(self):
        with open(self.stderr_path, "rb") as err:
            return err.read().decode("utf-8", errors="replace")

    def stderr_lines(self):
        return self.stderr().splitlines()

    def debug_lines(self):
        """stderr without the toolkit's own categorised messages (harmless X
        errors from windows that openbox has already dropped, for example)."""
        return [line for line in self.stderr_lines() if not QT_CATEGORY_LINE.match(line)]

    def describe(self):
        state = "running" if self.alive() else "exit status {}".format(self.popen.returncode)
        return "{} ({}); stderr:\n{}".format(self.name, state, self.stderr()[-3000:])

    def window(self, title, timeout=WINDOW_TIMEOUT, exclude=(), literal=True):
        pattern = re.escape(title) if literal and title is not None else title
        return self.x.wait_for_window(self.pid, pattern, timeout, exclude, alive=self.alive, describe=self.describe)

    def answer(self, title, keys, exclude=()):
        """Waits for the box titled `title`, answers it with `keys` and waits
        until it has gone. Returns its window id."""
        wid = self.window(title, exclude=exclude)
        self.x.press(wid, *keys)
        xsession.wait_until(lambda: not self.alive() or not self.x.is_viewable(wid), WINDOW_TIMEOUT,
                            lambda: "box {!r} still open after {}. {}".format(title, keys, self.describe()))
        return wid

    def wait_exit(self, timeout=EXIT_TIMEOUT):
        try:
            return self.popen.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("still running after {} s: {}".format(timeout, self.describe())) from None

    def launchers(self):
        """(pid, arguments) of the chainlaunch processes that are children of
        this process, ordered by pid."""
        return self.children_running("chainlaunch.exe")

    def children_running(self, program):
        """(pid, arguments) of the running children of this process whose
        program file is named `program`, ordered by pid."""
        found = []
        for pid in processes.children(self.pid):
            args = processes.command_line(pid)
            if args and os.path.basename(args[0]) == program:
                found.append((pid, tuple(args[1:])))
        return found

    def wait_child(self, program, timeout=WINDOW_TIMEOUT):
        """Waits for one running child named `program`; (pid, arguments)."""
        def child():
            if not self.alive():
                raise AssertionError("{} ended while waiting for {}: {}".format(self.name, program, self.describe()))
            found = self.children_running(program)
            return found[0] if found else None
        return xsession.wait_until(child, timeout, lambda: "{} never started {}. {}".format(
            self.name, program, self.describe()))

    def new_window(self, title, known, window_type=None, timeout=WINDOW_TIMEOUT):
        """Waits for a window titled `title` that is not in `known`."""
        return self.x.wait_for_window(self.pid, re.escape(title), timeout, exclude=known, alive=self.alive,
                                      describe=self.describe, window_type=window_type)


class EndToEndCase(unittest.TestCase):
    maxDiff = None

    def setUp(self):
        if _display is None:
            raise AssertionError("start_display() must run in setUpModule")
        self.x = _display
        self.tmp = tempfile.mkdtemp(prefix="orva-e2e-")
        self.addCleanup(shutil.rmtree, self.tmp, True)
        self.procs = processes.Processes(self.tmp, spared=self.x.pids())
        self.addCleanup(self._end_processes)
        self.ws = workspace.Workspace(os.path.join(self.tmp, "app"), os.environ.get("ORVA_APP_DIR"))
        self.runtime_dir = os.path.join(self.tmp, "runtime")
        os.mkdir(self.runtime_dir, 0o700)

    def _end_processes(self):
        if hasattr(self, "ws"):
            for pid in self.ws.recorded_pids():
                self.procs.record(pid)
        self.procs.end_all()

    def program_env(self, **changes):
        """The environment for ORVA and chainlaunch; a value of None removes
        the variable."""
        env = self.x.env()
        # The desktop's theme and style could change how boxes take keys.
        for name in ("QT_LOGGING_RULES", "QT_SCALE_FACTOR", "QT_STYLE_OVERRIDE", "QT_QPA_PLATFORMTHEME",
                     "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID",
                     "SESSION_MANAGER"):
            env.pop(name, None)
        env.update({
            "LC_ALL": "C.UTF-8",
            "QT_QPA_PLATFORM": "xcb",
            "QT_ASSUME_STDERR_HAS_CONSOLE": "1",
            "XDG_RUNTIME_DIR": self.runtime_dir,
            "XDG_CONFIG_HOME": os.path.join(self.tmp, "config"),
        })
        for name, value in changes.items():
            if value is None:
                env.pop(name, None)
            else:
                env[name] = value
        return env

    def _start(self, name, args, env):
        stderr_path = os.path.join(self.tmp, "{}-{}.stderr".format(name, len(self.procs.popens)))
        with open(stderr_path, "wb") as err:
            popen = self.procs.spawn(args, cwd=self.ws.root, env=env, stdout=err, stderr=err)
        return Run(popen, stderr_path, self.x, name)

    def start_orva(self, **env_changes):
        return self._start("ORVA", ["./ORVA"], self.program_env(**env_changes))

    def start_chainlaunch(self, *args, **env_changes):
        return self._start("chainlaunch", ["./Extensions/chainlaunch.exe"] + list(args),
                           self.program_env(**env_changes))

    # --- ORVA's start-up --------------------------------------------------

    def enter_program(self, run, first=CONTINUE, second=ESCAPE):
        """Answers the two notices so that ORVA goes on to load extensions
        (Ok on the first; No, here by Escape, on the second)."""
        first_wid = run.answer(NOTICE_TITLE, first)
        run.answer(NOTICE_TITLE, second, exclude={first_wid})

    def wait_main_window(self, run, listed=0):
        """Waits for ORVA's main window; fails at once if an error box shows
        up instead."""
        timeout = WINDOW_TIMEOUT + 5 * listed

        def main_window():
            if not run.alive():
                raise AssertionError("ORVA ended before its main window: " + run.describe())
            for wid in self.x.windows(run.pid):
                title = self.x.title(wid)
                if title == ERROR_TITLE:
                    raise AssertionError("unexpected error box while starting: " + run.describe())
                if title == MAIN_TITLE:
                    return wid
            return None

        return xsession.wait_until(main_window, timeout,
                                   lambda: "no main window within {} s: {}".format(timeout, run.describe()))

    def start_to_main_window(self, listed=(), **env_changes):
        """Writes the start lists with `listed` as listeners, starts ORVA and
        enters the program; returns the run and the main window's id."""
        self.ws.write_start_lists(listed)
        run = self.start_orva(**env_changes)
        self.enter_program(run)
        return run, self.wait_main_window(run, listed=len(listed))

    def wait_for_launchers(self, run, count, timeout=WINDOW_TIMEOUT):
        """Waits until ORVA runs exactly `count` launchers; (pid, arguments)."""
        def launchers():
            found = run.launchers()
            return found if len(found) == count else None
        return xsession.wait_until(launchers, timeout, lambda: "expected {} launchers, have {}. {}".format(
            count, run.launchers(), run.describe()))

    # --- the main window's menus and the extension manager ---------------

    def open_manager(self, run, main, answer=CONTINUE):
        """Manage: answers the "关于扩展管理器" box with `answer` and returns
        the id of the new manager window."""
        known = set(self.x.windows(run.pid))
        self.x.press(main, *MANAGE)
        run.answer(MANAGE_BOX_TITLE, answer)
        # The box must not be taken for the manager: both are new windows.
        return run.new_window(MANAGER_TITLE, known | {main}, window_type=NORMAL_WINDOW)

    def click_button(self, window, geometry):
        x, y, width, height = geometry
        self.x.click(window, x + width // 2, y + height // 2)

    def click_first_row(self, window, view):
        x, y, _, _ = view
        self.x.click(window, x + 30, y + 10)

    def view_is_empty(self, window, view):
        """Whether the list view shows no entry (its inside is one colour, an
        entry's text would add others), or None while the window is not
        painted yet (its 确定 button still one colour)."""
        image = self.x.capture(window)
        x, y, width, height = OK_BUTTON
        if len(image.colours(x + 2, y + 2, width - 4, height - 4)) == 1:
            return None
        x, y, width, height = view
        # Inset past the view's frame, which the focus may colour.
        return len(image.colours(x + 4, y + 4, width - 8, height - 8)) == 1

    def wait_view(self, run, window, view, empty, what, timeout=10):
        """Waits until the view is painted `empty` or not. A window shown
        over a destroyed one may show its pixels until it is painted, so a
        state is only trusted once it is the one waited for."""
        xsession.wait_until(lambda: self.view_is_empty(window, view) is empty, timeout,
                            lambda: "{}: the view is not {}. {}".format(
                                what, "empty" if empty else "showing entries", run.describe()))

    def wait_gone(self, run, window, what, timeout=WINDOW_TIMEOUT):
        """Waits until `window` is no longer on screen (hidden or destroyed:
        Qt destroys the X window of a widget closed from its title bar)."""
        xsession.wait_until(lambda: not self.x.is_viewable(window), timeout,
                            lambda: "{} is still open. {}".format(what, run.describe()))

    def exit_orva(self, run, main, answer=CONTINUE):
        """Exit: answers the "退出ORVA" box; returns ORVA's exit status."""
        self.x.press(main, *EXIT)
        box = run.window(EXIT_TITLE)
        self.x.press(box, *answer)
        return run.wait_exit()

    def wait_for_events(self, condition, what, timeout=WINDOW_TIMEOUT, run=None):
        """Waits until `condition(events)` holds; returns the events."""
        def check():
            events = self.ws.events()
            return events if condition(events) else None
        return xsession.wait_until(check, timeout, lambda: "{} not seen within {} s; events:\n{}\n{}".format(
            what, timeout, "\n".join(map(str, self.ws.events())), run.describe() if run else ""))

    def assertInOrder(self, expected, lines, msg=None):
        """`expected` occurs in `lines` as a subsequence of whole lines."""
        position = 0
        for line in lines:
            if position < len(expected) and line == expected[position]:
                position += 1
        if position < len(expected):
            self.fail(msg or "lines {!r} not found in this order in:\n{}".format(expected, "\n".join(lines)))
