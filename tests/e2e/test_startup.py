"""ORVA's start-up boxes and their real exit statuses, the window manager's
view of the main window, and the Exit action while listeners cycle."""

import os
import re
import shutil
import time

import harness
from harness import CLOSE, ERROR, MAIN, NOTICE, Case, Run, setUpModule, tearDownModule  # noqa: F401


class StartupTest(Case):
    def test_exit_statuses(self):
        with self.subTest("website: status 0, the browser opened"):
            os.makedirs(os.path.join(self.tmp, "bin"))
            shutil.copy(harness.STANDIN, os.path.join(self.tmp, "bin", "xdg-open"))
            run = Run(self, ["./ORVA"], PATH=os.path.join(self.tmp, "bin") + ":" + os.environ["PATH"])
            first = run.answer(NOTICE, ("Return",))
            run.answer(NOTICE, ("Return",), exclude={first})
            self.assertEqual(run.wait_exit(), 0)
            self.assertEqual([name for _, name, _ in self.events(event="start")], ["xdg-open"])
            with open(self.log, encoding="utf-8") as log:
                self.assertIn("\thttps://morvath.example.com\n", log.read())
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
            table = harness.processes()
            launchers = [pid for pid in harness.descendants(os.getpid(), table) if table[pid][1][:1] == ["./Extensions/chainlaunch.exe"]]
            self.assertEqual(len(launchers), 1)

    def test_main_window_and_exit(self):
        self.add_extension("00000002", "Busy", "00000003", "sleep 600")
        self.add_extension("00000003", "Quick", "00000003", "sleep 0.2")
        run = self.start_orva("00000002\n00000003\n")
        main = run.window(MAIN)
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
        started = len(self.events())
        time.sleep(2.5)
        self.assertEqual(run.children(), [])
        self.assertEqual(len(self.events()), started, "nothing started again after Exit")
        self.assertIn(busy[0][0], harness.processes(), "the extension programs run on")
