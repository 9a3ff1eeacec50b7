"""The chain ORVA -> chainlaunch -> listener -> control -> again, for as long
as ORVA runs: names with spaces and Chinese, every listed entry its own
launcher, launchers and listeners killed or crashing from outside."""

import os
import signal
import time

import harness
from harness import MAIN, Case, setUpModule, tearDownModule  # noqa: F401

LISTENER = "./Extensions/00000002/监听 器.exe", "./Extensions/00000003/控制 器.exe"


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
        launchers = harness.wait_until(lambda: len(harness.running()) == 3 and harness.running(), "three launchers")
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
            before = harness.wait_until(lambda: len(harness.running()) == 2 and harness.running(), "two launchers")
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

    def test_listener_input_waits_and_output_is_orvas(self):
        self.add_extension("00000007", "Reader", "00000003", "print Reader 的输出\nread")
        run = self.start_orva("00000007\n")
        run.window(MAIN)
        time.sleep(3)
        self.assertEqual([(name, event) for _, name, event in self.events()], [("Reader.exe", "start")])
        self.assertIn("Reader 的输出", run.output(), "its output goes where ORVA's goes")
