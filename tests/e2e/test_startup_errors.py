"""ORVA's start-up error boxes: the recovery of a missing Listener list, the
launch-failure box, and a missing launcher."""

import os
import unittest

import processes
from orvacase import (CLOSE, CONTINUE, ERROR_TITLE, ESCAPE, MAIN_TITLE, WINDOW_CLOSE, EndToEndCase,
                      start_display, stop_display)
from workspace import RUNS_ON, START_LISTS

STARTED = "程序已经启动"
NOT_STARTED = "无法启动程序"
WATCHER = ("./Extensions/00000002/Watcher.exe", "./Extensions/00000003/Recorder.exe")


def setUpModule():
    start_display()


def tearDownModule():
    stop_display()


class RecoveryBoxTest(EndToEndCase):
    # Lists that exist hold bytes no reader would write back the same way.
    EXISTING = {
        "Controller": b"00000007\r\n00000008\t",
        "Structure": b"\x00\xff not a list",
        "Runner": b"",
    }

    def setUp(self):
        super().setUp()
        self.ws.add_extension("00000007", "Kept")
        for name, data in self.EXISTING.items():
            self.ws.write("Start/{}.etl".format(name), data)

    def list_files(self):
        return {name: self.ws.read("Start/" + name) for name in os.listdir(self.ws.path("Start"))}

    def test_close_escape_or_window_close_ends_with_status_1_and_creates_nothing(self):
        before = self.list_files()
        for answer in (CLOSE, ESCAPE, WINDOW_CLOSE):
            with self.subTest(answer=answer):
                run = self.start_orva()
                self.enter_program(run)
                run.answer(ERROR_TITLE, answer)
                self.assertEqual(run.wait_exit(), 1, run.describe())
                self.assertEqual(self.list_files(), before)

    def test_continue_creates_the_missing_lists_and_keeps_the_others(self):
        run = self.start_orva()
        self.enter_program(run)
        run.answer(ERROR_TITLE, CONTINUE)
        self.wait_main_window(run)
        expected = {"{}.etl".format(name): self.EXISTING.get(name, b"") for name in START_LISTS}
        self.assertEqual(self.list_files(), expected)
        self.assertTrue(os.path.exists(self.ws.path("Extensions", "00000007", "Kept.exe")))
        self.assertEqual(run.launchers(), [])

    def test_continue_without_a_start_folder_creates_all_five_lists(self):
        for name in self.EXISTING:
            os.remove(self.ws.path("Start", name + ".etl"))
        os.rmdir(self.ws.path("Start"))
        run = self.start_orva()
        self.enter_program(run)
        run.answer(ERROR_TITLE, CONTINUE)
        self.wait_main_window(run)
        self.assertEqual(self.list_files(), {"{}.etl".format(name): b"" for name in START_LISTS})


class LaunchFailureBoxTest(EndToEndCase):
    def setUp(self):
        super().setUp()
        self.ws.add_extension("00000002", "Watcher", control_id="00000003", body=RUNS_ON)
        self.ws.add_extension("00000003", "Recorder")
        # No control file.
        self.ws.add_extension("00000011", "NoControl")
        # Its control extension has a program but no name file.
        self.ws.add_extension("00000012", "NoControlName", control_id="00000014")
        self.ws.add_program("Extensions/00000014/Orphan.exe", "00000014")
        # A name file ending in a line break: no file is named by the paths built from it.
        self.ws.add_extension("00000013", "Trailing", control_id="00000003")
        self.ws.write("Extensions/00000013/ExtensionName.etn", "Trailing\n")

    def test_close_ends_with_status_1_for_every_missing_file(self):
        cases = [
            ("no extension folder", "00000009", ["00000009"]),
            ("no control file", "00000011", ["00000011", "NoControl"]),
            ("no name file of the control extension", "00000012", ["00000012", "NoControlName"]),
        ]
        for case, ext_id, debug_lines in cases:
            with self.subTest(case):
                self.ws.write_start_lists([ext_id])
                run = self.start_orva()
                self.enter_program(run)
                run.answer(ERROR_TITLE, CLOSE)
                self.assertEqual(run.wait_exit(), 1, run.describe())
                # The debug lines show the box came while handling this identifier.
                self.assertEqual(run.debug_lines(), debug_lines)
                self.assertEqual(self.ws.events(), [])

    def test_close_leaves_launchers_of_earlier_extensions_running(self):
        self.ws.write_start_lists(["00000002", "00000009"])
        run = self.start_orva()
        self.enter_program(run)
        box = run.window(ERROR_TITLE, timeout=60)
        launchers = run.launchers()
        self.assertEqual([args for _, args in launchers], [WATCHER])
        self.x.press(box, *CLOSE)
        self.assertEqual(run.wait_exit(), 1, run.describe())
        self.assertTrue(processes.is_running(launchers[0][0]), "the launcher must go on running")
        self.wait_for_events(lambda events: self.ws.starts("00000002"), "start of the listener")
        self.assertTrue(processes.is_running(self.ws.starts("00000002")[0].pid))

    def test_continue_skips_each_failed_extension_and_launches_the_rest(self):
        self.ws.write_start_lists(["00000009", "00000011", "00000012", "00000013", "00000002"])
        run = self.start_orva()
        self.enter_program(run)
        for _ in range(4):
            run.answer(ERROR_TITLE, CONTINUE)
        self.wait_main_window(run, listed=5)
        self.assertEqual([args for _, args in run.launchers()], [WATCHER])
        lines = run.debug_lines()
        self.assertInOrder(["00000009", "00000011", "NoControl", "00000012", "NoControlName", "00000013",
                            "Trailing", "00000002", "Watcher", STARTED], lines)
        self.assertEqual(lines.count(STARTED), 1, lines)
        self.assertNotIn(NOT_STARTED, lines)
        self.wait_for_events(lambda events: self.ws.starts("00000002"), "start of the listener")
        self.assertEqual({event.tag for event in self.ws.events()}, {"00000002"})

    def test_missing_launcher_is_only_reported_in_the_debug_log(self):
        os.remove(self.ws.chainlaunch)
        self.ws.write_start_lists(["00000002"])
        run = self.start_orva()
        self.enter_program(run)
        main = self.wait_main_window(run, listed=1)
        self.assertEqual(self.x.title(main), MAIN_TITLE)
        lines = run.debug_lines()
        self.assertInOrder(["00000002", "Watcher", NOT_STARTED], lines)
        self.assertNotIn(STARTED, lines)
        self.assertEqual(run.launchers(), [])
        self.assertEqual(self.ws.events(), [])


if __name__ == "__main__":
    unittest.main()
