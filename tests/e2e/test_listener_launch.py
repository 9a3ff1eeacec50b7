"""ORVA's start-up launcher with the real chainlaunch: listener pairs that run
over and over, launchers restarted whenever they end, and the debug log."""

import os
import signal
import unittest

import xsession
from orvacase import EndToEndCase, start_display, stop_display
from workspace import ENDS_SOON, RUNS_ON

STARTED = "程序已经启动"
WATCHER = ("./Extensions/00000002/Watcher.exe", "./Extensions/00000003/Recorder.exe")
SENTRY = ("./Extensions/00000004/Sentry.exe", "./Extensions/00000003/Recorder.exe")


def setUpModule():
    start_display()


def tearDownModule():
    stop_display()


class ListenerLaunchTest(EndToEndCase):
    def start_to_main_window(self, listed):
        self.ws.write_start_lists(listed)
        run = self.start_orva()
        self.enter_program(run)
        self.wait_main_window(run, listed=len(listed))
        return run

    def wait_for_launchers(self, run, count):
        return xsession.wait_until(lambda: (lambda found: found if len(found) == count else None)(run.launchers()),
                                   30, lambda: "expected {} launchers, have {}. {}".format(
                                       count, run.launchers(), run.describe()))

    def test_pair_runs_listener_then_control_then_listener_again(self):
        self.ws.add_extension("00000002", "Watcher", control_id="00000003", body=ENDS_SOON, tag="listener")
        self.ws.add_extension("00000003", "Recorder", body=ENDS_SOON, tag="control")
        run = self.start_to_main_window(["00000002"])
        # The main window comes only after the extension was handled.
        self.assertInOrder(["00000002", "Watcher", STARTED], run.debug_lines())

        most_launchers = []

        def four_listener_runs(events):
            most_launchers.append(len(run.launchers()))
            return len([e for e in events if e.kind == "start" and e.tag == "listener"]) >= 4

        events = self.wait_for_events(four_listener_runs, "four listener runs", timeout=60, run=run)
        self.assertLessEqual(max(most_launchers), 1, "one launcher per listed extension")

        # Up to the fourth listener start: three full cycles, each listener
        # run started only after the previous one and its control program.
        steps = []
        for event in events:
            if event.kind == "start" or (event.kind == "end" and event.tag == "listener"):
                steps.append((event.kind, event.tag))
            if steps.count(("start", "listener")) == 4:
                break
        cycle = [("start", "listener"), ("end", "listener"), ("start", "control")]
        self.assertEqual(steps, cycle * 3 + [("start", "listener")], "\n".join(map(str, events)))

        listener_runs = [e for e in events if e.kind == "start" and e.tag == "listener"]
        self.assertEqual(len({e.ppid for e in listener_runs}), len(listener_runs),
                         "each listener run comes from a new launcher run")
        for event in self.ws.starts():
            self.assertEqual(event.cwd, self.ws.root, event)
            self.assertEqual(event.nargs, 0, event)
        launchers = self.wait_for_launchers(run, 1)
        self.assertEqual(launchers[0][1], WATCHER)

    def test_identifier_listed_twice_gets_two_launchers(self):
        self.ws.add_extension("00000002", "Watcher", control_id="00000003", body=RUNS_ON)
        self.ws.add_extension("00000003", "Recorder")
        run = self.start_to_main_window(["00000002", "00000002"])
        launchers = self.wait_for_launchers(run, 2)
        self.assertEqual([args for _, args in launchers], [WATCHER, WATCHER])
        events = self.wait_for_events(lambda events: len(events) >= 2, "two listener runs")
        self.assertEqual(sorted(e.ppid for e in events), sorted(pid for pid, _ in launchers))
        self.assertEqual(run.debug_lines().count(STARTED), 2, run.describe())
        self.assertEqual(run.debug_lines().count("00000002"), 2, run.describe())

    def test_launcher_killed_from_outside_is_started_again(self):
        self.ws.add_extension("00000002", "Watcher", control_id="00000003", body=RUNS_ON)
        self.ws.add_extension("00000004", "Sentry", control_id="00000003", body=RUNS_ON)
        self.ws.add_extension("00000003", "Recorder")
        run = self.start_to_main_window(["00000002", "00000004"])
        before = dict((args, pid) for pid, args in self.wait_for_launchers(run, 2))
        self.assertEqual(set(before), {WATCHER, SENTRY})

        os.kill(before[WATCHER], signal.SIGKILL)

        def replaced():
            now = {args: pid for pid, args in run.launchers()}
            return now if now.get(WATCHER) not in (None, before[WATCHER]) else None

        after = xsession.wait_until(replaced, 30, lambda: "no new launcher: {}".format(run.describe()))
        self.assertEqual(after[SENTRY], before[SENTRY], "the other launcher must be left alone")
        # The new run starts the listener again; the killed run's listener
        # never ended, so its control program is not started.
        self.wait_for_events(lambda events: any(e.ppid == after[WATCHER] for e in events if e.kind == "start"),
                             "the listener started by the new launcher", run=run)
        self.assertEqual(sorted(args for _, args in run.launchers()), sorted([WATCHER, SENTRY]),
                         "still exactly one launcher per listed extension")
        self.assertEqual(self.ws.starts("00000003"), [])

    def test_extension_names_in_chinese(self):
        self.ws.add_extension("00000005", "监听器", control_id="00000006", body=ENDS_SOON, tag="listener")
        self.ws.add_extension("00000006", "记录器", body=RUNS_ON, tag="control")
        run = self.start_to_main_window(["00000005"])
        self.assertInOrder(["00000005", "监听器", STARTED], run.debug_lines())
        self.wait_for_events(lambda events: self.ws.starts("control"), "the control program", run=run)
        self.assertEqual([(e.kind, e.tag) for e in self.ws.events()][:3],
                         [("start", "listener"), ("end", "listener"), ("start", "control")])
        launchers = self.wait_for_launchers(run, 1)
        self.assertEqual(launchers[0][1], ("./Extensions/00000005/监听器.exe", "./Extensions/00000006/记录器.exe"))

    def test_launcher_that_ends_at_once_is_restarted_after_a_pause(self):
        # A launcher that cannot run (no display, missing libraries) ends at
        # once; ORVA must keep restarting it without spinning.
        self.ws.add_extension("00000002", "Watcher", control_id="00000003")
        self.ws.add_extension("00000003", "Recorder")
        os.remove(self.ws.chainlaunch)
        self.ws.add_program("Extensions/chainlaunch.exe", "launcher", "exit 1")
        run = self.start_to_main_window(["00000002"])
        starts = self.wait_for_events(lambda events: len(events) >= 10, "five launcher runs", run=run)
        starts = [e for e in starts if e.kind == "start"]
        for event in starts:
            self.assertEqual(event.ppid, run.pid)
            self.assertEqual(event.nargs, 2)
        gaps = [later.time - earlier.time for earlier, later in zip(starts, starts[1:])]
        self.assertGreaterEqual(min(gaps), 0.9, "restarts must be a second apart: {}".format(gaps))
        self.assertTrue(run.alive(), run.describe())


if __name__ == "__main__":
    unittest.main()
