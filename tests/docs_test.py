#!/usr/bin/env python3
"""The documents against what they describe, so that the two cannot drift:
q7pack's --help is the block of docs/reference/q7pack.md, the uninstall
script that docs/howto/lifecycle.md carries is examples/hello/uninstall.ini,
and docs/scripting.md documents every function the installer registers,
with the argument counts it takes.

  docs_test.py Q7PACK SOURCE_DIR
"""

import os
import re
import subprocess
import sys
import unittest

Q7PACK, ROOT = sys.argv[1], sys.argv[2]


def read(path):
    with open(os.path.join(ROOT, path), encoding="utf-8") as f:
        return f.read()


def block_after(document, marker):
    """The fenced block that follows the line holding marker in document."""
    text = read(document)
    found = re.search(re.escape(marker) + r".*?\n```[a-z]*\n(.*?)```\n", text, re.S)
    if not found:
        raise AssertionError(f"{document}: no fenced block after {marker!r}")
    return found.group(1)


def arity(signature):
    """(fewest, most) arguments of a documented call: `f(a, b [, c [, d]])`
    takes 2 to 4, `f(values...)` any number (-1)."""
    inside = signature[signature.index("(") + 1:signature.rindex(")")].strip()
    if inside.endswith("..."):
        return 0, -1
    names = [n for n in re.split(r"[\[\],]", inside) if n.strip()]
    required = [n for n in re.split(r",", inside.split("[")[0]) if n.strip()]
    return len(required), len(names)


class Documents(unittest.TestCase):
    def test_help_is_the_reference(self):
        shown = subprocess.run([Q7PACK, "--help"], capture_output=True, text=True, check=True).stdout
        # The levels depend on the compressor the build found (the page shows libdeflate's).
        levels = re.compile(r"compression level 0 \(stored\) to \d+, default \d+ \(\w+\)")
        self.assertEqual(levels.sub("LEVELS", block_after("docs/reference/q7pack.md", "<!-- q7pack --help -->")),
                         levels.sub("LEVELS", shown))

    def test_uninstall_script_is_the_example(self):
        self.assertEqual(block_after("docs/howto/lifecycle.md", "<!-- examples/hello/uninstall.ini -->"),
                         read("examples/hello/uninstall.ini"))

    def test_every_function_is_documented_with_its_counts(self):
        listed = re.findall(r'^Q7_FUNCTION\("(\w+)",\s*(-?\d+),\s*(-?\d+),', read(
            "scriptlib/installer/uPatcherFunctions.inc"), re.M)
        listed += re.findall(r'^\s*\{"(\w+)", (-?\d+), (-?\d+), kMethod', read("scriptlib/uScriptLib.cpp"), re.M)
        self.assertGreater(len(listed), 50)
        documented = {m.group(1): m.group(0) for m in
                      re.finditer(r"^\| `(\w+)\(([^`]*)\)`", read("docs/scripting.md"), re.M)}
        for name, fewest, most in listed:
            with self.subTest(function=name):
                self.assertIn(name, documented)
                self.assertEqual(arity(documented[name][3:]), (int(fewest), int(most)))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
