"""chainlaunch on its own: its command line, the order in which it runs its two
programs, its message and its exit statuses."""

import unittest

import processes
from orvacase import CONTINUE, ESCAPE, WINDOW_CLOSE, EndToEndCase, start_display, stop_display
from workspace import CRASHES, ENDS_SOON, READS_STDIN, RUNS_ON

FIRST = "./Extensions/00000002/Watcher.exe"
SECOND = "./Extensions/00000003/Recorder.exe"
THIRD = "./Extensions/00000004/Other.exe"

DIALOG = "_NET_WM_WINDOW_TYPE_DIALOG"


def setUpModule():
    start_display()


def tearDownModule():
    stop_display()


class ChainlaunchTest(EndToEndCase):
    def kinds(self):
        return [(event.kind, event.tag) for event in self.ws.events()]

    def test_without_arguments_ends_with_status_1_at_once(self):
        run = self.start_chainlaunch()
        # Nothing to answer: a window or box would keep it running.
        self.assertEqual(run.wait_exit(), 1, run.describe())
        self.assertEqual(self.ws.events(), [])

    def test_one_argument_reports_the_end_of_the_program_until_dismissed(self):
        self.ws.add_program(FIRST, "first", ENDS_SOON)
        for answer in (CONTINUE, ESCAPE, WINDOW_CLOSE):
            with self.subTest(answer=answer):
                open(self.ws.log, "wb").close()
                run = self.start_chainlaunch(FIRST)
                box = run.window(None)
                # The message comes only once the program has ended.
                self.assertEqual(self.kinds(), [("start", "first"), ("end", "first")])
                self.assertIn(DIALOG, self.x.window_types(box), "expected the message box, not the empty window")
                self.assertTrue(run.alive(), "must wait for the message to be dismissed")
                self.x.press(box, *answer)
                self.assertEqual(run.wait_exit(), 0, run.describe())
                start = self.ws.starts("first")[0]
                self.assertEqual(start.nargs, 0, "the program gets no arguments")
                self.assertEqual(start.ppid, run.pid)
                self.assertEqual(start.cwd, self.ws.root, "the program inherits the working directory")

    def test_more_than_two_arguments_run_only_the_first(self):
        self.ws.add_program(FIRST, "first", ENDS_SOON)
        self.ws.add_program(SECOND, "second", ENDS_SOON)
        self.ws.add_program(THIRD, "third", ENDS_SOON)
        run = self.start_chainlaunch(FIRST, SECOND, THIRD)
        box = run.window(None)
        self.assertIn(DIALOG, self.x.window_types(box))
        self.x.press(box, *CONTINUE)
        self.assertEqual(run.wait_exit(), 0, run.describe())
        self.assertEqual(self.kinds(), [("start", "first"), ("end", "first")])

    def test_two_arguments_start_the_second_after_the_first_and_leave_it_running(self):
        # Spaces in folder and file names: each argument is one path.
        first = "./Extensions/My Listener/first program.exe"
        second = "./Extensions/My Control/second program.exe"
        # The first program outlasts chainlaunch's one-second pause after
        # starting it, so a second program started too early shows.
        self.ws.add_program(first, "first", READS_STDIN + "\n/bin/sleep 2")
        self.ws.add_program(second, "second", RUNS_ON)
        run = self.start_chainlaunch(first, second)
        # No message on this path: it ends by itself.
        self.assertEqual(run.wait_exit(), 0, run.describe())
        self.wait_for_events(lambda events: any(e.tag == "second" for e in events), "start of the second program")
        self.assertEqual(self.kinds(), [("start", "first"), ("stdin", "first"), ("end", "first"),
                                        ("start", "second")])
        events = self.ws.events()
        self.assertEqual(events[1].value, "0", "the first program must see an empty standard input")
        second_start = self.ws.starts("second")[0]
        self.assertTrue(processes.is_running(second_start.pid), "the second program must outlive chainlaunch")
        for start in self.ws.starts():
            self.assertEqual(start.nargs, 0, start)
            self.assertEqual(start.cwd, self.ws.root, start)

    def test_first_program_that_crashes_counts_as_ended(self):
        self.ws.add_program(FIRST, "first", CRASHES)
        self.ws.add_program(SECOND, "second", ENDS_SOON)
        run = self.start_chainlaunch(FIRST, SECOND)
        self.assertEqual(run.wait_exit(), 0, run.describe())
        self.wait_for_events(lambda events: ("end", "second") in [(e.kind, e.tag) for e in events],
                             "the second program's run")
        self.assertEqual(self.kinds(), [("start", "first"), ("start", "second"), ("end", "second")])

    def test_unstartable_first_program_leaves_an_empty_window_and_no_second_program(self):
        self.ws.add_program(SECOND, "second", ENDS_SOON)
        not_executable = "./Extensions/00000005/Plain.exe"
        self.ws.add_program(not_executable, "plain", ENDS_SOON, executable=False)
        for first in ("./Extensions/00000009/Missing.exe", not_executable, ""):
            with self.subTest(first=first):
                run = self.start_chainlaunch(first, SECOND)
                window = run.window(None)
                self.assertNotIn(DIALOG, self.x.window_types(window), "expected the empty main window, not a box")
                self.assertEqual(self.ws.events(), [], "nothing may be started")
                self.x.press(window, *WINDOW_CLOSE)
                self.assertEqual(run.wait_exit(), 0, run.describe())
                self.assertEqual(self.ws.events(), [])


if __name__ == "__main__":
    unittest.main()
