#!/usr/bin/env python3
"""The manual page q7pack(1), made from q7pack --help so the two say the same.

    manpage.py Q7PACK VERSION OUT.1.gz

The help's first line becomes NAME, its usage lines SYNOPSIS, and the rest
DESCRIPTION, set as it is (the help is laid out for a terminal already).
The output is the same bytes on every run: gzip without a time stamp.
"""
import gzip
import subprocess
import sys


def roff(line):
    """A line of text that roff shows as it is."""
    line = line.replace("\\", "\\e")
    return "\\&" + line if line.startswith((".", "'")) else line


def main():
    q7pack, version, out = sys.argv[1:4]
    help_text = subprocess.run([q7pack, "--help"], check=True, capture_output=True, text=True).stdout
    lines = help_text.rstrip("\n").split("\n")
    name = lines[0].rstrip(".")
    usage_end = lines.index("", 2)
    usage = [line[len("usage: "):] for line in lines[2:usage_end]]
    page = [
        '.TH Q7PACK 1 "" "q7patcher %s" "User Commands"' % version,
        ".SH NAME",
        roff(name).replace("q7pack ", "q7pack \\- ", 1),
        ".SH SYNOPSIS",
        ".nf",
        *map(roff, usage),
        ".fi",
        ".SH DESCRIPTION",
        ".nf",
        *map(roff, lines[usage_end + 1:]),
        ".fi",
    ]
    with open(out, "wb") as f, gzip.GzipFile(filename="", mode="wb", fileobj=f, mtime=0, compresslevel=9) as z:
        z.write(("\n".join(page) + "\n").encode("utf-8"))


if __name__ == "__main__":
    main()
