"""The installed packsetup --quiet under faults, with no display: killed at
each kind of system call of a fresh install and of an upgrade, and a file
size limit hit while unpacking and while rewriting a start list. The
extension and every start list are then the old or the new ones, never a
mix; the next run cleans up, and installing again gives the new ones."""

import os
import resource
import shutil
import signal
import subprocess

import harness
from harness import TIMEOUT, Case, Run, setUpModule, tearDownModule  # noqa: F401

CALLS = ("read", "openat", "write", "mkdir", "rename", "renameat2", "fsync", "fdatasync", "unlink", "rmdir")
EXTENSION = "Extensions/00000042"
LISTS = ("Listener", "Controller", "Runner", "Structure", "MainControllerExtension")
REASON = "" if harness.WINE else "File too large"  # Wine has no Windows reason for a size limit


def tree(root):
    """Every folder and file below root, files with their mode and bytes; None when there is no root."""
    if not os.path.isdir(root):
        return None
    found = {}
    for folder, folders, files in os.walk(root):
        for name in folders + files:
            path = os.path.join(folder, name)
            with open(path, "rb") if name in files else open(os.devnull, "rb") as file:
                found[os.path.relpath(path, root)] = (os.stat(path).st_mode, file.read())
    return found


class FaultTest(Case):
    def setUp(self):
        super().setUp()
        self.add_extension("00000003", "Other", "00000003")
        self.write("Start/Runner.etl", "00000003")
        os.remove(self.path("Start/Structure.etl"))
        self.old = self.pack("old", 3, "Controller")
        self.new = self.pack("new", 12, "Controller", "Runner", "Structure")

    def pack(self, version, files, *roles, big=0):
        source = os.path.join(self.tmp, version)
        os.makedirs(os.path.join(source, "data"))
        shutil.copy(os.devnull, os.path.join(source, "Bulk.exe"))
        for number in range(files):
            with open(os.path.join(source, "data", str(number)), "w") as file:
                file.write(version * (number + 1) + "x" * big)
        run = Run(self, ["./etipack", "create", source, "--name", "Bulk", "--id", "00000042", "-o", source + ".etipack",
                         *sum((["--role", role] for role in roles), [])], DISPLAY=None)
        self.assertEqual(run.wait_exit(), 0, run.describe())
        return source + ".etipack"

    def packsetup(self, *args, tracer=(), file_size_limit=None):
        env = self.env(DISPLAY=None)
        if tracer:  # leak detection cannot work under a tracer
            env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":detect_leaks=0"

        def limit():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (file_size_limit, file_size_limit))
        done = subprocess.run([*tracer, *harness.command(["./Extensions/00000001/packsetup.exe", "--quiet", *args])],
                              cwd=self.app, env=env, capture_output=True, timeout=TIMEOUT,
                              preexec_fn=limit if file_size_limit else None)
        return done.returncode, (done.stdout + done.stderr).decode(errors="replace")

    def state(self):
        lists = {name: "Start/{}.etl".format(name) for name in LISTS}
        return tree(self.path(EXTENSION)), {name: self.read(path) if os.path.exists(self.path(path)) else None
                                            for name, path in lists.items()}

    def copy(self, source, target):
        for folder in ("Extensions", "Start"):
            shutil.rmtree(os.path.join(target, folder), ignore_errors=True)
            shutil.copytree(os.path.join(source, folder), os.path.join(target, folder), symlinks=True)

    def save(self, name):
        self.copy(self.app, os.path.join(self.tmp, name))
        return os.path.join(self.tmp, name), self.state()

    def test_killed_at_each_kind_of_call(self):
        fresh, before_fresh = self.save("fresh")
        self.assertEqual(self.packsetup(self.old)[0], 0)
        upgrade, before_upgrade = self.save("upgrade")
        self.assertEqual(self.packsetup(self.new)[0], 0)
        after_upgrade = self.state()
        self.copy(fresh, self.app)
        self.assertEqual(self.packsetup(self.new)[0], 0)
        after_fresh = self.state()
        self.assertEqual(after_upgrade, after_fresh, "an upgrade leaves what a fresh install of it leaves")
        if harness.WINE:
            self.skipTest("Wine makes most file calls in its server, out of reach of a tracer of packsetup")
        for saved, before, after in ((fresh, before_fresh, after_fresh), (upgrade, before_upgrade, after_upgrade)):
            self.copy(saved, self.app)
            trace = os.path.join(self.tmp, "trace")
            self.packsetup(self.new, tracer=["strace", "-f", "-qq", "-o", trace, "-e", "trace=" + ",".join(CALLS)])
            with open(trace) as lines:
                calls = [line.split()[1].split("(")[0] for line in lines if "(" in line]
            for call in CALLS:
                count = calls.count(call)
                for when in sorted({1, (count + 1) // 2, count}) if count else ():
                    with self.subTest(call=call, when=when, upgrade=saved == upgrade):
                        self.copy(saved, self.app)
                        self.packsetup(self.new, tracer=["strace", "-f", "-qq", "-o", os.devnull, "-e", "trace=" + call,
                                                         "-e", "inject={}:signal=KILL:when={}".format(call, when)])
                        self.check_old_or_new(before, after)

    def check_old_or_new(self, before, after):
        folder, lists = self.state()
        # An upgrade swaps the folders in one step: the extension is never missing.
        self.assertIn(folder, (before[0], after[0]), "the extension folder is missing or a mix")
        for name in LISTS:
            self.assertIn(lists[name], (before[1][name], after[1][name]), name)
        self.assertEqual(self.packsetup("--remove", "00000099")[0], 5)  # cleans up, then finds nothing to remove
        self.assertIn(self.state()[0], (before[0], after[0]))
        self.assertEqual(sorted(set(os.listdir(self.path("Extensions"))) - {".packsetup-changing"}),  # a note for ORVA
                         ["00000001", "00000003"] + (["00000042"] if self.state()[0] else []) + ["chainlaunch.exe"])
        self.assertEqual(self.packsetup(self.new)[0], 0)
        self.assertEqual(self.state(), after)

    def test_file_size_limit(self):
        self.assertEqual(self.packsetup(self.old)[0], 0)
        with self.subTest("unpacking"):
            before = self.state()
            status, message = self.packsetup(self.pack("big", 1, big=100000), file_size_limit=65536)
            self.assertEqual((status, self.state()), (6, before))
            self.assertIn(REASON, message)
        with self.subTest("rewriting a start list"):
            self.write("Start/Runner.etl", " " * 70000 + "00000003")
            before = self.state()
            status, message = self.packsetup(self.new, file_size_limit=65536)
            self.assertEqual((status, self.state()), (6, before))
            self.assertIn("Runner.etl\"：" + REASON, message)
