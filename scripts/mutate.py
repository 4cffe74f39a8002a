#!/usr/bin/env python3
"""Mutation check: do the tests notice a fault put into the code?

Reads the table of faults (scripts/mutations.txt), copies the tree into a
work folder of its own (its build folders stay there between runs, so later
runs build incrementally), then for each fault: writes it into the copy,
builds the targets of the tests that cover the file, runs only those tests
and puts the file back. A fault is KILLED when a test fails, SURVIVED when
they all pass, BROKEN when the copy no longer builds and MISSING when its
text is not found exactly once (the code changed: the table needs a look).

  scripts/mutate.py [--only REGEX] [--out FILE] [--work DIR] [--skip-baseline] [--list] [--matrix]

With --matrix every test of a fault's group runs, and each result line names
the cases that failed (gtest's Suite.Case, unittest's test method; a test
without cases by its own name): the evidence for which case catches a fault
no other case does.
"""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TABLE = os.path.join(ROOT, "scripts", "mutations.txt")
# Tests whose program is not a target of the same name.
TARGET_OF_TEST = {"q7pack_test": "q7pack", "brand_test": "q7pack"}
# What a test needs from another preset: brand_test brands the Windows stub.
NEEDS_OF_TEST = {"brand_test": [("win64", "q7patcher")]}
# The copy's compile lines name its files relative to its own root, as the
# worktree's do to theirs, so that ccache finds the objects of both.
ENV = dict(os.environ, CMAKE_CXX_COMPILER_LAUNCHER="ccache", CMAKE_C_COMPILER_LAUNCHER="ccache",
           CCACHE_DIR=os.environ.get("CCACHE_DIR", "/work/.ccache"))


class Mutation:
    def __init__(self, preset, path, tests, old, new, line):
        self.preset, self.path, self.tests = preset, path, tests
        self.old, self.new, self.line = old, new, line

    def key(self):
        return f"{self.path}: {self.old} => {self.new}"


def read_table(path):
    """Group lines '@ PRESET FILE : TEST...' and mutation lines 'OLD => NEW' below them."""
    mutations, group = [], None
    with open(path, encoding="utf-8") as table:
        for number, raw in enumerate(table, 1):
            text = raw.rstrip("\n")
            if not text.strip() or text.lstrip().startswith("#"):
                continue
            if text.startswith("@"):
                head, _, tests = text[1:].partition(":")
                fields = head.split()
                if len(fields) != 2 or not tests.split():
                    sys.exit(f"{path}:{number}: a group line is '@ PRESET FILE : TEST...'")
                group = (fields[0], fields[1], tests.split())
                continue
            if group is None or " => " not in text:
                sys.exit(f"{path}:{number}: expected 'OLD => NEW' under a group line")
            old, new = text.split(" => ", 1)
            mutations.append(Mutation(*group, old.strip(), new.strip(), number))
    return mutations


def tracked_files():
    out = subprocess.run(["git", "ls-files", "-co", "--exclude-standard", "-z"], cwd=ROOT,
                         check=True, capture_output=True).stdout
    return [f for f in out.decode().split("\0") if f and os.path.isfile(os.path.join(ROOT, f))]


def sync_copy(src):
    """Makes src hold the tree's files; unchanged files keep their times."""
    wanted = set(tracked_files())
    for name in wanted:
        a, b = os.path.join(ROOT, name), os.path.join(src, name)
        if os.path.isfile(b) and os.path.getsize(a) == os.path.getsize(b):
            with open(a, "rb") as fa, open(b, "rb") as fb:
                if fa.read() == fb.read():
                    shutil.copymode(a, b)
                    continue
        os.makedirs(os.path.dirname(b), exist_ok=True)
        # A fresh time, newer than any object built from a faulty version
        # that an interrupted run left behind; the mode too (the scripts
        # the tests run must stay executable).
        shutil.copyfile(a, b)
        shutil.copymode(a, b)
    for folder, dirs, files in os.walk(src):
        rel = os.path.relpath(folder, src)
        if rel == ".":
            dirs[:] = [d for d in dirs if d != "build"]
        for f in files:
            name = os.path.normpath(os.path.join(rel, f))
            if name not in wanted:
                os.remove(os.path.join(folder, f))


def run(cmd, cwd, log, timeout=None):
    with open(log, "a") as out:
        out.write(f"$ {' '.join(cmd)}\n")
        out.flush()
        # A session of its own, so that a timeout ends the tests ctest started too.
        process = subprocess.Popen(["nice", "-n", "10"] + cmd, cwd=cwd, env=ENV, stdout=out,
                                   stderr=subprocess.STDOUT, start_new_session=True)
        try:
            return process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
            out.write("(timed out)\n")
            return -1


def targets(tests):
    out = []
    for t in tests:
        target = TARGET_OF_TEST.get(t, t)
        if target and target not in out:
            out.append(target)
    return out


def build(src, preset, tests, log):
    return run(["cmake", "--build", "--preset", preset, "-j2", "--target"] + targets(tests), src, log) == 0


def passes(src, preset, tests, log):
    regex = "^(" + "|".join(re.escape(t) for t in tests) + ")$"
    # A fault may make a test loop: the native tests take seconds, those under Wine minutes.
    # A test's own TIMEOUT outlasts ctest's --timeout, so the run as a whole is cut off too.
    limit = 60 if preset.startswith("native") else 600
    cmd = ["ctest", "--preset", preset, "-R", regex, "--timeout", str(limit), "--stop-on-failure",
           "--output-on-failure"]
    return run(cmd, src, log, timeout=2 * limit if preset.startswith("native") else 1800) == 0


def pattern(old):
    """The old text exactly, a line break and the next line's indentation for each <NL>."""
    return r"\n[ \t]*".join(re.escape(part) for part in old.split("<NL>"))


def apply(src, m):
    path = os.path.join(src, m.path)
    if not os.path.isfile(path):
        return None
    with open(path, encoding="utf-8") as f:
        original = f.read()
    found = list(re.finditer(pattern(m.old), original))
    if len(found) != 1:
        return None
    with open(path, "w", encoding="utf-8") as f:
        f.write(original[:found[0].start()] + m.new.replace("<NL>", "\n") + original[found[0].end():])
    return original


def restore(src, m, original):
    with open(os.path.join(src, m.path), "w", encoding="utf-8") as f:
        f.write(original)


def baseline(src, preset, mutations, log):
    tests = sorted({t for m in mutations for t in m.tests})
    print(f"baseline {preset}: {' '.join(tests)}", flush=True)
    if run(["cmake", "--preset", preset], src, log) != 0:
        sys.exit(f"{preset} does not configure; see {log}")
    for other, target in {need for t in tests for need in NEEDS_OF_TEST.get(t, [])}:
        if run(["cmake", "--preset", other], src, log) or run(["cmake", "--build", "--preset", other, "-j2",
                                                                "--target", target], src, log):
            sys.exit(f"{target} of {other}, which the tests need, does not build; see {log}")
    if not build(src, preset, tests, log) or not passes(src, preset, tests, log):
        sys.exit(f"the unmutated tree fails on {preset}; see {log}")


# The lines in which a failed run names its failed cases.
FAILED_CASE = re.compile(r"^\[  FAILED  \] ([\w/]+\.[\w/]+)|^(?:FAIL|ERROR): (\w+) \(", re.M)


def failed_cases(test, text):
    cases = sorted({f"{test}:{a or b}" for a, b in FAILED_CASE.findall(text)})
    return cases or [test]


def check(src, m, log, matrix=False):
    """The fault's fate, and the test that caught it (empty when none did);
    with matrix, every case of every test of the group that caught it."""
    original = apply(src, m)
    if original is None:
        return "MISSING", ""
    try:
        with open(log, "a") as out:
            out.write(f"\n=== {m.key()}\n")
        # One test after the other, in the table's order: most faults fall to
        # the first, and the rest need not even be linked.
        caught = []
        for test in m.tests:
            if not build(src, m.preset, [test], log):
                return "BROKEN", ""
            start = os.path.getsize(log)
            if not passes(src, m.preset, [test], log):
                if not matrix:
                    return "KILLED", test
                with open(log, encoding="utf-8", errors="replace") as f:
                    f.seek(start)
                    caught += failed_cases(test, f.read())
        return ("KILLED", " ".join(caught)) if caught else ("SURVIVED", "")
    finally:
        restore(src, m, original)


def results(path):
    """{fault: status} of a result list."""
    found = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            status, _, rest = line.rstrip("\n").partition(" ")
            if status in ("KILLED", "SURVIVED", "BROKEN", "MISSING"):
                found[re.sub(r"   \[[^]]*\]$", "", rest.strip())] = status
    return found


def compare(before, after):
    old, new = results(before), results(after)
    lost = [k for k, s in old.items() if s == "KILLED" and new.get(k) != "KILLED"]
    for k in lost:
        print(f"LOST     {k} ({new.get(k, 'not run')})")
    both = [k for k, s in old.items() if s == "SURVIVED" and new.get(k) == "SURVIVED"]
    for k in both:
        print(f"GAP      {k}")
    print(f"{sum(s == 'KILLED' for s in old.values())} killed before, {len(lost)} of them not after; "
          f"{len(both)} survive both")
    return 1 if lost else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--only", help="run only the mutations whose 'file: old => new' matches")
    parser.add_argument("--preset", help="run only the mutations built by this preset")
    parser.add_argument("--faults", help="run only the faults named in this file, one 'file: old => new' a line "
                        "(a result list will do)")
    parser.add_argument("--out", help="also write the result lines to this file")
    parser.add_argument("--work", default=f"/tmp/q7mutate-{os.path.basename(ROOT)}")
    parser.add_argument("--skip-baseline", action="store_true", help="do not check the unmutated tree first")
    parser.add_argument("--list", action="store_true", help="print the table and stop")
    parser.add_argument("--matrix", action="store_true", help="run every test of a fault's group and name "
                        "each case that failed")
    parser.add_argument("--compare", nargs=2, metavar=("BEFORE", "AFTER"),
                        help="print the faults BEFORE's list kills and AFTER's does not, and stop")
    args = parser.parse_args()

    if args.compare:
        return compare(*args.compare)
    mutations = read_table(TABLE)
    if args.only:
        mutations = [m for m in mutations if re.search(args.only, m.key())]
    if args.preset:
        mutations = [m for m in mutations if m.preset == args.preset]
    if args.faults:
        # Keys compared without the blank a fault that deletes its text ends with.
        wanted = set(results(args.faults)) | {l.strip() for l in open(args.faults, encoding="utf-8")}
        mutations = [m for m in mutations if m.key().strip() in wanted]
    if args.list:
        missing = 0
        for m in mutations:
            path = os.path.join(ROOT, m.path)
            text = open(path, encoding="utf-8").read() if os.path.isfile(path) else ""
            found = len(re.findall(pattern(m.old), text))
            missing += found != 1
            print(f"{'ok' if found == 1 else 'MISSING':7} {m.preset:6} {m.key()}")
        print(f"{len(mutations)} mutations, {missing} not found exactly once")
        return 1 if missing else 0
    src = os.path.join(args.work, "src")
    os.makedirs(src, exist_ok=True)
    ENV["CCACHE_BASEDIR"] = src
    log = os.path.join(args.work, "mutate.log")
    open(log, "w").close()
    sync_copy(src)
    # An interrupted run may have left an object built from a fault whose
    # source was put back since: the files of the table are built afresh.
    for path in {m.path for m in mutations}:
        if os.path.isfile(os.path.join(src, path)):
            os.utime(os.path.join(src, path))
    commit = subprocess.run(["git", "describe", "--always", "--dirty"], cwd=ROOT, capture_output=True,
                            text=True).stdout.strip()
    # One preset after the other: its unmutated tests first, then its faults.
    counts, lines, done = {}, [f"tree {commit}"], 0
    for preset in sorted({m.preset for m in mutations}):
        group = [m for m in mutations if m.preset == preset]
        if not args.skip_baseline:
            baseline(src, preset, group, log)
        for m in group:
            started = time.time()
            status, by = check(src, m, log, args.matrix)
            counts[status] = counts.get(status, 0) + 1
            line = f"{status:8} {m.key()}" + (f"   [{by}]" if by else "")
            lines.append(line)
            done += 1
            print(f"[{done}/{len(mutations)} {time.time() - started:4.0f}s] {line}", flush=True)
            if args.out:
                with open(args.out, "w") as f:
                    f.write("\n".join(lines) + "\n")

    summary = ", ".join(f"{counts.get(s, 0)} {s.lower()}" for s in ("KILLED", "SURVIVED", "BROKEN", "MISSING"))
    print(f"{len(mutations)} mutations: {summary}")
    if args.out:
        with open(args.out, "w") as f:
            f.write("\n".join(lines + [f"{len(mutations)} mutations: {summary}"]) + "\n")
    return 0 if not counts.get("MISSING") and not counts.get("BROKEN") else 1


if __name__ == "__main__":
    sys.exit(main())
