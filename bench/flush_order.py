#!/usr/bin/env python3
"""Checks the order of flushes and renames in strace logs of one
installation (bench/flush_order.sh), which is what a power cut can reveal:
a file system keeps what was flushed and may drop anything after.

  flush_order.py TRACE...   (strace -f -ttt -y logs, merged by time)

Holds when: every temporary file renamed into place was flushed before its
rename; the journal was flushed after the last file flush and before the
first rename into place; the journal's done mark was written and flushed
after the last rename. Prints the counts and exits 1 on the first breach.
"""
import re
import sys

TEMP = re.compile(r"\.q7pack-[0-9a-f]{16}\.tmp$")
CALL = re.compile(r"^(?:\d+\s+)?(\d+\.\d+) (\w+)\((.*)\) += (-?\d+)")
FD_PATH = re.compile(r"^\d+<(.*)>")
STRING = re.compile(r'"((?:[^"\\]|\\.)*)"')


def events(paths):
    """(time, call, args, result) of every finished call, in time order;
    an unfinished call is taken at the time it was resumed."""
    found, pending = [], {}
    for path in paths:
        for line in open(path, errors="replace"):
            line = line.rstrip("\n")
            if line.endswith("<unfinished ...>"):
                pid = line.split()[0]
                pending[pid] = line[: -len("<unfinished ...>")].rstrip()
                continue
            resumed = re.match(r"^(\d+)\s+(\d+\.\d+) <\.\.\. \w+ resumed>(.*)$", line)
            if resumed and resumed.group(1) in pending:
                start = pending.pop(resumed.group(1))
                line = re.sub(r"^(\d+\s+)\d+\.\d+", r"\g<1>" + resumed.group(2), start) + resumed.group(3)
            match = CALL.match(line)
            if match and int(match.group(4)) >= 0:
                found.append((float(match.group(1)), match.group(2), match.group(3), match.group(4)))
    return sorted(found, key=lambda event: event[0])


def main():
    flushed_at, first_move, last_move, renamed = {}, None, None, 0
    journal_flushes, last_file_flush, done_written = [], None, None
    for time, call, args, _ in events(sys.argv[1:]):
        if call in ("fsync", "fdatasync"):
            fd = FD_PATH.match(args)
            if not fd:
                continue
            if TEMP.search(fd.group(1)):
                flushed_at[fd.group(1)] = time
                last_file_flush = time
            elif fd.group(1).endswith("/.q7journal/journal"):
                journal_flushes.append(time)
        elif call == "write" and "/.q7journal/journal>" in args and '"K\\n"' in args:
            done_written = time
        elif call.startswith("rename"):
            names = STRING.findall(args)
            if len(names) < 2 or not TEMP.search(names[0]):
                continue
            source, target = names[0], names[1]
            if source not in flushed_at:
                sys.exit(f"flush_order: {source} renamed to {target} at {time} before any flush of it")
            if "/.q7journal/" in target:
                continue
            renamed += 1
            first_move = first_move or time
            last_move = time
    if not renamed:
        sys.exit("flush_order: no file went into place in the trace")
    if not any(last_file_flush <= t <= first_move for t in journal_flushes):
        sys.exit("flush_order: no flush of the journal between the last file flush and the first rename")
    if done_written is None or done_written < last_move or not any(t > done_written for t in journal_flushes):
        sys.exit("flush_order: the done mark was not written and flushed after the last rename")
    print(f"flush_order: {renamed} files went into place, each after its own flush; the journal was flushed "
          f"{first_move - max(t for t in journal_flushes if t <= first_move):.3f} s before the first rename, "
          f"the done mark {min(t for t in journal_flushes if t > done_written) - last_move:.3f} s after the last")


if __name__ == "__main__":
    main()
