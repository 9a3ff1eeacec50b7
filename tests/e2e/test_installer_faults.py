"""The installed packsetup --quiet against faults: killed at many points of
an install and of an upgrade, a file-size limit and a full disk while
unpacking and while rewriting the start lists, hostile archives and hostile
files. --quiet needs no display, so none is started."""

import io
import json
import os
import random
import resource
import shutil
import signal
import stat
import subprocess
import tarfile
import tempfile
import unittest
import zlib

import processes

EXT, NAME = "00000042", "Bulk"
OTHER = "00000003"  # an installed extension no install may touch
UNUSED = "00000099"  # "--remove" of it only cleans up, then says it is not installed
ROLES_OLD, ROLES_NEW = ["Controller"], ["Controller", "Runner", "Structure"]
LISTS = ("Listener", "Controller", "Runner", "Structure", "MainControllerExtension")
# Runner.etl without a final line break, Structure.etl missing: the rewrite
# must add one, create the other, and keep every other byte.
START_LISTS = {"Listener": b"", "Controller": b"00000003\n", "Runner": b"00000003", "Structure": None,
               "MainControllerExtension": b"\r\n00000003\r\n"}
LEFTOVER_PREFIXES = (".packsetup-staging-", ".packsetup-removing-", ".packsetup-backup-")
LOCK = ".packsetup.lock"
RUN_TIMEOUT = 300  # generous: only against hangs


def setUpModule():
    processes.become_subreaper()


def pack_bytes(body, name=NAME, ext_id=EXT, roles=(), header=None):
    if header is None:
        header = json.dumps({"name": name, "id": ext_id, "roles": list(roles)}).encode()
    return header + b"~" + body


def tar_body(members, compress=True):
    """A pax tar (gzipped) of (TarInfo, data or None) pairs."""
    raw = io.BytesIO()
    with tarfile.open(fileobj=raw, mode="w", format=tarfile.PAX_FORMAT) as tar:
        for info, data in members:
            if data is not None:
                info.size = len(data)
            tar.addfile(info, io.BytesIO(data) if data is not None else None)
    data = raw.getvalue()
    return gzip_member(data) if compress else data


def gzip_member(data):
    compressor = zlib.compressobj(6, zlib.DEFLATED, 31)
    return compressor.compress(data) + compressor.flush()


def entry(path, kind=tarfile.REGTYPE, mode=0o644, target=""):
    info = tarfile.TarInfo(path)
    info.type, info.mode, info.linkname = kind, mode, target
    return info


def program():
    return (entry(NAME + ".exe", mode=0o755), b"#!/bin/sh\nexit 0\n")


def bulk_body(small, big, seed):
    """The program, `small` files in 30 folders and `big` incompressible
    files of 1.5 MiB: many entries and a few MB."""
    rand = random.Random(seed)
    members = [program()]
    for i in range(small):
        members.append((entry("d{:02}/f{}.txt".format(i % 30, i)), rand.randbytes(rand.randrange(1, 300))))
    for i in range(big):
        members.append((entry("big/b{}.bin".format(i)), rand.randbytes(1536 * 1024)))
    return tar_body(members)


def tree(root):
    """Every folder, file (mode and content) and link below root."""
    found = {}
    if not os.path.lexists(root):
        return None
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            key = os.path.relpath(path, root)
            st = os.lstat(path)
            if stat.S_ISLNK(st.st_mode):
                found[key] = ("link", os.readlink(path))
            elif stat.S_ISDIR(st.st_mode):
                found[key] = ("dir",)
            else:
                with open(path, "rb") as file:
                    found[key] = ("file", st.st_mode & 0o777, file.read())
    return found


def stamped_tree(root):
    """tree() plus every file's modification time: for what must stay untouched."""
    stamps = {}
    for folder, _, files in os.walk(root):
        for name in files:
            path = os.path.join(folder, name)
            stamps[os.path.relpath(path, root)] = os.lstat(path).st_mtime_ns
    return tree(root), stamps


def file_size_limit(limit):
    """preexec_fn: writes beyond `limit` bytes fail with EFBIG instead of
    killing the program."""
    def apply():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    return apply


class InstallerCase(unittest.TestCase):
    SCRATCH = None  # where the workspace goes; None: the system's temporary folder

    def setUp(self):
        app_dir = os.environ.get("ORVA_APP_DIR") or ""
        self.installer_folder = os.path.join(app_dir, "Extensions", "00000001")
        if not os.path.isfile(os.path.join(self.installer_folder, "packsetup.exe")):
            self.skipTest("needs the installed packsetup (ORVA_APP_DIR): none in " + self.installer_folder)
        scratch = self.SCRATCH if self.SCRATCH and os.access(self.SCRATCH, os.W_OK) else None
        self.tmp = os.path.realpath(tempfile.mkdtemp(prefix="orva-faults-", dir=scratch))
        self.addCleanup(shutil.rmtree, self.tmp, True)
        self.procs = processes.Processes(self.tmp)
        self.addCleanup(self.procs.end_all)
        self.root = self.new_workspace("app")

    def new_workspace(self, name, link_installer=False):
        root = os.path.join(self.tmp, name)
        installer = os.path.join(root, "Extensions", "00000001")
        if link_installer:  # a small disk holds only what the test puts there
            os.makedirs(os.path.dirname(installer))
            os.symlink(self.installer_folder, installer)
        else:
            shutil.copytree(self.installer_folder, installer, symlinks=True)
        self.write(os.path.join(root, "Extensions", OTHER, "ExtensionName.etn"), b"Other")
        self.write(os.path.join(root, "Extensions", OTHER, "Other.exe"), b"#!/bin/sh\n")
        self.set_lists(root, START_LISTS)
        return root

    @staticmethod
    def write(path, data):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as file:
            file.write(data)
        return path

    def write_pack(self, name, data):
        return self.write(os.path.join(self.tmp, "packs", name), data)

    def set_lists(self, root, lists):
        for name, data in lists.items():
            path = os.path.join(root, "Start", name + ".etl")
            if data is None:
                if os.path.exists(path):
                    os.remove(path)
            else:
                self.write(path, data)

    @staticmethod
    def lists(root):
        result = {}
        for name in LISTS:
            path = os.path.join(root, "Start", name + ".etl")
            if os.path.exists(path):
                with open(path, "rb") as file:
                    result[name] = file.read()
            else:
                result[name] = None
        return result

    def packsetup(self, root, *args, wrapper=(), preexec_fn=None):
        """Runs the workspace's packsetup --quiet in it, without a display;
        returns (exit status, stdout, stderr) as text."""
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env["LC_ALL"] = "C.UTF-8"
        if wrapper:
            # LeakSanitizer cannot work under a tracer; every other run checks leaks.
            env["ASAN_OPTIONS"] = ":".join(filter(None, [env.get("ASAN_OPTIONS"), "detect_leaks=0"]))
        popen = self.procs.spawn(list(wrapper) + [os.path.join(root, "Extensions", "00000001", "packsetup.exe"),
                                                  "--quiet"] + list(args),
                                 cwd=root, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                 preexec_fn=preexec_fn)
        try:
            out, err = popen.communicate(timeout=RUN_TIMEOUT)
        finally:
            if popen.poll() is None:
                popen.kill()
                popen.communicate()
        return popen.returncode, out.decode(errors="replace"), err.decode(errors="replace")

    def install(self, root, pack, expect=0):
        code, out, err = self.packsetup(root, pack)
        self.assertEqual(code, expect, out + err)
        return out + err

    def extensions(self, root):
        return sorted(os.listdir(os.path.join(root, "Extensions")))

    def assert_no_leftovers(self, root, ext_present):
        expected = sorted(["00000001", OTHER] + ([EXT] if ext_present else []))
        self.assertEqual(self.extensions(root), expected, "staging, backup, removal folders or the lock left")


class KilledInstallTest(InstallerCase):
    """Killed by SIGKILL on entering the n-th call of a system call, chosen
    over the whole run: reading the pack (checking, unpacking), creating and
    writing files, renaming folders into place and rewriting start lists."""

    # A kill loses no written data, so a memory file system behaves as a disk
    # here, and hundreds of installs take seconds instead of minutes.
    SCRATCH = "/dev/shm"
    # Calls of each kind to kill at, spread evenly over a full run; renames
    # and syncs: every one.
    SPREAD = {"read": 5, "openat": 6, "write": 6, "mkdir": 2, "unlink": 2, "rmdir": 2, "unlinkat": 2}
    EVERY = ("rename", "renameat", "renameat2", "fsync", "fdatasync")

    def setUp(self):
        super().setUp()
        if not shutil.which("strace") or subprocess.run(["strace", "-o", "/dev/null", "true"], timeout=60,
                                                        stdin=subprocess.DEVNULL).returncode != 0:
            self.skipTest("needs strace and the right to trace (scripts/setup-debian.sh installs strace)")
        self.old_pack = self.write_pack("old.etipack", pack_bytes(bulk_body(400, 1, seed=1), roles=ROLES_OLD))
        self.new_pack = self.write_pack("new.etipack", pack_bytes(bulk_body(800, 2, seed=2), roles=ROLES_NEW))
        # What an undisturbed run leaves, from a workspace of its own.
        ref = self.new_workspace("ref")
        self.install(ref, self.old_pack)
        self.old_tree, self.old_lists = tree(os.path.join(ref, "Extensions", EXT)), self.lists(ref)
        self.install(ref, self.new_pack)
        self.new_tree, self.upgraded_lists = tree(os.path.join(ref, "Extensions", EXT)), self.lists(ref)
        shutil.rmtree(ref)
        ref = self.new_workspace("ref")
        self.install(ref, self.new_pack)
        self.fresh_lists = self.lists(ref)
        self.assertEqual(tree(os.path.join(ref, "Extensions", EXT)), self.new_tree)
        shutil.rmtree(ref)
        self.other_tree = tree(os.path.join(self.root, "Extensions", OTHER))

    def kill_points(self, upgrade):
        """(system call, n) pairs over a traced undisturbed run."""
        self.reset(upgrade)
        log = os.path.join(self.tmp, "trace.log")
        names = sorted(set(self.SPREAD) | set(self.EVERY))
        code, out, err = self.packsetup(self.root, self.new_pack, wrapper=[
            "strace", "-f", "-qq", "-o", log, "-e", "trace=" + ",".join(names)])
        self.assertEqual(code, 0, out + err)
        counts = {}
        with open(log, errors="replace") as trace:
            for line in trace:
                call = line.split(None, 1)[1].split("(", 1)[0] if " " in line else ""
                if call in names:
                    counts[call] = counts.get(call, 0) + 1
        points = []
        for call, count in sorted(counts.items()):
            wanted = count if call in self.EVERY else min(count, self.SPREAD[call])
            points += sorted({(call, 1 + (count * (2 * i + 1)) // (2 * wanted)) for i in range(wanted)})
        return points

    def reset(self, upgrade):
        folder = os.path.join(self.root, "Extensions", EXT)
        shutil.rmtree(folder, ignore_errors=True)
        if upgrade:
            self.restore_tree(folder, self.old_tree)
        self.set_lists(self.root, self.old_lists if upgrade else START_LISTS)

    @staticmethod
    def restore_tree(folder, wanted):
        os.makedirs(folder)
        for key, value in sorted(wanted.items()):
            path = os.path.join(folder, key)
            if value[0] == "dir":
                os.makedirs(path, exist_ok=True)
            else:
                with open(path, "wb") as file:
                    file.write(value[2])
                os.chmod(path, value[1])

    def check_after_kill(self, upgrade, label):
        before_lists = self.old_lists if upgrade else START_LISTS
        after_lists = self.upgraded_lists if upgrade else self.fresh_lists
        root = self.root
        ext = os.path.join(root, "Extensions")
        live = tree(os.path.join(ext, EXT))
        backup = tree(os.path.join(ext, ".packsetup-backup-" + EXT))
        old = self.old_tree if upgrade else None
        if live is None and upgrade:
            # Between moving the old folder aside and the new one into place:
            # the old one must be whole, for the next run to put it back.
            self.assertEqual(backup, self.old_tree, label + ": the folder kept aside is not the old one")
        else:
            self.assertIn(live, (old, self.new_tree), label + ": the extension folder is a mix")
        for name in LISTS:
            self.assertIn(self.lists(root)[name], (before_lists[name], after_lists[name]), label + " " + name)
        for name in self.extensions(root):
            self.assertTrue(name in ("00000001", OTHER, EXT, LOCK) or name.startswith(LEFTOVER_PREFIXES),
                            label + ": unexpected " + name)
        lists_after_kill = self.lists(root)

        # The next run cleans up: the old folder back or the new one kept.
        code, out, err = self.packsetup(root, "--remove", UNUSED)
        self.assertEqual(code, 5, label + out + err)
        live = tree(os.path.join(ext, EXT))
        self.assertIn(live, (old, self.new_tree), label + ": after the clean-up")
        self.assert_no_leftovers(root, live is not None)
        self.assertEqual(self.lists(root), lists_after_kill, label)

        # And installing the same pack again succeeds.
        self.install(root, self.new_pack)
        self.assertEqual(tree(os.path.join(ext, EXT)), self.new_tree, label)
        self.assertEqual(self.lists(root), after_lists, label)
        self.assert_no_leftovers(root, True)
        self.assertEqual(tree(os.path.join(ext, OTHER)), self.other_tree, label)

    def run_kills(self, upgrade):
        points = self.kill_points(upgrade)
        killed = 0
        for call, n in points:
            label = "{} #{}{}".format(call, n, " (upgrade)" if upgrade else "")
            with self.subTest(point=label):
                self.reset(upgrade)
                code, out, err = self.packsetup(self.root, self.new_pack, wrapper=[
                    "strace", "-f", "-qq", "-o", "/dev/null", "-e", "trace=" + call,
                    "-e", "inject={}:signal=KILL:when={}".format(call, n)])
                self.assertNotEqual(code, 0, label + ": not killed; " + out + err)
                killed += 1
                self.check_after_kill(upgrade, label)
        self.assertGreaterEqual(killed, 20, points)
        print("\n{} kill points{}: {}".format(len(points), " (upgrade)" if upgrade else "", points))

    def test_killed_fresh_install_leaves_nothing_or_the_whole_extension(self):
        self.run_kills(upgrade=False)

    def test_killed_upgrade_leaves_the_old_or_the_new_extension(self):
        self.run_kills(upgrade=True)


class FullDiskTest(InstallerCase):
    """Writes that fail (a file-size limit, a full tmpfs) while unpacking and
    while rewriting a start list: exit code 6, a message naming the reason,
    nothing half-written and no extension left installed but unlisted."""

    LIMIT = 1 << 20

    def setUp(self):
        super().setUp()
        self.small = self.write_pack("small.etipack", pack_bytes(bulk_body(20, 0, seed=3), roles=ROLES_NEW))
        self.large = self.write_pack("large.etipack", pack_bytes(bulk_body(20, 2, seed=4), roles=ROLES_NEW))
        self.old = self.write_pack("old.etipack", pack_bytes(bulk_body(5, 0, seed=5), roles=ROLES_OLD))
        # A listed id per line, beyond the limit once rewritten.
        self.big_list = b"00000003\n" * (self.LIMIT // 9 + 1)

    def assert_refused_unchanged(self, preexec_fn, pack, reasons, root=None):
        root = root or self.root
        before = stamped_tree(os.path.join(root, "Extensions")), self.lists(root)
        code, out, err = self.packsetup(root, pack, preexec_fn=preexec_fn)
        self.assertEqual(code, 6, out + err)
        self.assertEqual(out, "")
        for reason in reasons:
            self.assertIn(reason, err)
        self.assertEqual((stamped_tree(os.path.join(root, "Extensions")), self.lists(root)), before)

    def test_file_size_limit_while_unpacking_and_rewriting_lists(self):
        limit = file_size_limit(self.LIMIT)
        for upgrade in (False, True):
            with self.subTest(upgrade=upgrade):
                if upgrade:
                    self.install(self.root, self.old)
                self.assert_refused_unchanged(limit, self.large, ["File too large"])
                # Controller.etl is rewritten first and put back when Runner.etl fails.
                self.set_lists(self.root, {"Runner": self.big_list})
                self.assert_refused_unchanged(limit, self.small, ["Runner.etl", "File too large"])
                self.set_lists(self.root, START_LISTS)
        # Without the limit the same packs install.
        self.install(self.root, self.large)

    def test_full_disk_while_unpacking_and_rewriting_lists(self):
        disk = os.path.join(self.tmp, "disk")
        os.mkdir(disk)
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=8m", "tmpfs", disk], stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=60).returncode != 0:
            self.skipTest("cannot mount a small tmpfs here (the file-size limit test covers the same paths)")
        self.addCleanup(subprocess.run, ["umount", "-l", disk], stdin=subprocess.DEVNULL, timeout=60)
        root = self.new_workspace("disk/app", link_installer=True)
        self.assert_refused_unchanged(None, self.write_pack("huge.etipack", pack_bytes(
            bulk_body(5, 6, seed=6), roles=ROLES_NEW)), ["No space left on device"], root)
        # Fill the disk so that the pack fits and the rewritten list does not.
        self.set_lists(root, {"Runner": self.big_list})
        filler = os.path.join(disk, "filler")
        with open(filler, "wb", buffering=0) as file:
            try:
                while True:
                    file.write(b"\0" * 65536)
            except OSError:
                pass
        os.truncate(filler, max(0, os.path.getsize(filler) - (512 << 10)))
        self.assert_refused_unchanged(None, self.small, ["Runner.etl", "No space left on device"], root)
        os.remove(filler)
        self.install(root, self.small)


def under_declared_tar():
    """A tar whose first header declares 10 bytes while 2000 follow."""
    data = bytearray(tar_body([(entry(NAME + ".exe"), b"x" * 2000)], compress=False))
    start = 0
    while data[start + 156:start + 157] != b"0":  # skip the pax header block and its data
        start += 512 * (1 + (int(data[start + 124:start + 136].strip(b"\0 ") or b"0", 8) + 511) // 512)
    data[start + 124:start + 136] = b"%011o\0" % 10
    data[start + 148:start + 156] = b" " * 8
    data[start + 148:start + 156] = b"%06o\0 " % sum(data[start:start + 512])
    return gzip_member(bytes(data))


def empty_files_tar(count):
    """The program and `count` empty files, as plain ustar blocks: tarfile
    takes many seconds for 100,000 entries."""
    blocks = [tar_body([program()], compress=False)[:1024]]
    for i in range(count):
        block = bytearray(512)
        name = "z/{}".format(i).encode()
        block[0:len(name)] = name
        block[100:156] = b"0000644\0" + b"0000000\0" * 2 + b"00000000000\0" * 2 + b" " * 8
        block[156:157], block[257:265] = b"0", b"ustar\x0000"
        block[148:156] = b"%06o\0 " % sum(block)
        blocks.append(bytes(block))
    return gzip_member(b"".join(blocks) + bytes(1024))


def gzip_bomb(gib=5):
    """One file declaring more than 4 GiB, then that many zeros as gzip
    members of 8 MiB each: a few MB that unpack to `gib` GiB."""
    info = entry("zeros")
    info.size = gib << 30
    header = entry(NAME + ".exe").tobuf(tarfile.PAX_FORMAT) + info.tobuf(tarfile.PAX_FORMAT)
    chunk = gzip_member(bytes(8 << 20))
    return gzip_member(header) + chunk * (gib * 128)


class HostileInputTest(InstallerCase):
    """Archives and files made to escape the extension folder or exhaust the
    installer, through the real program: refused with a message, the
    sentinel beside the workspace untouched, Extensions/ and lists as they were."""

    def setUp(self):
        super().setUp()
        self.sentinel = self.write(os.path.join(self.tmp, "x"), b"untouched")

    def hostile_archives(self):
        sentinel = self.sentinel
        with_program = lambda *members: tar_body([program()] + list(members))  # noqa: E731
        return [
            ("../x", with_program((entry("../x"), b"evil")), 4, "../x"),
            ("a/../../x", with_program((entry("a/../../x"), b"evil")), 4, "a/../../x"),
            ("absolute", with_program((entry(sentinel), b"evil")), 4, sentinel),
            ("C:\\x", with_program((entry("C:\\x"), b"evil")), 4, "C:\\x"),
            ("UNC", with_program((entry("\\\\srv\\s\\x"), b"evil")), 4, "\\\\srv\\s\\x"),
            ("absolute symlink", with_program((entry("link", tarfile.SYMTYPE, target=sentinel), None)), 4, "符号链接"),
            ("symlink to .. then a file through it",
             with_program((entry("dir", tarfile.SYMTYPE, target=".."), None), (entry("dir/x"), b"evil")), 4, "dir"),
            ("symlink then a file of its name",
             tar_body([(entry(NAME + ".exe", tarfile.SYMTYPE, target=sentinel), None), program()]), 4, "符号链接"),
            ("hard link to ../x", with_program((entry("h", tarfile.LNKTYPE, target="../x"), None)), 4, "硬链接"),
            ("character device", with_program((entry("null", tarfile.CHRTYPE), None)), 4, "字符设备"),
            ("fifo", with_program((entry("pipe", tarfile.FIFOTYPE), None)), 4, "FIFO"),
            ("gzip bomb", gzip_bomb(), 4, "4294967296"),
            ("100,001 zero-byte entries", empty_files_tar(100001), 4, "100000"),
            ("size declared too small", under_declared_tar(), 4, "损坏"),
        ]

    def assert_refused(self, label, pack, code, part):
        path = self.write_pack("hostile.etipack", pack)
        before = stamped_tree(self.tmp)
        status, out, err = self.packsetup(self.root, path)
        self.assertEqual(status, code, label + ": " + out + err)
        self.assertEqual(out, "", label)
        self.assertIn(part, err, label)
        self.assertIn(path, err, label)
        self.assertEqual(stamped_tree(self.tmp), before, label + ": something changed")

    def test_hostile_archives_are_refused_and_write_nothing(self):
        for label, body, code, part in self.hostile_archives():
            with self.subTest(archive=label):
                self.assert_refused(label, pack_bytes(body, roles=ROLES_NEW), code, part)

    def test_header_nested_a_million_levels_is_refused(self):
        header = b'{"name":"Bulk","id":"00000042","x":' + b"[" * 1000000 + b"]" * 1000000 + b"}"
        self.assert_refused("deep header", pack_bytes(tar_body([program()]), header=header), 3, "64")

    def test_start_list_of_random_megabytes_keeps_every_byte(self):
        noise = random.Random(7).randbytes(8 << 20) + b"z"  # ends inside a token
        self.set_lists(self.root, {"Controller": noise})
        self.install(self.root, self.write_pack("p.etipack", pack_bytes(tar_body([program()]),
                                                                          roles=["Controller"])))
        self.assertEqual(self.lists(self.root)["Controller"], noise + b"\n" + EXT.encode() + b"\n")
        code, out, err = self.packsetup(self.root, "--remove", EXT)
        self.assertEqual(code, 0, out + err)
        self.assertEqual(self.lists(self.root)["Controller"], noise + b"\n")
        self.assert_no_leftovers(self.root, False)


if __name__ == "__main__":
    unittest.main()
