"""The Debian package (ORVA_DEB_DIR, made by CTest's fixture) as a user gets
it, without installing it: lintian and desktop-file-validate accept it; the
pack type and its default application resolve to the package's files; and,
unpacked into a temporary root, its orva command makes the user's app folder
and runs ORVA there, then the pack entry's command line installs a sample
pack into that folder from elsewhere, after packsetup's question."""

import configparser
import glob
import os
import shlex
import shutil
import subprocess
import tempfile
import unittest

import harness
from harness import MAIN, NOTICE, Run, setUpModule, tearDownModule  # noqa: F401

LISTS = ("Listener", "Controller", "Runner", "Structure", "MainControllerExtension")


class DebTest(unittest.TestCase):
    def setUp(self):
        debs = glob.glob(os.path.join(os.environ["ORVA_DEB_DIR"], "orva_*.deb"))
        self.assertEqual(len(debs), 1, debs)
        self.deb = debs[0]
        self.tmp = os.path.realpath(tempfile.mkdtemp(prefix="orva-deb-"))
        self.addCleanup(shutil.rmtree, self.tmp, True)
        self.addCleanup(harness.end_processes)
        self.root, self.home = os.path.join(self.tmp, "root"), os.path.join(self.tmp, "home")
        self.share, self.user = os.path.join(self.root, "usr/share"), os.path.join(self.home, ".local/share/ORVA")
        self.app = os.path.join(self.tmp, "elsewhere")  # where Run starts programs
        os.makedirs(self.app)
        os.makedirs(self.home)
        subprocess.run(["dpkg-deb", "-x", self.deb, self.root], check=True)
        self.pack = os.path.join(self.share, "orva/Packs/InboxLogger.etipack")

    def env(self, **changes):
        return harness.display.env(**{"QT_QPA_PLATFORM": "xcb", "HOME": self.home, "XDG_DATA_HOME": None,
                                      "XDG_CONFIG_HOME": None, "XDG_CACHE_HOME": None, "XDG_RUNTIME_DIR": self.tmp,
                                      "PATH": os.path.join(self.root, "usr/bin") + ":" + os.environ["PATH"], **changes})

    def check(self, *args, **env):
        result = subprocess.run(args, env=self.env(**env), capture_output=True, text=True, timeout=harness.TIMEOUT)
        self.assertEqual(result.returncode, 0, "{}:\n{}{}".format(args, result.stdout, result.stderr))
        return result.stdout.strip()

    def desktop_entry(self, name):
        entry = configparser.ConfigParser(interpolation=None)
        entry.optionxform = str
        entry.read(os.path.join(self.share, "applications", name), encoding="utf-8")
        return entry["Desktop Entry"]

    def test_package_checks_and_association(self):
        self.check("lintian", "--fail-on", "error,warning", self.deb)
        self.check("desktop-file-validate", *glob.glob(os.path.join(self.share, "applications/*.desktop")))
        self.assertEqual(self.desktop_entry("orva.desktop")["Icon"], "orva")
        self.check("update-mime-database", os.path.join(self.share, "mime"))
        self.check("update-desktop-database", os.path.join(self.share, "applications"))
        desktop = dict(XDG_DATA_HOME=os.path.join(self.tmp, "data"), XDG_DATA_DIRS=self.share,
                       XDG_CURRENT_DESKTOP="GNOME", GIO_USE_VFS="local")  # GNOME: xdg-mime reads the types through gio
        self.assertEqual(self.check("xdg-mime", "query", "filetype", self.pack, **desktop), "application/x-etipack")
        self.assertEqual(self.check("xdg-mime", "query", "default", "application/x-etipack", **desktop),
                         "orva-install.desktop")

    def test_orva_command(self):
        with self.subTest("first start: the user's app folder, ORVA running in it"):
            run = Run(self, ["orva"])
            first = run.answer(NOTICE, ("Return",))
            run.answer(NOTICE, ("Escape",), exclude={first})
            run.window(MAIN)
            self.assertEqual(os.readlink("/proc/{}/cwd".format(run.pid)), self.user)
            for role in LISTS:
                self.assertEqual(os.path.getsize(os.path.join(self.user, "Start", role + ".etl")), 0)
            self.assertEqual(self.read("Extensions/00000001/ExtensionName.etn"), "packsetup")
            self.assertEqual(sorted(os.listdir(os.path.join(self.user, "Packs"))),
                             ["InboxLogger.etipack", "InboxWatcher.etipack"])
            harness.end_processes()

        with self.subTest("options: --logs names the folder, --help whatever follows, the rest refused"):
            for args, code, out in ((["--logs"], 0, os.path.join(self.user, "Logs")),
                                    (["--help", "x", "y"], 0, "usage: orva [--install PACK | --logs]"),
                                    (["--logs", "x"], 2, "")):
                result = subprocess.run(["orva", *args], env=self.env(), capture_output=True, text=True,
                                        timeout=harness.TIMEOUT)
                self.assertEqual((result.returncode, result.stdout.strip()), (code, out), args)

        with self.subTest("the pack entry's command, from elsewhere: a dangling link repaired, 安装, installed"):
            launcher = os.path.join(self.user, "Extensions/chainlaunch.exe")
            os.remove(launcher)
            os.symlink("/nonexistent/chainlaunch.exe", launcher)
            with open(os.path.join(self.user, "Start/Runner.etl"), "w") as runner:
                runner.write("00000009\n")
            exec_line = shlex.split(self.desktop_entry("orva-install.desktop")["Exec"])
            run = Run(self, [self.pack if arg == "%f" else arg for arg in exec_line])
            harness.answer_installer("安装扩展-ORVA")
            self.assertEqual(run.wait_exit(), 0, run.describe())
            self.assertEqual(self.read("Extensions/00000003/ExtensionName.etn"), "InboxLogger")
            self.assertEqual(self.read("Start/Controller.etl").split(), ["00000003"])
            self.assertEqual(self.read("Start/Runner.etl"), "00000009\n")
            self.assertEqual(os.readlink(launcher), os.path.join(self.root, "usr/lib/orva/Extensions/chainlaunch.exe"))
            self.assertEqual(os.listdir(self.app), [])

    def read(self, relative):
        with open(os.path.join(self.user, relative), encoding="utf-8") as file:
            return file.read()


if __name__ == "__main__":
    unittest.main()
