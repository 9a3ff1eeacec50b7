#!/usr/bin/env python3
"""Mutation run: breaks the product code on purpose, one mutant at a time,
and tells which mutants the test suite notices.

    scripts/mutate.py generate --tree . --count 110 --seed 7 -o mutants.json
    scripts/mutate.py port mutants.json --tree NEW -o ported.json
    scripts/mutate.py run mutants.json --tree . --build build/mutate \
        --fast '-L fast' --slow '-L e2e' -o results.jsonl

A mutant is one changed line: a comparison or boolean operator swapped, a
constant moved by one, a call deleted, a condition negated, or a character
taken out of a separator or forbidden-name set. `run` applies it, rebuilds,
runs the fast tests and, only if they all pass, the slow ones; then puts the
line back. A mutant that does not build is left out of the rates. Results
are appended one JSON object per line, so an interrupted run resumes.
`port` finds each mutant's line in another tree by its text, so that the
same mutants can be run against two versions of the code.
"""

import argparse
import json
import os
import random
import re
import shlex
import subprocess
import sys

# The parts of the product the run mutates: launcher, start-up, layout, pack
# format, installer, manager and chainlaunch.
PRODUCT_DIRS = ("orva", "gui", "pack", "installer", "packsetup", "chainlaunch")
SKIP_FILES = ("main.cpp",)

STRING = re.compile(r'"(?:[^"\\]|\\.)*"' + r"|'(?:[^'\\]|\\.)'")
RELATIONS = [(" == ", " != "), (" != ", " == "), (" <= ", " < "), (" >= ", " > "), (" < ", " <= "),
             (" > ", " >= "), (" && ", " || "), (" || ", " && ")]
NUMBER = re.compile(r"(?<![\w.])(\d+)(?![\w.])")
CALL = re.compile(r"^(\s*)(?:[\w:]+(?:\.|->))*[\w:]+\(.*\);\s*$")
CONDITION = re.compile(r"^(\s*(?:\} )?(?:else )?(?:if|while) \()(.*)(\)(?: \{)?)\s*$")
SEPARATOR_TERM = re.compile(r"\w+ == '\\?.' \|\| ")


def code_part(line):
    """The line with string and character literals blanked out and without
    a trailing comment, so that operators are only found in code."""
    blanked = STRING.sub(lambda match: "_" * len(match.group(0)), line)
    comment = blanked.find("//")
    return blanked if comment < 0 else blanked[:comment]


def candidates(text, previous=""):
    """(operator, mutated line) pairs for one source line; `previous` is the
    line before it, which tells whether this one starts a statement."""
    stripped = text.strip()
    if not stripped or stripped.startswith(("#", "//", "*", "/*")) or "static_assert" in text:
        return
    code = code_part(text)
    for before, after in RELATIONS:
        start = code.find(before)
        while start >= 0:
            yield "operator", text[:start] + after + text[start + len(before):]
            start = code.find(before, start + 1)
    for match in NUMBER.finditer(code):
        value = int(match.group(1))
        for changed in (value + 1, value - 1):
            if changed >= 0:
                yield "constant", text[:match.start(1)] + str(changed) + text[match.end(1):]
    for match in re.finditer(r"\(!", code):
        yield "negation", text[:match.start() + 1] + text[match.start() + 2:]
    condition = CONDITION.match(text)
    if condition and "(" + condition.group(2) + ")" != "()":
        yield "condition", condition.group(1) + "!(" + condition.group(2) + ")" + condition.group(3)
    opens_statement = previous.strip().endswith((";", "{", "}")) or not previous.strip()
    if CALL.match(text) and opens_statement and not stripped.startswith(("return", "delete")):
        yield "call", CALL.match(text).group(1) + ";"
    for match in SEPARATOR_TERM.finditer(text):
        yield "character set", text[:match.start()] + text[match.end():]
    for match in STRING.finditer(text):
        # A literal of three or more punctuation characters is a set of them.
        body = match.group(0)[1:-1]
        if len(body.replace("\\", "")) < 3 or any(char.isalnum() or char.isspace() for char in body):
            continue
        for index in range(len(body)):
            if body[index] == "\\" or (index > 0 and body[index - 1] == "\\"):
                continue
            at = match.start() + 1 + index
            yield "character set", text[:at] + text[at + 1:]


def product_files(tree):
    for folder in PRODUCT_DIRS:
        for root, _, files in os.walk(os.path.join(tree, folder)):
            for name in sorted(files):
                if name.endswith(".cpp") and name not in SKIP_FILES:
                    yield os.path.relpath(os.path.join(root, name), tree)


def generate(args):
    pool = []
    for path in product_files(args.tree):
        with open(os.path.join(args.tree, path), encoding="utf-8") as source:
            lines = source.read().split("\n")
            for number, line in enumerate(lines, 1):
                for operator, mutated in candidates(line, lines[number - 2] if number > 1 else ""):
                    pool.append({"path": path, "line": number, "original": line, "mutated": mutated,
                                 "operator": operator})
    random.Random(args.seed).shuffle(pool)
    chosen = sorted(pool[:args.count], key=lambda mutant: (mutant["path"], mutant["line"]))
    for index, mutant in enumerate(chosen, 1):
        mutant["id"] = index
    write_json(args.output, chosen)
    print("{} mutants chosen from {} candidates".format(len(chosen), len(pool)))


def port(args):
    """Finds each mutant's line, by its text, among the other tree's files."""
    lines = {}
    for path in product_files(args.tree):
        with open(os.path.join(args.tree, path), encoding="utf-8") as source:
            for number, line in enumerate(source.read().split("\n"), 1):
                lines.setdefault(line.strip(), []).append((path, number, line))
    ported, lost = [], []
    for mutant in read_json(args.mutants):
        places = lines.get(mutant["original"].strip(), [])
        same_name = [place for place in places
                     if os.path.basename(place[0]) == os.path.basename(mutant["path"])]
        places = same_name or places
        if len(places) != 1:
            lost.append((mutant["id"], len(places)))
            continue
        path, number, line = places[0]
        indent = line[:len(line) - len(line.lstrip())]
        old_indent = mutant["original"][:len(mutant["original"]) - len(mutant["original"].lstrip())]
        mutated = indent + mutant["mutated"][len(old_indent):]
        ported.append(dict(mutant, path=path, line=number, original=line, mutated=mutated))
    write_json(args.output, ported)
    print("{} ported; not found or ambiguous (id, places): {}".format(len(ported), lost))


def ctest(build, selection, timeout):
    command = ["ctest", "--test-dir", build, "--stop-on-failure", "-j2"] + shlex.split(selection)
    try:
        result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=timeout)
    except subprocess.TimeoutExpired:
        return False, "timeout"
    failed = re.findall(rb"\d+ - (\S+) \(", result.stdout)
    return result.returncode == 0, b" ".join(failed).decode()


def run(args):
    done = set()
    if os.path.exists(args.output):
        with open(args.output) as previous:
            done = {json.loads(line)["id"] for line in previous if line.strip()}
    for mutant in read_json(args.mutants):
        if mutant["id"] in done or (args.only and mutant["id"] not in args.only):
            continue
        path = os.path.join(args.tree, mutant["path"])
        with open(path, encoding="utf-8") as source:
            original = source.read()
        lines = original.split("\n")
        if lines[mutant["line"] - 1] != mutant["original"]:
            verdict, detail = "stale", "line changed"
        else:
            lines[mutant["line"] - 1] = mutant["mutated"]
            try:
                with open(path, "w", encoding="utf-8") as source:
                    source.write("\n".join(lines))
                verdict, detail = judge(args)
            finally:
                with open(path, "w", encoding="utf-8") as source:
                    source.write(original)
        record = dict(mutant, verdict=verdict, detail=detail)
        with open(args.output, "a") as results:
            results.write(json.dumps(record, ensure_ascii=False) + "\n")
        print("{id:4} {verdict:10} {path}:{line} {operator}: {detail}".format(**record), flush=True)
    summarize(args.output)


def judge(args):
    build = subprocess.run(["cmake", "--build", args.build, "-j2"], stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT)
    if build.returncode != 0:
        # The build packs the samples with etipack, which reads each pack back
        # as packsetup would: a mutant can fail that check without any test.
        if b"Packing the sample" in build.stdout and b"error:" not in build.stdout:
            return "killed", "build: sample packs"
        return "unbuilt", ""
    passed, failed = ctest(args.build, args.fast, args.timeout)
    if not passed:
        return "killed", "fast: " + failed
    if args.slow:
        passed, failed = ctest(args.build, args.slow, args.timeout * 6)
        # End-to-end tests share the machine: a failure counts once it repeats.
        if not passed and failed:
            passed, _ = ctest(args.build, "-R '^(" + "|".join(failed.split()) + ")$'", args.timeout * 6)
        if not passed:
            return "killed", "slow: " + failed
    return "survived", ""


def summarize(path):
    with open(path) as results:
        records = [json.loads(line) for line in results if line.strip()]
    viable = [record for record in records if record["verdict"] in ("killed", "survived")]
    killed = [record for record in viable if record["verdict"] == "killed"]
    if viable:
        print("killed {} of {} viable mutants ({:.0%}); {} did not build or were stale".format(
            len(killed), len(viable), len(killed) / len(viable), len(records) - len(viable)))


def read_json(path):
    with open(path, encoding="utf-8") as data:
        return json.load(data)


def write_json(path, value):
    with open(path, "w", encoding="utf-8") as data:
        json.dump(value, data, ensure_ascii=False, indent=1)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    verbs = parser.add_subparsers(dest="verb", required=True)
    make = verbs.add_parser("generate")
    make.add_argument("--tree", default=".")
    make.add_argument("--count", type=int, default=100)
    make.add_argument("--seed", type=int, default=1)
    make.add_argument("-o", "--output", required=True)
    move = verbs.add_parser("port")
    move.add_argument("mutants")
    move.add_argument("--tree", required=True)
    move.add_argument("-o", "--output", required=True)
    test = verbs.add_parser("run")
    test.add_argument("mutants")
    test.add_argument("--tree", default=".")
    test.add_argument("--build", required=True)
    test.add_argument("--fast", required=True, help="ctest arguments selecting the fast tests")
    test.add_argument("--slow", default="", help="ctest arguments selecting the end-to-end tests")
    test.add_argument("--timeout", type=int, default=600, help="seconds for the fast tests")
    test.add_argument("--only", type=int, nargs="*", help="mutant ids to run")
    test.add_argument("-o", "--output", required=True)
    args = parser.parse_args()
    {"generate": generate, "port": port, "run": run}[args.verb](args)


if __name__ == "__main__":
    sys.exit(main())
