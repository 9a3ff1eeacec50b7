"""ORVA's start-up notices, the offer to visit the author's website, and the
main window that start-up ends in."""

import os
import time
import unittest

import xsession
from orvacase import (AUTHOR_WEBSITE, CLOSE, CONTINUE, ERROR_TITLE, ESCAPE, LOADING_TITLE, MAIN_TITLE,
                      NOTICE_TITLE, WINDOW_CLOSE, EndToEndCase, start_display, stop_display)
from workspace import RUNS_ON

LISTENER = ("./Extensions/00000002/Watcher.exe", "./Extensions/00000003/Recorder.exe")


def setUpModule():
    start_display()


def tearDownModule():
    stop_display()


class StartupNoticesTest(EndToEndCase):
    def setUp(self):
        super().setUp()
        # A working pair, so that a start-up that wrongly goes on launches something.
        self.ws.add_extension("00000002", "Watcher", control_id="00000003", body=RUNS_ON)
        self.ws.add_extension("00000003", "Recorder")
        self.ws.write_start_lists(["00000002"])

    def browser_env(self, with_browser):
        """PATH holding a fake xdg-open that records its arguments, or
        holding nothing at all, so that no browser can be found."""
        bin_dir = os.path.join(self.tmp, "bin")
        os.mkdir(bin_dir)
        self.browser_log = os.path.join(self.tmp, "browser.log")
        if with_browser:
            script = os.path.join(bin_dir, "xdg-open")
            with open(script, "w") as file:
                file.write("#!/bin/sh\nfor arg; do printf '%s\\n' \"$arg\"; done >> '{}'\n".format(self.browser_log))
            os.chmod(script, 0o755)
        return dict(PATH=bin_dir + (":/usr/bin:/bin" if with_browser else ""), BROWSER=None, DEFAULT_BROWSER=None)

    def test_website_opens_in_the_browser_and_ends_with_status_0(self):
        run = self.start_orva(**self.browser_env(with_browser=True))
        first = run.answer(NOTICE_TITLE, CONTINUE)
        run.answer(NOTICE_TITLE, CONTINUE, exclude={first})
        # No box to answer on success: it ends by itself.
        self.assertEqual(run.wait_exit(), 0, run.describe())
        xsession.wait_until(lambda: os.path.exists(self.browser_log) and os.path.getsize(self.browser_log), 15,
                            "the browser was never started")
        with open(self.browser_log) as log:
            urls = log.read().splitlines()
        self.assertEqual([url.rstrip("/") for url in urls], [AUTHOR_WEBSITE])
        self.assertEqual(self.ws.events(), [], "no extension may be started")

    def test_website_error_box_when_no_browser_can_be_opened(self):
        run = self.start_orva(**self.browser_env(with_browser=False))
        first = run.answer(NOTICE_TITLE, CONTINUE)
        run.answer(NOTICE_TITLE, CONTINUE, exclude={first})
        box = run.window(ERROR_TITLE)
        self.assertTrue(run.alive(), "must wait for the error box to be dismissed")
        self.x.press(box, *CONTINUE)
        self.assertEqual(run.wait_exit(), 0, run.describe())
        self.assertEqual(self.ws.events(), [], "no extension may be started")

    def test_dismissing_the_notices_in_any_way_enters_the_program(self):
        # First notice: its only button however answered. Second: No, by its
        # button or by closing the box.
        for first, second in ((WINDOW_CLOSE, WINDOW_CLOSE), (ESCAPE, CLOSE)):
            with self.subTest(first=first, second=second):
                run = self.start_orva()
                self.enter_program(run, first, second)
                loading = run.window(LOADING_TITLE)
                self.wait_main_window(run, listed=1)
                self.assertFalse(self.x.is_viewable(loading), "the loading notice must be closed")
                self.assertEqual([args for _, args in run.launchers()], [LISTENER])
                self.procs.end_all()

    def test_main_window_has_a_fixed_size_and_no_close_function(self):
        self.ws.write_start_lists([])
        run = self.start_orva()
        self.enter_program(run)
        main = self.wait_main_window(run)
        self.assertEqual(self.x.title(main), MAIN_TITLE)
        self.assertEqual(self.x.size(main), (410, 65))
        self.assertEqual(self.x.normal_hints(main), {"minimum": (410, 65), "maximum": (410, 65)})
        flags, functions = self.x.motif_hints(main)[:2]
        self.assertTrue(flags & xsession.MWM_HINTS_FUNCTIONS, "the window manager must be told the functions")
        self.assertFalse(functions & xsession.MWM_FUNC_ALL, "functions 0x{:x} include all".format(functions))
        self.assertFalse(functions & xsession.MWM_FUNC_CLOSE, "functions 0x{:x} include close".format(functions))

    def test_close_request_from_the_title_bar_leaves_orva_running(self):
        # openbox keeps a close control despite the hint; the request it
        # sends must not end ORVA, which is left through its Exit action.
        self.ws.write_start_lists([])
        run = self.start_orva()
        self.enter_program(run)
        main = self.wait_main_window(run)
        self.x.press(main, *WINDOW_CLOSE)
        time.sleep(1.5)
        self.assertTrue(run.alive(), run.describe())
        self.assertTrue(self.x.is_viewable(main), "the main window must stay open")


if __name__ == "__main__":
    unittest.main()
