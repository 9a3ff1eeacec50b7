"""The installer's association of .etipack packs with packsetup, read back
from the registry of a real install (ORVA_APP_DIR: scripts/build-windows.sh's
silent install, under Wine)."""

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

    def test_registered(self):
        packsetup = harness.native(self.path("Extensions/00000001/packsetup.exe"))
        self.assertEqual({**registry(".etipack"), **registry("ORVA.etipack")}, {
            ".etipack": ["ORVA.etipack"], "ORVA.etipack": ["ORVA 扩展安装包"],
            "ORVA.etipack\\DefaultIcon": ['"{}",0'.format(packsetup)],
            "ORVA.etipack\\shell": [], "ORVA.etipack\\shell\\open": [],
            "ORVA.etipack\\shell\\open\\command": ['"{}" "%1"'.format(packsetup)]})
