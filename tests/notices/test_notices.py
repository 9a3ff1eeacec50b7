"""packaging/windows/notices.py with the real table and a small kit on app
folders of empty files (cases.tsv): what it writes, and what it refuses."""

import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))


class NoticesTest(unittest.TestCase):
    def test_cases(self):
        with open(os.path.join(HERE, "cases.tsv"), encoding="utf-8") as table:
            cases = [line.rstrip("\n").split("\t") for line in table if not line.startswith("#")]
        for name, files, linked, code, expected in cases:
            with self.subTest(name), tempfile.TemporaryDirectory() as tmp:
                app, link_map = os.path.join(tmp, "app"), os.path.join(tmp, "ORVA.map")
                for relative in files.split():
                    os.makedirs(os.path.dirname(os.path.join(app, relative)), exist_ok=True)
                    open(os.path.join(app, relative), "w").close()
                with open(link_map, "w") as out:  # as ld writes them: archive members, loaded objects
                    out.write("Archive member included to satisfy reference by file (symbol)\n\n")
                    out.writelines(path + "(a.o)\n" if path.endswith(".a") else "LOAD " + path + "\n"
                                   for path in linked.split())
                result = subprocess.run([sys.executable, "-B", ROOT + "/packaging/windows/notices.py", "--app", app,
                                         "--kit", HERE + "/kit", "--table", ROOT + "/packaging/windows/components.tsv",
                                         "--licence", ROOT + "/LICENSE", "--build", tmp,
                                         "--linked", "ORVA.exe=" + link_map], capture_output=True, text=True)
                self.assertEqual(result.returncode, int(code), result.stderr)
                if result.returncode:
                    self.assertIn(expected, result.stderr)
                    continue
                self.assertEqual(sorted(os.listdir(os.path.join(app, "licenses"))), expected.split())
                for written, wanted in (("THIRD-PARTY-NOTICES.txt", HERE + "/expected-notices.txt"),
                                        ("LICENSE.txt", ROOT + "/LICENSE")):
                    with open(os.path.join(app, written)) as got, open(wanted) as want:
                        self.assertEqual(got.read(), want.read(), written)
