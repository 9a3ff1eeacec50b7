"""ORVA's start-up boxes and their real exit statuses, the window manager's
view of the main window, the Exit action while listeners cycle, and a second
start in the same folder."""

import os
import re
import shutil
import signal
import time

import harness
from harness import CLOSE, ERROR, MAIN, NOTICE, Case, Run, setUpModule, tearDownModule  # noqa: F401


class StartupTest(Case):
    def test_exit_statuses(self):
        with self.subTest("website: status 0, the browser opened"):
            opened = os.path.join(self.tmp, "opened")
            self.write("../bin/xdg-open", '#!/bin/sh\necho "$@" >>{}\n'.format(opened))  # Wine's browser calls it too
            os.chmod(os.path.join(self.tmp, "bin", "xdg-open"), 0o755)
            run = Run(self, ["./ORVA"], PATH=os.path.join(self.tmp, "bin") + ":" + os.environ["PATH"])
            first = run.answer(NOTICE, ("Return",))
            run.answer(NOTICE, ("Return",), exclude={first})
            self.assertEqual(run.wait_exit(), 0)
            harness.wait_until(lambda: os.path.exists(opened), "the browser")
            with open(opened) as urls:
                self.assertIn(urls.read(), ("https://morvath.example.com\n", "https://morvath.example.com/\n"))  # Wine adds a /
        with self.subTest("no start list, 关闭: status 1, nothing created"):
            shutil.rmtree(self.path("Start"))
            run = self.start_orva()
            run.answer(ERROR, CLOSE)
            self.assertEqual(run.wait_exit(), 1)
            self.assertFalse(os.path.exists(self.path("Start")))
        with self.subTest("a failed extension, 关闭: status 1, the earlier launcher runs on"):
            self.add_extension("00000002", "L", "00000002", "sleep 600")
            run = self.start_orva("00000002 00000009")
            run.answer(ERROR, CLOSE)
            self.assertEqual(run.wait_exit(), 1)
            self.assertEqual(len(harness.running("chainlaunch.exe")), 1)

    def test_main_window_and_exit(self):
        self.add_extension("00000002", "Busy", "00000003", "sleep 600")
        self.add_extension("00000003", "Quick", "00000003", "sleep 0.2")
        run = self.start_orva("00000002\n00000003\n")
        main = run.window(MAIN)
        if not harness.WINE:  # Wine tells the window manager of neither
            functions = int(harness.display.x("xprop", "-id", str(main), "_MOTIF_WM_HINTS").split("=")[1].split(",")[1], 0)
            self.assertFalse(functions & 0x20, "no close function")
            sizes = re.findall(r"program specified (?:minimum|maximum) size: (\d+ by \d+)",
                               harness.display.x("xprop", "-id", str(main), "WM_NORMAL_HINTS"))
            self.assertEqual(sizes, ["410 by 65", "410 by 65"])
        harness.display.keys(main, "alt+F4")
        harness.wait_until(lambda: len(self.events("Quick.exe", "start")) >= 3, "Quick to come round three times")
        self.assertTrue(run.alive() and harness.display.viewable(main), "a close request leaves ORVA running")

        self.assertEqual(run.debug_lines(), ["00000002", "Busy", "程序已经启动", "00000003", "Quick", "程序已经启动"])
        busy = self.events("Busy.exe", "start")
        self.assertEqual(len(busy), 1)
        self.assertEqual(self.exit_orva(run, main), 0)
        self.assertIn("ORVA退出：已结束启动器", self.read("Logs/00000002.log"))
        quick = len(self.events("Quick.exe", "start"))
        time.sleep(2.5)
        self.assertEqual(harness.running(), [])
        # A launcher that Exit ended may have just started its control program, which Wine under load
        # takes seconds to bring up: that one may still come, nothing more.
        self.assertLessEqual(len(self.events("Quick.exe", "start")), quick + 1, "nothing started again after Exit")
        self.assertEqual(len(self.events("Busy.exe", "start")), 1, "nothing started again after Exit")
        self.assertTrue(harness.running("Busy.exe"), "the extension programs run on")

    def test_second_start(self):
        self.add_extension("00000002", "L", "00000002", "sleep 600")
        first = self.start_orva("00000002")
        main = first.window(MAIN)
        launchers = harness.running()
        shutil.copytree(self.app, self.path("../other"), symlinks=True)
        for away in ("minimised", "behind another folder's ORVA, which starts on its own"):
            with self.subTest("answered, " + away + ": status 0 without a notice, the first ORVA in front"):
                if away == "minimised":
                    harness.display.x("xdotool", "windowminimize", "--sync", str(main))
                else:
                    other = Run(self, ["./ORVA"], cwd=self.path("../other"))
                    notice = other.window(NOTICE)
                    harness.wait_until(lambda: self.in_front(notice), "the other ORVA's notice in front")
                self.assertEqual(Run(self, ["./ORVA"]).wait_exit(), 0)  # a notice would wait for its answer
                harness.wait_until(lambda: self.in_front(main), "the first ORVA's window in front")
                self.assertEqual(harness.running(), launchers, "no second launcher")
        with self.subTest("answered by the other folder's ORVA, in its start-up: its notice in front"):
            self.assertEqual(Run(self, ["./ORVA"], cwd=self.path("../other")).wait_exit(), 0)
            harness.wait_until(lambda: self.in_front(notice), "the other ORVA's notice in front")
        with self.subTest("no answer: the box, status 1"):
            os.kill(first.pid, signal.SIGSTOP)
            second = Run(self, ["./ORVA"])
            second.answer(ERROR, ("Return",))
            self.assertEqual(second.wait_exit(), 1)
        with self.subTest("killed: the next start is a first one"):
            os.kill(first.pid, signal.SIGKILL)
            first.wait_exit()
            third = self.start_orva()
            third.window(MAIN)
        for run in (other, third):  # reaped before their Popen objects go
            os.kill(run.pid, signal.SIGKILL)
            run.wait_exit()

    @staticmethod
    def in_front(wid):
        """The active window; under Wine 8 the top one, as Wine asks the window
        manager to raise a window but never to activate it."""
        if harness.WINE:
            return harness.display.x("xprop", "-root", "_NET_CLIENT_LIST_STACKING").split()[-1] == hex(wid)
        return int(harness.display.x("xdotool", "getactivewindow") or 0) == wid
