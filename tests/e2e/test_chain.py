"""The chain ORVA -> chainlaunch -> listener -> control -> again, for as long
as ORVA runs: names with spaces and Chinese, every listed entry its own
launcher, launchers and listeners killed or crashing from outside. Then
chainlaunch on its own: no, one, two and three programs, a first program
that cannot start, and a two-program run with no display at all."""

import os
import re
import signal
import time

import harness
from harness import MAIN, Case, Run, setUpModule, tearDownModule  # noqa: F401

LISTENER = "./Extensions/00000002/监听 器.exe", "./Extensions/00000003/控制 器.exe"
FIRST, SECOND, THIRD = "first program.exe", "second program.exe", "third.exe"


class ChainTest(Case):
    def setUp(self):
        super().setUp()
        self.add_extension("00000002", "监听 器", "00000003", "sleep 0.3")
        self.add_extension("00000003", "控制 器", "00000003")
        self.add_extension("00000004", "Crash", "00000005", "crash")
        self.add_extension("00000005", "After crash", "00000005")

    def turns(self, *names):
        return [name for _, name, event in self.events(event="start") if name in names]

    def test_pairs_take_turns_in_the_app_folder(self):
        run = self.start_orva("00000002\n00000002 00000004\n")
        run.window(MAIN)
        launchers = harness.wait_until(lambda: len(found := harness.running()) == 3 and found, "three launchers")
        self.assertEqual(sorted(args for _, args in launchers),
                         sorted([LISTENER, LISTENER, ("./Extensions/00000004/Crash.exe", "./Extensions/00000005/After crash.exe")]))
        harness.wait_until(lambda: len(self.turns("Crash.exe")) >= 4, "the crashing listener's fourth run")
        # A crash ends a run like any other: the control program follows it.
        self.assertEqual(self.turns("Crash.exe", "After crash.exe")[:6], ["Crash.exe", "After crash.exe"] * 3)
        self.assertGreaterEqual(len(self.turns("控制 器.exe")), 4)
        with open(self.log, encoding="utf-8") as log:
            folders = {line.split("\t")[3] for line in log if "\tstart\t" in line}
        self.assertEqual(folders, {harness.native(self.app)})

    def test_killed_launchers_and_listeners_come_back_one_each(self):
        self.add_extension("00000006", "Waiter", "00000005", "sleep 600")
        run = self.start_orva("00000002 00000006\n")
        run.window(MAIN)
        for round in range(4):
            before = harness.wait_until(lambda: len(found := harness.running()) == 2 and found, "two launchers")
            for pid, _ in before:
                harness.signal_if_there(pid, signal.SIGKILL)  # a launcher may end by itself meanwhile
            deadline = time.monotonic() + 5
            while time.monotonic() < deadline:  # restarted, never doubled
                arguments = [args for _, args in harness.running()]
                self.assertEqual(len(arguments), len(set(arguments)), "round {}: {}".format(round, arguments))
                time.sleep(0.05)
            self.assertEqual(len({pid for pid, _ in harness.running()} & {pid for pid, _ in before}), 0)
        # The killed launchers' listeners run on; killing one lets its control run.
        self.assertEqual(len(self.events("Waiter.exe", "start")), 5)
        os.kill(harness.running("Waiter.exe")[-1][0], signal.SIGKILL)
        harness.wait_until(lambda: self.turns("Waiter.exe", "After crash.exe")[-2:] == ["After crash.exe", "Waiter.exe"],
                           "the control after the killed listener, then the listener again")

    def test_listener_input_waits_and_output_is_logged(self):
        self.add_extension("00000007", "Reader", "00000003", "print Reader 的输出\nread")
        run = self.start_orva("00000007\n")
        run.window(MAIN)
        time.sleep(3)
        self.assertEqual([(name, event) for _, name, event in self.events()], [("Reader.exe", "start")])
        self.assertIn("Reader 的输出\n", self.read("Logs/00000007.log"))
        self.assertNotIn("Reader 的输出", run.output())

    def test_pair_logs(self):
        """Each pair's log: its runs and their ends, the listener's and the control's output; two bounded files."""
        limit, stamp = 64 * 1024, r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(Z|[+-]\d\d:\d\d) "
        self.add_extension("00000008", "Says", "00000009", "print 监听的话\nexit 3")
        self.add_extension("00000009", "Answers", "00000009", "print 控制的话")
        self.add_extension("00000010", "Flood", "00000003", "flood 1000000\nsleep 600")
        run = self.start_orva("00000008 00000004 00000010\n", ORVA_LOG_LIMIT_BYTES=str(limit))
        main = run.window(MAIN)
        logs = ("Logs/00000008.log", "Logs/00000004.log", "Logs/00000010.1.log", "Logs/00000010.log")
        harness.wait_until(lambda: all(os.path.exists(self.path(log)) for log in logs) and "控制的话" in self.read(logs[0])
                           and "崩溃" in self.read(logs[1]), "the pairs' logs")
        self.assertEqual(self.exit_orva(run, main), 0)
        self.assertRegex(self.read(logs[0]), "^{0}开始运行：监听程序\"Says\"（00000008）\n监听的话\n{0}监听程序结束：退出代码3，运行了"
                         r"\d+\.\d秒\n{0}启动控制程序：\S+Answers.exe\n控制的话\n".format(stamp))
        self.assertIn("监听程序崩溃：" + ("异常代码0xC0000005" if harness.WINE else "信号6"), self.read(logs[1]))
        flood = [self.read(log).splitlines() for log in logs[2:]]
        self.assertTrue(all(line == "x" * 99 or re.match(stamp, line) for line in flood[0] + flood[1]))
        self.assertGreater(os.path.getsize(self.path(logs[2])), limit - 200, "moved aside only when full")
        self.assertLessEqual(max(os.path.getsize(self.path(log)) for log in logs[2:]), limit)


    def test_logs_that_cannot_be_written(self):
        """A file where Logs/ should be: the pair runs and restarts as before, its output still drained."""
        self.write("Logs", "")
        self.add_extension("00000008", "Says", "00000009", "flood 1000000")
        self.add_extension("00000009", "Answers", "00000009")
        run = self.start_orva("00000008\n")
        main = run.window(MAIN)
        harness.wait_until(lambda: len(self.events("Answers.exe", "start")) >= 2, "the pair to run twice")
        self.assertEqual(self.exit_orva(run, main), 0)
        if not harness.WINE:  # where ORVA's debug output goes on Linux
            self.assertEqual(run.output().count("无法写入日志"), 1, run.output())

class ChainlaunchTest(Case):
    def launch(self, *args, **env):
        self.add_program(FIRST, "sleep 0.3")
        self.add_program(SECOND, "sleep 600")
        self.add_program(THIRD)
        return Run(self, ["./Extensions/chainlaunch.exe", *["./" + arg for arg in args]], **env)

    def runs(self):
        return [(name, event) for _, name, event in self.events()]

    def test_arguments(self):
        with self.subTest("none: status 1 at once"):
            self.assertEqual(self.launch().wait_exit(timeout=10), 1)
        for args in ((FIRST,), (FIRST, SECOND, THIRD)):
            with self.subTest(args=args):
                started = time.monotonic()
                run = self.launch(*args)
                run.window(None)
                self.assertEqual(self.runs()[-2:], [(FIRST, "start"), (FIRST, "end")])
                self.assertGreaterEqual(time.monotonic() - started, 1.0, "noticed only after the pause")
                run.answer(None, ("Return",))
                self.assertEqual(run.wait_exit(), 0)
        self.assertEqual(self.runs(), [(FIRST, "start"), (FIRST, "end")] * 2)

    def test_two_programs_without_a_display(self):
        run = self.launch(FIRST, SECOND, DISPLAY=None)
        harness.wait_until(lambda: self.events(SECOND), "the second program")
        second_started = time.monotonic()  # timed from here, as a loaded machine starts programs late
        self.assertEqual(run.wait_exit(), 0, run.describe())
        self.assertGreaterEqual(time.monotonic() - second_started, 0.5, "a pause after the second start")
        self.assertEqual(self.runs(), [(FIRST, "start"), (FIRST, "end"), (SECOND, "start")])
        self.assertTrue(harness.running(SECOND), "the second program outlives the launcher")
        self.assertEqual(harness.display.x("xdotool", "search", "--onlyvisible", "--name", ".").split(), [], "no console")

    def test_first_program_that_cannot_start(self):
        run = self.launch("missing.exe", SECOND)
        window = run.window(None)
        time.sleep(1.5)
        self.assertEqual(self.events(), [])
        harness.display.keys(window, "alt+F4")
        self.assertEqual(run.wait_exit(), 0, run.describe())
