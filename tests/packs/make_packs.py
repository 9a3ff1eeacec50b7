#!/usr/bin/env python3
"""Writes the pack fixtures of this folder: `python3 make_packs.py`. Each is
a header, "~" and a tiny archive; expected.tsv says what the installer makes
of each one in the tests' workspace (extensions 00000003 "Logger" and
00000004 "Old" installed). Fixed times and owners keep the bytes the same at
every run."""

import gzip
import io
import json
import os
import tarfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
PROGRAM = b"#!/bin/sh\n"


def entry(name, kind=tarfile.REGTYPE, data=b"", link="", size=None, mode=0o755):
    info = tarfile.TarInfo(name)
    info.type, info.linkname, info.mtime, info.mode = kind, link, 1700000000, mode
    info.size = len(data) if size is None else size
    return info, data


def tar(*entries, mode="gz", cut=0):
    out = io.BytesIO()
    with tarfile.open(fileobj=out, mode="w:" + mode.replace("gz", ""), format=tarfile.PAX_FORMAT) as archive:
        for info, data in entries:
            archive.addfile(info, io.BytesIO(data) if info.isreg() and data is not None else None)
    data = out.getvalue()[:len(out.getvalue()) - cut]
    return gzip.compress(data, mtime=0) if mode == "gz" else data


def zipped(*files):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w") as archive:
        for name, data in files:
            archive.writestr(zipfile.ZipInfo(name, (2024, 1, 1, 0, 0, 0)), data)
    return out.getvalue()


class Stream(io.RawIOBase):
    """An output that cannot seek: zipfile then streams each entry, its sizes after the data."""

    def __init__(self):
        super().__init__()
        self.data = bytearray()

    def writable(self):
        return True

    def write(self, data):
        self.data += data
        return len(data)


def streamed(name, data):
    out = Stream()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as archive, archive.open(name, "w") as entry:
        entry.write(data)
    return bytes(out.data)


def header(name, ident, roles=(), **more):
    return json.dumps(dict(name=name, id=ident, roles=list(roles), **more), ensure_ascii=False).encode()


TOOL = header("Tool", "00000005", ["Controller", "Runner"], version="1.0")
EVIL = header("Evil", "00000007")
PACKS = {
    # "./" as tar writes it for a whole folder; modes that must not survive.
    "tool.tar.gz": TOOL + b"~" + tar(entry("./", tarfile.DIRTYPE), entry("Tool.exe", data=PROGRAM),
                                     entry("lib", tarfile.DIRTYPE, mode=0o777), entry("lib/run", mode=0o4777),
                                     entry("lib/data.txt", data=b"x", mode=0o666)),
    "tool.tar.bz2": TOOL + b"~" + tar(entry("Tool.exe", data=PROGRAM), mode="bz2"),
    "tool.tar.xz": TOOL + b"~" + tar(entry("Tool.exe", data=PROGRAM), mode="xz"),
    "listener.zip": header("监听 器", "00000006", ["Listener"], control="00000003") + b"~" +
                    zipped(("监听 器.exe", PROGRAM)),
    "upgrade.tar.gz": header("Old", "00000004", ["Runner"]) + b"~" + tar(entry("Old.exe", data=b"new")),
    "other-name.tar.gz": header("New", "00000004") + b"~" + tar(entry("New.exe", data=PROGRAM)),
    "control-missing.tar.gz": header("L", "00000008", ["Listener"], control="00000009") + b"~" +
                           tar(entry("L.exe", data=PROGRAM)),
    "reserved-id.tar.gz": header("P", "00000001") + b"~" + tar(entry("P.exe")),
    "device-name.tar.gz": header("CON", "00000007") + b"~" + tar(entry("CON.exe")),
    "no-body": EVIL,
    "not-an-archive": EVIL + b"~plain text, no archive",
    "parent.tar.gz": EVIL + b"~" + tar(entry("Evil.exe"), entry("a/../../x")),
    "absolute.tar.gz": EVIL + b"~" + tar(entry("Evil.exe"), entry("/tmp/x")),
    "drive.tar.gz": EVIL + b"~" + tar(entry("Evil.exe"), entry("C:\\x")),
    "unc.tar.gz": EVIL + b"~" + tar(entry("Evil.exe"), entry("\\\\srv\\share\\x")),
    "symlink.tar.gz": EVIL + b"~" + tar(entry("Evil.exe", tarfile.SYMTYPE, link="/bin/sh")),
    "folder-link.tar.gz": EVIL + b"~" + tar(entry("Evil.exe"), entry("d", tarfile.SYMTYPE, link=".."),
                                         entry("d/x", data=b"out")),
    "hardlink.tar.gz": EVIL + b"~" + tar(entry("Evil.exe"), entry("h", tarfile.LNKTYPE, link="../x")),
    "device.tar.gz": EVIL + b"~" + tar(entry("Evil.exe"), entry("c", tarfile.CHRTYPE)),
    "fifo.tar.gz": EVIL + b"~" + tar(entry("Evil.exe"), entry("f", tarfile.FIFOTYPE)),
    "six-entries.tar.gz": EVIL + b"~" + tar(*[entry(name) for name in ("Evil.exe", "1", "2", "3", "4", "5")]),
    "too-large.tar.gz": EVIL + b"~" + tar(entry("Evil.exe", data=bytes(1536 * 1024))),
    # Each file within the bound, together over it.
    "too-large-together.tar.gz": EVIL + b"~" + tar(entry("Evil.exe", data=bytes(600 * 1024)),
                                                   entry("more", data=bytes(600 * 1024))),
    "disk-full.tar.gz": EVIL + b"~" + tar(entry("Evil.exe", data=None, size=1 << 50)),  # a header, no data
    "streamed.zip": EVIL + b"~" + streamed("Evil.exe", PROGRAM),
    "cut-short.tar": EVIL + b"~" + tar(entry("Evil.exe", data=bytes(3000)), mode="", cut=8192),
    "own-file.tar.gz": EVIL + b"~" + tar(entry("Evil.exe"), entry("ExtensionName.etn", data=b"Other")),
    "no-program.tar.gz": EVIL + b"~" + tar(entry("bin/Evil.exe")),
}

for name, data in PACKS.items():
    with open(os.path.join(HERE, name + ".etipack"), "wb") as out:
        out.write(data)
