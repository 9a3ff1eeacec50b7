"""From an author's folder to a running listener and back: etipack makes a
key and the signed pack, 添加 in the manager installs it through the real
file dialog and packsetup's question (取消 first, then 安装) and window, the
next start of ORVA runs it, 删除 removes it. The
sample packs installed and at work, and packsetup's command line."""

import os

import harness
from harness import MAIN, Case, Run, setUpModule, tearDownModule  # noqa: F401

ADD, REMOVE, FIRST_LISTENER = (322, 272), (322, 332), (40, 40)
PACKS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "packs", "")


class InstallTest(Case):
    def answer_installer(self, run, title, key="Return"):
        """Answer packsetup's question and closing box (its progress window, same title, ignores the key) until packsetup ends."""
        pid = harness.wait_until(lambda: harness.running("packsetup.exe"), "packsetup")[0][0]
        harness.window(pid, title)
        harness.retry(lambda: [harness.display.keys(wid, key) for wid in harness.display.windows(pid)
                               if harness.display.title(wid) == title], lambda: not harness.running("packsetup.exe"),
                      "packsetup to end")

    def add_pack(self, run, main, pack, key):
        """添加 in the manager, the pack typed into the file dialog, packsetup's question answered by `key`."""
        manager = self.open_manager(run, main)
        harness.display.click(manager, *ADD)
        dialog = run.window("选择扩展安装包")
        harness.display.type(dialog, harness.native(self.path(pack)))
        harness.display.keys(dialog, "Return")
        self.answer_installer(run, "安装扩展-ORVA", key)
        harness.wait_until(lambda: not harness.display.viewable(manager), "the manager to close")

    def test_journey(self):
        self.add_extension("00000003", "Logger", "00000003")
        os.makedirs(self.path("src"))
        self.add_program("src/Watcher.exe", "sleep 0.3")
        for args in (["keygen", "author.key"], ["create", "src", "--name", "Watcher", "--id", "00000010", "--role",
                                                "Listener", "--control", "00000003", "--sign", "author.key", "-o", "Watcher.etipack"]):
            etipack = Run(self, ["./etipack", *args], DISPLAY=None)
            self.assertEqual(etipack.wait_exit(), 0, etipack.describe())
        if not harness.WINE:
            self.assertEqual(os.stat(self.path("author.key")).st_mode & 0o777, 0o600)

        run = self.start_orva()
        main = run.window(MAIN)
        self.add_pack(run, main, "Watcher.etipack", "Escape")  # 取消: nothing changes
        self.assertFalse(os.path.exists(self.path("Extensions/00000010")))
        self.assertEqual(self.read("Start/Listener.etl"), "")
        self.add_pack(run, main, "Watcher.etipack", "Return")  # 安装
        self.assertEqual(self.read("Start/Listener.etl"), "00000010\n")
        self.assertEqual(run.debug_lines(), ['选择的文件路径： "{}"'.format(harness.native(self.path("Watcher.etipack")).replace("\\", "/")), "安装程序启动成功",
                                             "安装程序已运行结束"] * 2)
        self.assertEqual(self.exit_orva(run, main), 0)

        run = self.start_orva()
        main = run.window(MAIN)
        harness.wait_until(lambda: self.events("Watcher.exe", "start"), "the installed listener to run")
        manager = self.open_manager(run, main)
        harness.display.click(manager, *FIRST_LISTENER)
        harness.display.click(manager, *REMOVE)
        run.answer("删除扩展-ORVA", ("Return",))
        self.answer_installer(run, "删除扩展-ORVA")
        self.assertFalse(os.path.exists(self.path("Extensions/00000010")))
        self.assertEqual(self.read("Start/Listener.etl"), "")
        self.assertEqual(self.exit_orva(run, main), 0)

    def test_sample_extensions_file_away_dropped_files(self):
        for pack in ("InboxLogger", "InboxWatcher"):  # the watcher names the logger as its control
            setup = Run(self, ["./Extensions/00000001/packsetup.exe", "--quiet",
                               os.path.join(os.environ["ORVA_SAMPLE_PACKS"], pack + ".etipack")], DISPLAY=None)
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
