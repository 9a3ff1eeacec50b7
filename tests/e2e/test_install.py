"""From an author's folder to a running listener and back: etipack makes a
key and the signed pack, 添加 in the manager installs it through the real
file dialog and packsetup's question (取消 first, then 安装) and window, the
next start of ORVA runs it, 添加 updates it while it runs, 删除 removes it
while it runs. packsetup by hand while ORVA runs and after Exit. The
sample packs installed and at work, and packsetup's command line."""

import os
import shutil
import time

import harness
from harness import MAIN, Case, Run, setUpModule, tearDownModule  # noqa: F401

ADD, REMOVE, FIRST_LISTENER = (322, 272), (322, 332), (40, 40)
PACKS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "packs", "")


class InstallTest(Case):
    def add_pack(self, run, main, pack, key):
        """添加 in the manager, the pack typed into the file dialog, packsetup's question answered by `key`."""
        manager = self.open_manager(run, main)
        harness.display.click(manager, *ADD)
        dialog = run.window("选择扩展安装包")
        harness.display.type(dialog, harness.native(self.path(pack)))
        harness.display.keys(dialog, "Return")
        harness.answer_installer("安装扩展-ORVA", key)
        harness.wait_until(lambda: not harness.display.viewable(manager), "the manager to close")

    def etipack(self, *args):
        run = Run(self, ["./etipack", *args], DISPLAY=None)
        self.assertEqual(run.wait_exit(), 0, run.describe())

    def packsetup(self, *args):
        run = Run(self, ["./Extensions/00000001/packsetup.exe", "--quiet", *args], DISPLAY=None)
        return run.wait_exit(), run.output()

    def pack(self, name, ident, does, *options):
        """A pack of the stand-in as extension `name`, doing `does`."""
        source = os.path.join(self.tmp, "src-" + name)
        os.makedirs(source, exist_ok=True)
        shutil.copy(harness.STANDIN, os.path.join(source, name + ".exe"))
        with open(os.path.join(source, name + ".exe.does"), "w", encoding="utf-8") as file:
            file.write(does)
        self.etipack("create", source, "--name", name, "--id", ident, *options, "-o", self.path(name + ".etipack"))
        return name + ".etipack"

    def test_journey(self):
        self.add_extension("00000003", "Logger", "00000003")
        self.etipack("keygen", "author.key")
        if not harness.WINE:
            self.assertEqual(os.stat(self.path("author.key")).st_mode & 0o777, 0o600)
        listener = ("--role", "Listener", "--control", "00000003", "--sign", "author.key")
        pack = self.pack("Watcher", "00000010", "sleep 600", *listener)

        run = self.start_orva()
        main = run.window(MAIN)
        self.add_pack(run, main, pack, "Escape")  # 取消: nothing changes
        self.assertFalse(os.path.exists(self.path("Extensions/00000010")))
        self.assertEqual(self.read("Start/Listener.etl"), "")
        self.add_pack(run, main, pack, "Return")  # 安装
        self.assertEqual(self.read("Start/Listener.etl"), "00000010\n")
        self.assertEqual(run.debug_lines(), ['选择的文件路径： "{}"'.format(harness.native(self.path(pack)).replace("\\", "/")), "安装程序启动成功",
                                             "安装程序已运行结束"] * 2)
        self.assertEqual(self.exit_orva(run, main), 0)

        # An update of the running listener ends it, without running its
        # control, and ORVA starts the new version once packsetup has ended.
        run = self.start_orva()
        main = run.window(MAIN)
        old = harness.wait_until(lambda: harness.running("Watcher.exe"), "the installed listener to run")
        self.add_pack(run, main, self.pack("Watcher", "00000010", "print 第二版\nsleep 600", *listener), "Return")
        harness.wait_until(lambda: "第二版" in self.read("Logs/00000010.log"), "the new version to run")
        self.assertIn("安装程序更新扩展00000010：已结束启动器", self.read("Logs/00000010.log"))
        self.assertNotIn(old[0], harness.running("Watcher.exe"))
        self.assertEqual(self.events("Logger.exe"), [], "the stop ran the control program")
        self.assertEqual([name for name in os.listdir(self.path("Extensions")) if name.startswith(".")],
                         [".packsetup-changing"], "leftovers, or no note for ORVA")

        # 删除 while it runs: ended, and never started again.
        manager = self.open_manager(run, main)
        harness.display.click(manager, *FIRST_LISTENER)
        harness.display.click(manager, *REMOVE)
        run.answer("删除扩展-ORVA", ("Return",))
        harness.answer_installer("删除扩展-ORVA")
        self.assertFalse(os.path.exists(self.path("Extensions/00000010")))
        self.assertEqual(self.read("Start/Listener.etl"), "")
        time.sleep(3)  # time enough for ORVA to start a launcher again, and for it to show a window
        self.assertEqual((harness.running(), harness.running("Watcher.exe")), ([], []))
        self.assertIn("安装程序删除扩展00000010：已结束启动器", self.read("Logs/00000010.log"))
        self.assertEqual(self.exit_orva(run, main), 0)

    def test_packsetup_by_hand_and_after_exit(self):
        """packsetup by hand while ORVA runs: updating the control extension
        (--quiet) ends the pair that uses it, updating the listener (through
        its windows) ends the listener (which takes the time limit to be
        forced), each without running the control; ORVA starts the pair again as soon as the new version is in
        place, with packsetup's closing box still up. After Exit it ends the
        listener left running."""
        self.add_extension("00000003", "Logger", "00000003")
        self.add_extension("00000010", "Watcher", "00000003", "stubborn\nsleep 600")
        control = self.pack("Logger", "00000003", "print 新的控制")
        listener = self.pack("Watcher", "00000010", "print 新的监听\nsleep 600", "--role", "Listener", "--control", "00000003")
        run = self.start_orva("00000010\n")
        main = run.window(MAIN)
        first = harness.wait_until(lambda: harness.running("Watcher.exe"), "the listener to run")
        status, output = self.packsetup(control)
        self.assertEqual(status, 0, output)
        self.assertIn("已结束正在运行的Watcher（2个进程）。ORVA会立即重新启动它们", output)
        second = harness.wait_until(lambda: harness.running("Watcher.exe"), "the pair to start again")
        self.assertNotEqual(first, second)
        launchers = set(harness.running())
        setup = Run(self, ["./Extensions/00000001/packsetup.exe", harness.native(self.path(listener))])
        pid = harness.wait_until(lambda: harness.running("packsetup.exe"), "packsetup")[0][0]
        harness.retry(lambda: [harness.display.keys(wid, "Return") for wid in harness.display.windows(pid)
                               if harness.display.title(wid) == "安装扩展-ORVA"],  # its question: 安装
                      lambda: not launchers & set(harness.running()), "the launcher to be ended")
        harness.wait_until(lambda: "新的监听" in self.read("Logs/00000010.log"), "the new listener to run")
        harness.answer_installer("安装扩展-ORVA")  # the closing box, shown until now
        self.assertEqual(setup.wait_exit(), 0, setup.describe())
        self.assertEqual(self.events("Logger.exe"), [], "the stops ran the control program")

        self.assertEqual(self.exit_orva(run, main), 0)
        self.assertTrue(harness.running("Watcher.exe"), "extension programs outlive Exit")
        status, output = self.packsetup(listener)
        self.assertEqual((status, harness.running("Watcher.exe")), (0, []), output)
        self.assertIn("已结束正在运行的Watcher（1个进程）。", output)
        self.assertNotIn("ORVA", output)

    def test_sample_extensions_file_away_dropped_files(self):
        """InboxLogger from the pack's folder: packsetup started there by its full path with the pack's name
        relative to that folder (as a shell user names it), which it leaves as it was. Its own copy, as a program
        reached through a link knows only the link's target."""
        installer, downloads = self.path("Extensions/00000001/packsetup.exe"), os.path.join(self.tmp, "Downloads")
        os.remove(installer)
        shutil.copy(os.path.join(harness.APP, "Extensions/00000001/packsetup.exe"), installer)
        os.makedirs(downloads)
        shutil.copy(os.path.join(os.environ["ORVA_SAMPLE_PACKS"], "InboxLogger.etipack"), downloads)
        setup = Run(self, [installer, "InboxLogger.etipack"], cwd=downloads)
        harness.answer_installer("安装扩展-ORVA")
        self.assertEqual((setup.wait_exit(), os.listdir(downloads)), (0, ["InboxLogger.etipack"]), setup.describe())
        # The watcher names the logger as its control.
        setup = Run(self, ["./Extensions/00000001/packsetup.exe", "--quiet",
                           os.path.join(os.environ["ORVA_SAMPLE_PACKS"], "InboxWatcher.etipack")], DISPLAY=None)
        self.assertEqual(setup.wait_exit(), 0, setup.describe())
        run = self.start_orva()
        run.window(MAIN)
        for name in ("a.txt", "b.txt", "a.txt"):  # dropped as writers do: under a ".part" name, then renamed
            self.write("Inbox/{}.part".format(name), name)
            os.rename(self.path("Inbox/{}.part".format(name)), self.path("Inbox/" + name))
            harness.wait_until(lambda: not os.listdir(self.path("Inbox")), "the inbox to be emptied")
        self.assertEqual(sorted(os.listdir(self.path("Processed"))), ["a-1.txt", "a.txt", "b.txt"])
        self.assertEqual([line.split("\t")[1:] for line in self.read("Inbox.log").splitlines()],
                         [["a.txt", "5"], ["b.txt", "5"], ["a.txt", "5"]])

    def test_packsetup_command_line(self):
        for args, status, text in ((["--help"], 0, "用法"), (["--quiet"], 1, "没有给出扩展安装包"),
                                   (["-q", "a", "b"], 1, "一次只能安装一个"), (["-q", "--remove", "1", "p"], 1, "不能同时"),
                                   (["--quiet", "--remove", "00000001"], 5, "它是安装程序本身"),
                                   (["./etipack", "verify", PACKS + "parent.tar.gz.etipack"], 4, "会写到扩展文件夹之外"),
                                   # signed by author-a.key, then its version changed
                                   (["./etipack", "verify", PACKS + "tampered-signed.tar.gz.etipack"], 9, "签名不符"),
                                   (["./etipack", "inspect", PACKS + "tampered-signed.tar.gz.etipack"], 0, "签名：不成立")):
            with self.subTest(args=args):
                run = Run(self, args if args[0] == "./etipack" else ["./Extensions/00000001/packsetup.exe", *args],
                          DISPLAY=None)
                self.assertEqual(run.wait_exit(), status, run.describe())
                self.assertIn(text, run.output())
