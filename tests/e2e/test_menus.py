"""The main window's menus with the real ORVA: Exit while launchers run, the
About box, and the extension manager windows that Manage opens."""

import os
import time
import unittest

import processes
import xsession
from orvacase import (ABOUT, ABOUT_TITLE, CONTINUE, CONTROLLER_VIEW, ESCAPE, EXIT, EXIT_TITLE, LISTENER_VIEW,
                      LOADING_TITLE, MANAGER_SIZE, MANAGER_TITLE, OK_BUTTON, WINDOW_CLOSE, EndToEndCase,
                      start_display, stop_display)
from workspace import ENDS_SOON, RUNS_ON

# Long enough for a wrongly restarted launcher to show up and start its
# listener (ORVA restarts at once, or a second later after a failed run).
WATCH_AFTER_EXIT = 3

# How long a resize request is given to take effect before the size is
# taken as kept.
RESIZE_GRACE = 1.5


def setUpModule():
    start_display()


def tearDownModule():
    stop_display()


def launchers_anywhere():
    """Running chainlaunch processes among everything this test started,
    orphans included (the test process is their subreaper)."""
    found = []
    for pid in processes.descendants(os.getpid()):
        args = processes.command_line(pid)
        if args and os.path.basename(args[0]) == "chainlaunch.exe" and processes.is_running(pid):
            found.append((pid, args))
    return found


class ExitTest(EndToEndCase):
    def assert_no_launcher_for_a_while(self):
        deadline = time.monotonic() + WATCH_AFTER_EXIT
        while time.monotonic() < deadline:
            self.assertEqual(launchers_anywhere(), [], "a launcher runs after Exit")
            time.sleep(xsession.POLL_INTERVAL)

    def test_exit_ends_every_launcher_and_leaves_the_listeners_running(self):
        # The listeners never end, so their launchers wait on them: only Exit
        # can end a launcher, and nothing but a restart can start a listener.
        self.ws.add_extension("00000002", "Watcher", control_id="00000003", body=RUNS_ON, tag="watcher")
        self.ws.add_extension("00000004", "Sentry", control_id="00000003", body=RUNS_ON, tag="sentry")
        self.ws.add_extension("00000003", "Recorder", body=ENDS_SOON, tag="control")
        # However the box is dismissed, the program ends the same way.
        for answer in (CONTINUE, ESCAPE, WINDOW_CLOSE):
            with self.subTest(answer=answer):
                try:
                    open(self.ws.log, "wb").close()
                    run, main = self.start_to_main_window(["00000002", "00000004"])
                    launchers = [pid for pid, _ in self.wait_for_launchers(run, 2)]
                    self.wait_for_events(lambda events: len(events) == 2, "both listeners", run=run)
                    listeners = {event.tag: event.pid for event in self.ws.starts()}
                    self.assertEqual(sorted(listeners), ["sentry", "watcher"])

                    self.assertEqual(self.exit_orva(run, main, answer), 0, run.describe())

                    # ORVA waits for each launcher before it ends.
                    for pid in launchers:
                        self.assertFalse(processes.is_running(pid), "launcher {} outlived ORVA".format(pid))
                    self.assert_no_launcher_for_a_while()
                    self.assertEqual(sorted((e.tag, e.pid) for e in self.ws.starts()), sorted(listeners.items()),
                                     "no listener or control program may start after Exit")
                    for tag, pid in listeners.items():
                        self.assertTrue(processes.is_running(pid), "listener {} was ended by Exit".format(tag))
                finally:
                    # Each answer starts afresh, even after a failure.
                    self.procs.end_all()

    def test_exit_while_pairs_cycle_leaves_no_launcher(self):
        # Launchers that end and are restarted all the time: Exit must win
        # over the restart whichever phase each one is in.
        self.ws.add_extension("00000002", "Watcher", control_id="00000003", body=ENDS_SOON, tag="watcher")
        self.ws.add_extension("00000003", "Recorder", body=ENDS_SOON, tag="control")
        run, main = self.start_to_main_window(["00000002", "00000002"])
        self.wait_for_events(lambda events: len([e for e in events if e.kind == "start" and e.tag == "watcher"]) >= 3,
                             "listener runs", timeout=60, run=run)
        self.assertEqual(self.exit_orva(run, main), 0, run.describe())
        self.assert_no_launcher_for_a_while()

    def test_exit_without_listeners_ends_with_status_0_after_the_box(self):
        run, main = self.start_to_main_window([])
        self.assertEqual(run.launchers(), [])
        self.x.press(main, *EXIT)
        box = run.window(EXIT_TITLE)
        self.assertTrue(run.alive(), "the box must be answered first")
        self.x.press(box, *CONTINUE)
        self.assertEqual(run.wait_exit(), 0, run.describe())
        self.assertEqual(launchers_anywhere(), [])


class MenusTest(EndToEndCase):
    def test_about_box_changes_nothing(self):
        run, main = self.start_to_main_window([])
        for answer in (CONTINUE, ESCAPE):
            with self.subTest(answer=answer):
                self.x.press(main, *ABOUT)
                run.answer(ABOUT_TITLE, answer)
                self.assertTrue(run.alive(), run.describe())
                self.assertEqual(self.x.windows(run.pid), [main], "About opens nothing else")

    def test_manage_box_however_dismissed_opens_one_more_manager_window(self):
        run, main = self.start_to_main_window([])
        managers = []
        for answer in (CONTINUE, ESCAPE, WINDOW_CLOSE):
            with self.subTest(answer=answer):
                managers.append(self.open_manager(run, main, answer))
        self.assertEqual(len(set(managers)), 3)
        for manager in managers:
            # Earlier windows stay open beside the new one.
            self.assertTrue(self.x.is_viewable(manager))
            self.assertEqual(self.x.title(manager), MANAGER_TITLE)
            self.assertEqual(self.x.size(manager), MANAGER_SIZE)
        for wid in self.x.windows(run.pid):
            self.assertNotEqual(self.x.title(wid), LOADING_TITLE, "the loading box must be closed")
        self.assertTrue(self.x.is_viewable(main))
        self.assertEqual(self.exit_orva(run, main), 0, run.describe())

    def test_main_and_manager_windows_keep_their_fixed_size(self):
        run, main = self.start_to_main_window([])
        manager = self.open_manager(run, main)
        for window, size in ((main, (410, 65)), (manager, MANAGER_SIZE)):
            with self.subTest(window=self.x.title(window), size=size):
                self.assertEqual(self.x.normal_hints(window), {"minimum": size, "maximum": size})
                # A resize request goes through openbox, as a user's drag does.
                self.x.request_size(window, 640, 300)
                deadline = time.monotonic() + RESIZE_GRACE
                while time.monotonic() < deadline:
                    self.assertEqual(self.x.size(window), size)
                    time.sleep(xsession.POLL_INTERVAL)

    def test_ok_or_title_bar_close_closes_the_manager_window_and_orva_goes_on(self):
        run, main = self.start_to_main_window([])
        closed = []
        for close in ("确定", "title bar"):
            with self.subTest(close=close):
                manager = self.open_manager(run, main)
                if close == "确定":
                    self.click_button(manager, OK_BUTTON)
                else:
                    self.x.press(manager, *WINDOW_CLOSE)
                self.wait_gone(run, manager, "the manager window")
                self.assertTrue(run.alive(), run.describe())
                self.assertTrue(self.x.is_viewable(main))
                closed.append(manager)
        # Manage still opens a fresh window; the closed ones stay closed.
        fresh = self.open_manager(run, main)
        self.assertNotIn(fresh, closed)
        for manager in closed:
            self.assertFalse(self.x.is_viewable(manager))
        self.assertEqual(self.exit_orva(run, main), 0, run.describe())

    def test_manager_shows_the_start_lists_as_they_are_when_opened(self):
        # Launched listeners must not end and change anything meanwhile.
        self.ws.add_extension("00000002", "Watcher", control_id="00000003", body=RUNS_ON)
        self.ws.add_extension("00000003", "Recorder")
        run, main = self.start_to_main_window(["00000002"])
        first = self.open_manager(run, main)
        self.wait_view(run, first, LISTENER_VIEW, False, "Watcher listed")
        self.wait_view(run, first, CONTROLLER_VIEW, True, "nothing in Controller")
        self.click_button(first, OK_BUTTON)
        self.wait_gone(run, first, "the manager window after 确定")

        # A new window reads the lists afresh.
        self.ws.write("Start/Controller.etl", "00000003\n")
        self.ws.write("Start/Listener.etl", "")
        second = self.open_manager(run, main)
        self.wait_view(run, second, LISTENER_VIEW, True, "Listener emptied")
        self.wait_view(run, second, CONTROLLER_VIEW, False, "Recorder listed")


if __name__ == "__main__":
    unittest.main()
