"""The installer's association of .etipack packs with packsetup on a real
install (ORVA_APP_DIR: scripts/build-windows.sh's silent install, under Wine):
the registry read back, and a pack opened through it as Explorer opens one."""

import os
import re
import shutil
import subprocess

import harness
from harness import Case, setUpModule, tearDownModule  # noqa: F401

CLASSES = "HKEY_CURRENT_USER\\Software\\Classes\\"


def registry(key):
    """{key: its values} of `key` and the keys under it, as reg reads them back.
    Wine's reg writes in the console's code page: a Chinese one (GBK) keeps the
    description."""
    out = subprocess.run([*harness.WINE, "reg", "query", CLASSES + key, "/s"], capture_output=True,
                         env=harness.display.env(LC_ALL="zh_CN.UTF-8"), timeout=harness.TIMEOUT).stdout.decode("gbk")
    found = {}
    for line in out.splitlines():
        if line.startswith(CLASSES):
            name = found.setdefault(line[len(CLASSES):], [])
        elif "    REG_SZ    " in line:
            name.append(line.partition("    REG_SZ    ")[2])
    return found


class AssociationTest(Case):
    def setUp(self):
        super().setUp()
        self.app = harness.APP  # the install itself, which the registry names

    def test_double_clicked_pack(self):
        packsetup = harness.native(self.path("Extensions/00000001/packsetup.exe"))
        classes = {**registry(".etipack"), **registry("ORVA.etipack")}
        self.assertEqual(classes, {
            ".etipack": ["ORVA.etipack"], "ORVA.etipack": ["ORVA 扩展安装包"],
            "ORVA.etipack\\DefaultIcon": ['"{}",0'.format(packsetup)],
            "ORVA.etipack\\shell": [], "ORVA.etipack\\shell\\open": [],
            "ORVA.etipack\\shell\\open\\command": ['"{}" "%1"'.format(packsetup)]})

        # Explorer puts the pack's path for %1 and starts the command in the
        # pack's folder; a space in it needs the quotes.
        downloads = os.path.join(self.tmp, "下载 的包")
        os.makedirs(downloads)
        pack = shutil.copy(self.path("Packs/InboxLogger.etipack"), downloads)
        line = classes["ORVA.etipack\\shell\\open\\command"][0].replace("%1", harness.native(pack))
        run = harness.Run(self, re.findall(r'"([^"]*)"', line), cwd=downloads)
        harness.answer_installer("安装扩展-ORVA")
        self.assertEqual(run.wait_exit(), 0, run.describe())
        self.assertEqual(os.listdir(downloads), ["InboxLogger.etipack"])
        self.assertEqual(self.read("Extensions/00000003/ExtensionName.etn"), "InboxLogger")
        self.assertEqual(self.read("Start/Controller.etl"), "00000003\n")
