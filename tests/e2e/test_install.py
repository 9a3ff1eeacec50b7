"""Installing and removing extensions from the manager window with the real
ORVA: "添加" with the file dialog, a stand-in installer that records what it
is given, bad packs; then the real packsetup with packs of the samples built
by etipack, run at the next start and removed again with "删除"; "配置"."""

import os
import shutil
import subprocess
import unittest

import processes
import xsession
from orvacase import (ADD_BUTTON, CLOSE, CONFIGURE_BUTTON, CONTINUE, CONTROLLER_VIEW, DIALOG_WINDOW, ERROR_TITLE,
                      ESCAPE, FILE_DIALOG_TITLE, INSTALLER_TITLE, LISTENER_VIEW, MANAGER_TITLE, REMOVE_BUTTON,
                      REMOVE_TITLE, WINDOW_TIMEOUT, EndToEndCase, start_display, stop_display)
from workspace import CRASHES, RECORDS_ARGS, WAITS_FOR_RELEASE

INSTALLER = "packsetup.exe"
# The title of ORVA's notices from the manager window, and what Qt shows for
# a box given no title (the installing box): the program's name.
UNTITLED = "ORVA"
SELECT_FIRST = "请先在列表中选择一个扩展。"

# Unpacking the samples and writing the lists takes a moment; sanitizer
# builds are slow.
INSTALL_TIMEOUT = 60


def setUpModule():
    start_display()


def tearDownModule():
    stop_display()


class ManagerCase(EndToEndCase):
    def setUp(self):
        super().setUp()
        self.packs = os.path.join(self.tmp, "my packs")
        os.mkdir(self.packs)

    def write_pack(self, name, data):
        path = os.path.join(self.packs, name)
        with open(path, "wb") as file:
            file.write(data)
        return path

    def choose_pack(self, run, manager, path):
        """"添加", then the path typed into the file dialog and accepted.
        Returns the dialog's window id."""
        self.click_button(manager, ADD_BUTTON)
        dialog = run.window(FILE_DIALOG_TITLE)
        # The dialog starts with the focus in its file name field.
        self.x.type_text(dialog, path)
        self.x.press(dialog, "Return")
        return dialog

    def stand_in_installer(self, body=RECORDS_ARGS):
        os.makedirs(os.path.dirname(self.ws.installer), exist_ok=True)
        self.ws.add_program("Extensions/00000001/packsetup.exe", "installer", body)

    def dismiss_installer(self, pid, title, timeout=INSTALL_TIMEOUT):
        """Answers packsetup's result box until packsetup has ended. Its
        progress dialog bears the same title and ignores Return, so every
        window with the title is answered."""
        def ended():
            if not processes.is_running(pid):
                return True
            for wid in self.x.windows(pid):
                if self.x.title(wid) == title:
                    try:
                        self.x.press(wid, "Return")
                    except xsession.XError:
                        pass  # closed meanwhile
            return False
        xsession.wait_until(ended, timeout, "packsetup did not end after its box {!r} was answered".format(title))

    def assert_still_open(self, run, main, manager):
        self.assertTrue(run.alive(), run.describe())
        self.assertTrue(self.x.is_viewable(main), "the main window must stay")
        self.assertTrue(self.x.is_viewable(manager), "the manager window must stay")


class StandInInstallerTest(ManagerCase):
    def test_add_runs_the_installer_with_the_pack_then_closes_the_manager(self):
        self.stand_in_installer(RECORDS_ARGS + "\n" + WAITS_FOR_RELEASE)
        pack = self.write_pack("demo.etipack", b'{"name": "Demo"}~any body')
        run, main = self.start_to_main_window([])
        manager = self.open_manager(run, main)
        before = set(self.x.windows(run.pid))
        dialog = self.choose_pack(run, manager, pack)

        self.wait_for_events(lambda events: self.ws.arguments("installer"), "the installer", run=run)
        self.assertEqual(self.ws.arguments("installer"), [[pack]])
        self.assertEqual(self.ws.starts("installer")[0].cwd, self.ws.root, "the installer runs in ORVA's folder")
        # While the installer runs: the manager waits, the installing box is up.
        box = run.new_window(UNTITLED, before | {dialog}, window_type=DIALOG_WINDOW)
        self.assertTrue(self.x.is_viewable(manager))

        self.ws.write("release", "")
        self.wait_gone(run, manager, "the manager window after the installation")
        self.wait_gone(run, box, "the installing box")
        self.assertTrue(run.alive(), run.describe())
        self.assertEqual(self.x.windows(run.pid), [main])
        self.assertInOrder(['选择的文件路径： "{}"'.format(pack), "安装程序启动成功", "安装程序已运行结束"],
                           run.debug_lines())
        self.assertEqual(len(self.ws.starts("installer")), 1)

    def test_installer_that_fails_or_crashes_still_closes_the_manager(self):
        pack = self.write_pack("demo.etipack", b'{"name": "Demo"}')
        run, main = self.start_to_main_window([])
        for ending in ("exit 7", CRASHES):
            with self.subTest(ending=ending):
                self.stand_in_installer(RECORDS_ARGS + "\n" + ending)
                open(self.ws.log, "wb").close()
                manager = self.open_manager(run, main)
                self.choose_pack(run, manager, pack)
                self.wait_gone(run, manager, "the manager window after the installer ended")
                self.assertEqual(self.ws.arguments("installer"), [[pack]])
                self.assertTrue(run.alive(), run.describe())
        self.assertEqual(self.exit_orva(run, main), 0, run.describe())

    def test_bad_packs_are_reported_and_nothing_is_installed(self):
        self.stand_in_installer()
        packs = {
            "malformed.etipack": b'{"name": Demo}~body',
            "no-name.etipack": b'{"id": "00000002"}~body',
            "not-an-object.etipack": b'["Demo"]',
            "empty-header.etipack": b'~{"name": "Demo"}',
        }
        run, main = self.start_to_main_window([])
        manager = self.open_manager(run, main)
        for name, data in sorted(packs.items()):
            with self.subTest(pack=name):
                self.choose_pack(run, manager, self.write_pack(name, data))
                run.answer(ERROR_TITLE, CONTINUE)
                self.assert_still_open(run, main, manager)
        self.assertEqual(self.ws.events(), [], "no installer may run for a bad pack")
        # The manager still works: a good pack installs after all that.
        self.choose_pack(run, manager, self.write_pack("good.etipack", b'{"name": "Good"}~'))
        self.wait_gone(run, manager, "the manager window after the installation")

    def test_cancelled_dialog_starts_nothing(self):
        self.stand_in_installer()
        run, main = self.start_to_main_window([])
        manager = self.open_manager(run, main)
        for answer in (ESCAPE, ("alt+F4",)):
            with self.subTest(answer=answer):
                self.click_button(manager, ADD_BUTTON)
                run.answer(FILE_DIALOG_TITLE, answer)
                self.assert_still_open(run, main, manager)
        self.assertEqual(self.ws.events(), [])
        self.assertEqual(sorted(self.x.windows(run.pid)), sorted([main, manager]))

    def test_missing_installer_is_reported_and_the_manager_stays(self):
        pack = self.write_pack("demo.etipack", b'{"name": "Demo"}~')
        run, main = self.start_to_main_window([])
        manager = self.open_manager(run, main)
        self.choose_pack(run, manager, pack)
        run.answer(ERROR_TITLE, CONTINUE)
        self.assert_still_open(run, main, manager)
        # The installing box went before the error box came.
        self.assertEqual(sorted(self.x.windows(run.pid)), sorted([main, manager]))
        self.assertNotIn("安装程序启动成功", run.debug_lines())


class ManagerButtonsTest(ManagerCase):
    def setUp(self):
        super().setUp()
        self.stand_in_installer()
        # Listed as a controller only, so that nothing is launched.
        self.ws.add_extension("00000003", "Recorder")
        self.ws.write_start_lists([], Controller=["00000003"])

    def fake_file_manager(self):
        """PATH with an xdg-open that records what it is asked to open."""
        bin_dir = os.path.join(self.tmp, "bin")
        os.mkdir(bin_dir)
        self.opened_log = os.path.join(self.tmp, "opened.log")
        script = os.path.join(bin_dir, "xdg-open")
        with open(script, "w") as file:
            file.write("#!/bin/sh\nfor arg; do printf '%s\\n' \"$arg\"; done >> '{}'\n".format(self.opened_log))
        os.chmod(script, 0o755)
        return dict(PATH=bin_dir + ":/usr/bin:/bin")

    def open(self, **env):
        run = self.start_orva(**env)
        self.enter_program(run)
        main = self.wait_main_window(run)
        return run, main, self.open_manager(run, main)

    def test_configure_and_remove_without_a_selection_only_say_so(self):
        run, main, manager = self.open(**self.fake_file_manager())
        for button in (CONFIGURE_BUTTON, REMOVE_BUTTON):
            with self.subTest(button=button):
                known = set(self.x.windows(run.pid))
                self.click_button(manager, button)
                box = run.new_window(UNTITLED, known, window_type=DIALOG_WINDOW)
                self.x.press(box, *CONTINUE)
                self.wait_gone(run, box, "the notice")
                self.assert_still_open(run, main, manager)
        self.assertEqual(sorted(self.x.windows(run.pid)), sorted([main, manager]))
        self.assertEqual(self.ws.events(), [], "nothing may be run")
        self.assertFalse(os.path.exists(self.opened_log), "no folder may be opened")
        self.assertEqual(processes.children(run.pid), [])

    def test_configure_opens_the_selected_extensions_folder(self):
        run, main, manager = self.open(**self.fake_file_manager())
        self.click_first_row(manager, CONTROLLER_VIEW)
        self.click_button(manager, CONFIGURE_BUTTON)
        xsession.wait_until(lambda: os.path.exists(self.opened_log) and os.path.getsize(self.opened_log), 15,
                            "no folder was opened")
        with open(self.opened_log) as log:
            opened = log.read().splitlines()
        self.assertEqual(opened, ["file://" + self.ws.path("Extensions", "00000003")])
        self.assert_still_open(run, main, manager)

    def test_remove_asks_first_and_runs_the_installer_only_on_continue(self):
        run, main, manager = self.open()
        self.click_first_row(manager, CONTROLLER_VIEW)
        self.click_button(manager, REMOVE_BUTTON)
        run.answer(REMOVE_TITLE, CLOSE)
        self.assert_still_open(run, main, manager)
        self.assertEqual(self.ws.events(), [], "关闭 must remove nothing")

        self.click_button(manager, REMOVE_BUTTON)
        run.answer(REMOVE_TITLE, CONTINUE)
        self.wait_for_events(lambda events: self.ws.arguments("installer"), "the installer", run=run)
        self.assertEqual(self.ws.arguments("installer"), [["--remove", "00000003"]])
        # The stand-in removed nothing, so the window lists the same again.
        self.wait_view(run, manager, CONTROLLER_VIEW, False, "Recorder still listed")
        self.assert_still_open(run, main, manager)


class SamplePacksTest(ManagerCase):
    """The whole road of an extension, with the real installer and the
    sample programs: pack, install, run at the next start, remove."""

    WATCHER_PROGRAMS = ("./Extensions/00000002/InboxWatcher.exe", "./Extensions/00000003/InboxLogger.exe")

    def setUp(self):
        super().setUp()
        app_dir = os.environ.get("ORVA_APP_DIR")
        build_dir = os.environ.get("ORVA_BUILD_DIR") or ""
        self.etipack = os.path.join(app_dir, "etipack")
        self.samples = os.path.join(build_dir, "samples")
        for needed in (self.etipack, os.path.join(app_dir, "Extensions", "00000001", INSTALLER),
                       os.path.join(self.samples, "InboxWatcher.exe"), os.path.join(self.samples, "InboxLogger.exe")):
            if not os.path.isfile(needed):
                self.skipTest("needs the samples, etipack and packsetup built: no " + needed)
        self.ws.add_installer(app_dir)

    def build_pack(self, program, ext_id, *options):
        """A pack of one sample program, made with etipack."""
        folder = os.path.join(self.tmp, "contents", program)
        os.makedirs(folder)
        shutil.copy2(os.path.join(self.samples, program + ".exe"), folder)
        pack = os.path.join(self.packs, program + ".etipack")
        result = subprocess.run([self.etipack, "create", folder, "--name", program, "--id", ext_id] + list(options)
                                + ["-o", pack], stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
        return pack

    def install(self, run, main, pack):
        """Manage, "添加", the pack, packsetup's own windows answered; the
        manager window goes when packsetup has ended."""
        manager = self.open_manager(run, main)
        self.choose_pack(run, manager, pack)
        pid, args = run.wait_child(INSTALLER)
        self.assertEqual(args, (pack,))
        self.dismiss_installer(pid, INSTALLER_TITLE)
        self.wait_gone(run, manager, "the manager window after the installation")

    def start_again(self, listed):
        run = self.start_orva()
        self.enter_program(run)
        return run, self.wait_main_window(run, listed=listed)

    def read_list(self, name):
        return self.ws.read("Start/{}.etl".format(name)).split()

    def test_install_run_at_the_next_start_and_remove(self):
        logger = self.build_pack("InboxLogger", "00000003", "--role", "Controller")
        watcher = self.build_pack("InboxWatcher", "00000002", "--role", "Listener", "--control", "00000003")

        run, main = self.start_to_main_window([])
        # A listener's pack needs its control extension in place first.
        self.install(run, main, logger)
        self.install(run, main, watcher)
        self.assertEqual(self.ws.read("Extensions/00000002/ExtensionName.etn"), b"InboxWatcher")
        self.assertEqual(self.ws.read("Extensions/00000002/InboxWatcher.control"), b"00000003")
        self.assertEqual(self.ws.read("Extensions/00000003/ExtensionName.etn"), b"InboxLogger")
        self.assertEqual(self.read_list("Listener"), [b"00000002"])
        self.assertEqual(self.read_list("Controller"), [b"00000003"])
        self.assertEqual(run.launchers(), [], "installed listeners start only with the next start")
        self.assertEqual(self.exit_orva(run, main), 0, run.describe())

        # The next start launches the new listener with its control program.
        run, main = self.start_again(listed=1)
        launcher, args = run.wait_child("chainlaunch.exe")
        self.assertEqual(args, self.WATCHER_PROGRAMS)
        inbox = self.ws.path("Inbox")
        os.makedirs(inbox, exist_ok=True)
        # Dropped as the samples expect: written under a hidden name, then renamed.
        with open(os.path.join(inbox, ".hello.txt"), "w") as file:
            file.write("hello\n")
        os.rename(os.path.join(inbox, ".hello.txt"), os.path.join(inbox, "hello.txt"))
        log = self.ws.path("Inbox.log")
        xsession.wait_until(lambda: os.path.exists(log) and os.path.getsize(log), 30,
                            lambda: "InboxLogger wrote nothing. " + run.describe())
        with open(log) as file:
            self.assertEqual([line.split("\t")[1:] for line in file.read().splitlines()], [["hello.txt", "6"]])
        self.assertTrue(os.path.isfile(self.ws.path("Processed", "hello.txt")))

        # "删除" on the listener: asked, removed by packsetup, listed afresh.
        manager = self.open_manager(run, main)
        self.wait_view(run, manager, LISTENER_VIEW, False, "InboxWatcher listed")
        self.click_first_row(manager, LISTENER_VIEW)
        self.click_button(manager, REMOVE_BUTTON)
        run.answer(REMOVE_TITLE, CONTINUE)
        pid, args = run.wait_child(INSTALLER)
        self.assertEqual(args, ("--remove", "00000002"))
        self.dismiss_installer(pid, REMOVE_TITLE)
        self.wait_view(run, manager, LISTENER_VIEW, True, "InboxWatcher gone from the list", timeout=WINDOW_TIMEOUT)
        self.wait_view(run, manager, CONTROLLER_VIEW, False, "InboxLogger still listed")
        self.assertTrue(self.x.is_viewable(manager), "the manager window stays after removing")
        self.assertEqual(self.x.title(manager), MANAGER_TITLE)
        self.assertFalse(os.path.exists(self.ws.path("Extensions", "00000002")))
        self.assertEqual(self.read_list("Listener"), [])
        self.assertEqual(self.read_list("Controller"), [b"00000003"])
        self.assertTrue(os.path.isfile(self.ws.path("Extensions", "00000003", "InboxLogger.exe")))
        self.assertEqual(self.exit_orva(run, main), 0, run.describe())
        self.assertFalse(processes.is_running(launcher))


if __name__ == "__main__":
    unittest.main()
