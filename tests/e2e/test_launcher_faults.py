"""Faults from outside while listener pairs run: launchers killed over and
over, listeners that crash or are killed. ORVA must restart every launcher,
never run two for one listed extension, and the pairs must go on cycling."""

import os
import random
import signal
import time
import unittest

import procsample
import xsession
from orvacase import EndToEndCase, start_display, stop_display
from workspace import ENDS_SOON, RUNS_ON

CONTROL = "./Extensions/00000003/Recorder.exe"


def setUpModule():
    start_display()


def tearDownModule():
    stop_display()


class LauncherFaultsTest(EndToEndCase):

    def test_launchers_killed_again_and_again_are_each_started_again(self):
        # Listeners that run on keep their launcher waiting; those that end
        # soon let the kills land at every stage of a launcher's run.
        listed = {"00000002": RUNS_ON, "00000004": RUNS_ON, "00000005": ENDS_SOON, "00000006": ENDS_SOON}
        for ext_id, body in listed.items():
            self.ws.add_extension(ext_id, "L" + ext_id, control_id="00000003", body=body)
        self.ws.add_extension("00000003", "Recorder", tag="control")
        run, _ = self.start_to_main_window(list(listed))
        expected = {("./Extensions/{0}/L{0}.exe".format(ext_id), CONTROL) for ext_id in listed}
        chance = random.Random(7)
        kills = 0

        def census():
            return procsample.census(self.x.pids(), lambda *a: procsample.launcher_of(run.pid, *a))

        with procsample.Sampler(census, keep={run.pid}, interval=0.02) as sampler:
            self.wait_for_launchers(run, len(listed))
            for _ in range(6):
                for args in sorted(expected):
                    time.sleep(chance.uniform(0, 1.5))
                    pid = dict((a, p) for p, a in run.launchers()).get(args)
                    try:
                        os.kill(pid, signal.SIGKILL)
                    except (TypeError, ProcessLookupError):  # pid None or gone
                        continue  # between two runs of a cycling pair
                    kills += 1
                    xsession.wait_until(
                        lambda: any(a == args and p != pid for p, a in run.launchers()), 30,
                        lambda: "launcher {} not started again after kill {}: {}".format(args, kills, run.describe()))
            self.assertTrue(run.alive(), run.describe())
            launchers = self.wait_for_launchers(run, len(listed))
            # The latest launchers start their listeners as usual.
            self.wait_for_events(lambda events: {pid for pid, _ in launchers} <= {
                e.ppid for e in events if e.kind == "start"}, "a listener from every new launcher", run=run)
        print("\n{} launchers killed, {} samples of the process table".format(kills, sampler.samples))
        self.assertGreaterEqual(kills, 20)
        self.assertEqual(set(sampler.most), expected)
        self.assertEqual(max(sampler.most.values()), 1, "two launchers for one extension: {}".format(sampler.most))
        self.assertGreater(sampler.samples, 100)
        self.assertEqual({args for _, args in launchers}, expected)

    def test_crashed_or_killed_listener_is_followed_by_its_control_then_runs_again(self):
        # One pair per fault; each has its own control so that the cycles can be told apart.
        faults = {
            "00000011": "ulimit -c 0; kill -ABRT $$",
            "00000012": "ulimit -c 0; kill -SEGV $$",
            "00000013": "kill -KILL $$",
            "00000014": "exit 3",
            "00000015": RUNS_ON,  # killed by the test
        }
        for ext_id, body in faults.items():
            control_id = "000000" + str(int(ext_id) + 10)
            self.ws.add_extension(ext_id, "L" + ext_id, control_id=control_id, body=body, tag="L" + ext_id)
            self.ws.add_extension(control_id, "C" + ext_id, body=ENDS_SOON, tag="C" + ext_id)
        run, _ = self.start_to_main_window(list(faults))

        outside = {signal.SIGKILL: 0, signal.SIGTERM: 0}
        for number in range(4):
            # The listener killed from outside, alternately by SIGKILL and SIGTERM.
            starts = self.wait_for_events(lambda events: len(
                [e for e in events if e.kind == "start" and e.tag == "L00000015"]) > number,
                "listener run {}".format(number + 1), run=run)
            victim = [e for e in starts if e.kind == "start" and e.tag == "L00000015"][number].pid
            sig = (signal.SIGKILL, signal.SIGTERM)[number % 2]
            os.kill(victim, sig)
            outside[sig] += 1

        def cycles(events, ext_id):
            return [e.tag[0] for e in events if e.kind == "start" and e.tag[1:] == ext_id]

        events = self.wait_for_events(lambda events: all(len(cycles(events, ext_id)) >= 9 for ext_id in faults),
                                      "four cycles of every pair", timeout=120, run=run)
        for ext_id in faults:
            with self.subTest(listener=ext_id):
                # Every listener run, however it ended, is followed by its
                # control program and then by the next listener run.
                self.assertEqual(cycles(events, ext_id)[:9], list("LCLCLCLCL"))
                listener_runs = [e for e in events if e.kind == "start" and e.tag == "L" + ext_id]
                self.assertEqual(len({e.ppid for e in listener_runs}), len(listener_runs))
                self.assertEqual([e for e in events if e.kind == "end" and e.tag == "L" + ext_id], [],
                                 "no listener run ends normally")
        print("\nfailed listener runs per pair: {}".format(
            {ext_id: len([e for e in events if e.kind == "start" and e.tag == "L" + ext_id]) for ext_id in faults}))
        self.assertEqual(outside, {signal.SIGKILL: 2, signal.SIGTERM: 2})
        self.assertTrue(run.alive(), run.describe())
        self.assertEqual(len(self.wait_for_launchers(run, len(faults))), len(faults))


if __name__ == "__main__":
    unittest.main()
