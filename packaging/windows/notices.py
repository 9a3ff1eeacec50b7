#!/usr/bin/env python3
"""Writes the licences of what the Windows app folder bundles into it:
LICENSE.txt (ORVA's own), licenses/<source package>.txt (each component's
Debian copyright file, verbatim), licenses/<name>.txt (the licence texts those
files refer to in /usr/share/common-licenses) and THIRD-PARTY-NOTICES.txt.
Which component is where comes from the table (components.tsv); the programs
ORVA builds are given with their link maps (--linked <file>=<map>). Fails,
naming the file, when a DLL, a program or a library linked into one is
placed by no row, or when a component's copyright file is missing."""

import argparse
import fnmatch
import os
import re
import shutil
import subprocess
import sys
import textwrap

COMMON_LICENCES = "/usr/share/common-licenses"
COMMON_REFERENCE = re.compile(re.escape(COMMON_LICENCES) + r"/([A-Za-z0-9][A-Za-z0-9.+-]*[A-Za-z0-9+])")
# Licence texts that take in another by name rather than by path.
TAKES_IN = {"LGPL-3": ["GPL-3"]}
ARCHIVE_MEMBER = re.compile(r"^(\S+?\.a)\(")


class Incomplete(Exception):
    pass


def read_table(path):
    rows = []
    with open(path, encoding="utf-8") as table:
        for number, line in enumerate(table, 1):
            if line.startswith("#") or not line.strip():
                continue
            fields = line.rstrip("\n").split("\t")
            if len(fields) != 4 or not all(fields):
                raise Incomplete("{}:{}: four tab-separated columns expected".format(path, number))
            rows.append((fields[0].split(), fields[1].split("|"), fields[2], fields[3]))
    return rows


def linked_libraries(map_path, build):
    """The archives ld took members from and the objects it loaded: ORVA's own
    (in the build folder, or named relative to it), and the others."""
    own, others, members = [], [], False
    with open(map_path, encoding="utf-8", errors="replace") as link_map:
        for line in link_map:
            if line.startswith("Archive member included"):
                members = True
            elif line.startswith("Discarded input sections") or line.startswith("Memory Configuration"):
                members = False
            found = ARCHIVE_MEMBER.match(line) if members else None
            if line.startswith("LOAD ") and line.rstrip().endswith((".o", ".obj")):
                found = re.match(r"LOAD (\S+)", line)
            if found:
                path = os.path.normpath(found.group(1))
                mine = not os.path.isabs(path) or path.startswith(os.path.join(build, ""))
                (own if mine else others).append(path)
    return sorted(set(own)), sorted(set(others))


def place(rows, subject):
    return [row for row in rows if any(fnmatch.fnmatchcase(subject, pattern) for pattern in row[0])]


def program_files(app):
    """The DLLs, the programs and the packs (each holds a program)."""
    for folder, folders, files in os.walk(app):
        folders.sort()
        for name in sorted(files):
            if name.lower().endswith((".dll", ".exe", ".etipack")):
                yield os.path.relpath(os.path.join(folder, name), app).replace(os.sep, "/")


def where_components_are(app, rows, linked, build):
    """{row index: set of the app folder's files that hold it}"""
    where = {}
    for relative, link_map in sorted(linked.items()):
        if not os.path.isfile(os.path.join(app, relative)):
            raise Incomplete("{}: not in the app folder, though its link map is given".format(relative))
        own, others = linked_libraries(link_map, build)
        for library in others:
            if not place(rows, library):
                raise Incomplete("{} is linked into {}, and no row of components.tsv names it".format(
                    library, relative))
        for library in own + others:
            for row in place(rows, library):
                where.setdefault(rows.index(row), set()).add(relative)
    for relative in program_files(app):
        if relative in linked:
            continue
        found = place(rows, os.path.basename(relative))
        if not found:
            raise Incomplete("{} has no licence text: no row of components.tsv names it".format(relative))
        for row in found:
            where.setdefault(rows.index(row), set()).add(relative)
    return where


def kit_sources(kit):
    path = os.path.join(kit, "share/orva-kit/sources.tsv")
    if not os.path.isfile(path):
        raise Incomplete("{}: missing; the kit must list its source packages".format(path))
    with open(path, encoding="utf-8") as sources:
        pairs = [line.rstrip("\n").split("\t") for line in sources if line.strip()]
    if any(len(pair) != 2 for pair in pairs):
        raise Incomplete("{}: <source package><tab><version> lines expected".format(path))
    return dict(pairs)


def component(packages, origin, kit, sources):
    """(source package, Debian version, copyright file)"""
    if origin == "kit":
        for package in packages:
            if package in sources:
                return package, sources[package], os.path.join(kit, "share/orva-kit/copyright", package)
        raise Incomplete("{}: not among the kit's source packages (share/orva-kit/sources.tsv)".format(
            "|".join(packages)))
    query = subprocess.run(["dpkg-query", "-W", "-f=${source:Package}\t${source:Version}", origin],
                           capture_output=True, text=True)
    package, _, version = query.stdout.partition("\t")
    if query.returncode != 0 or package not in packages:
        raise Incomplete("{}: not installed, or not built from {}".format(origin, "|".join(packages)))
    return package, version, os.path.join("/usr/share/doc", origin, "copyright")


def common_licences(text):
    names = set()
    for reference in COMMON_REFERENCE.findall(text):
        path = os.path.realpath(os.path.join(COMMON_LICENCES, reference))
        if not os.path.isfile(path):
            raise Incomplete("{}/{}: referred to, missing on this machine".format(COMMON_LICENCES, reference))
        names.add(os.path.basename(path))
    return names | {taken for name in names for taken in TAKES_IN.get(name, [])}


def write(app, rows, where, kit, licence):
    sources = kit_sources(kit) if any(rows[index][2] == "kit" for index in where) else {}
    components = {}
    for index in sorted(where):
        packages, origin, names = rows[index][1], rows[index][2], rows[index][3]
        package, version, copyright_file = component(packages, origin, kit, sources)
        if not os.path.isfile(copyright_file):
            raise Incomplete("{}: missing, the licence of {}".format(copyright_file, package))
        with open(copyright_file, encoding="utf-8", errors="replace") as text:
            common = common_licences(text.read())
        entry = components.setdefault(package, {"version": version, "copyright": copyright_file,
                                                "licences": [], "in": set(), "common": set()})
        entry["licences"] += [names] if names not in entry["licences"] else []
        entry["in"] |= where[index]
        entry["common"] |= common

    # Everything is known by now: nothing below fails half-way for a reason of the table's or the kit's.
    folder = os.path.join(app, "licenses")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    shutil.copyfile(licence, os.path.join(app, "LICENSE.txt"))
    notices = [NOTICES_HEAD]
    for package, entry in sorted(components.items()):
        shutil.copyfile(entry["copyright"], os.path.join(folder, package + ".txt"))
        common = sorted(entry["common"])
        for name in common:
            shutil.copyfile(os.path.join(COMMON_LICENCES, name), os.path.join(folder, name + ".txt"))
        texts = ["licenses/{}.txt".format(name) for name in [package] + common]
        notices.append("{} {}\n".format(package, entry["version"]))
        for label, value in (("Licence", "; ".join(entry["licences"])), ("In", ", ".join(sorted(entry["in"]))),
                             ("Terms", ", ".join(texts)),
                             ("Source", "apt-get source {}={}".format(package, entry["version"]))):
            notices.append(textwrap.fill(value, 78, initial_indent="  {:9}".format(label + ":"),
                                         subsequent_indent=" " * 11, break_on_hyphens=False) + "\n")
        notices.append("\n")
    with open(os.path.join(app, "THIRD-PARTY-NOTICES.txt"), "w", encoding="utf-8") as out:
        out.write("".join(notices).rstrip("\n") + "\n")


NOTICES_HEAD = """ORVA for Windows: what this folder bundles

ORVA itself is under the MIT licence (LICENSE.txt). This folder also holds
the components below, each built from the Debian source package named, at
the version named. "In" names the files that hold a component's code (or,
for a program, call into its DLL); "Terms" the files with its copyright and
licence terms: licenses/<source package>.txt is its Debian copyright file
verbatim, the others are the licence texts that file refers to. "Source"
fetches its exact source on Debian 12 with deb-src entries in its apt
sources; scripts/build-windows.sh of ORVA's sources builds this folder from
those packages.

"""


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--app", required=True)
    parser.add_argument("--kit", required=True)
    parser.add_argument("--table", required=True)
    parser.add_argument("--licence", required=True)
    parser.add_argument("--build", required=True)
    parser.add_argument("--linked", action="append", default=[], metavar="FILE=MAP")
    args = parser.parse_args()
    linked = dict(entry.split("=", 1) for entry in args.linked)
    try:
        rows = read_table(args.table)
        write(args.app, rows, where_components_are(args.app, rows, linked, os.path.abspath(args.build)),
              args.kit, args.licence)
    except (Incomplete, OSError) as problem:
        print("notices.py: {}".format(problem), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
