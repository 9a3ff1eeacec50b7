"""chainlaunch on its own: no, one, two and three programs, a first program
that cannot start, and a two-program run with no display at all."""

import time

import harness
from harness import Case, Run, setUpModule, tearDownModule  # noqa: F401

FIRST, SECOND, THIRD = "first program.exe", "second program.exe", "third.exe"


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
