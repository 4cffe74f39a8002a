#!/usr/bin/env python3
"""Keeps the copies the docs carry equal to what they copy.

A page marks a copy with two comments around a fenced block:

    <!-- begin: examples/hello/uninstall.ini -->
    ```
    ...the file's text...
    ```
    <!-- end: examples/hello/uninstall.ini -->

The name is a file of the tree, or `q7pack --help` for the help text of
the q7pack binary given with --q7pack. --check (the default) fails, with
the page, the line and a diff, on any copy that differs from its source;
--write puts the source's text into the page.
"""
import argparse
import difflib
import pathlib
import re
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
BLOCK = re.compile(r'<!-- begin: (?P<name>[^>]+?) -->\n```\n(?P<text>.*?)```\n<!-- end: (?P=name) -->',
                   re.S)


def source_text(name, q7pack):
    if name == 'q7pack --help':
        if not q7pack:
            sys.exit('docs_sync: the page copies q7pack --help; name the binary with --q7pack')
        return subprocess.run([q7pack, '--help'], check=True, capture_output=True, text=True).stdout
    path = ROOT / name
    if not path.is_file():
        sys.exit(f'docs_sync: the copy names {name}, which is not a file of the tree')
    return path.read_text().replace('\r\n', '\n')


def pages():
    yield ROOT / 'README.md'
    yield from sorted((ROOT / 'docs').rglob('*.md'))


def sync(page, q7pack, write):
    text = page.read_text()
    stale = []

    def replace(match):
        want = source_text(match['name'], q7pack)
        if not want.endswith('\n'):
            want += '\n'
        if match['text'] != want:
            line = text.count('\n', 0, match.start()) + 1
            stale.append((line, match['name'], match['text'], want))
        name = match['name']
        return f'<!-- begin: {name} -->\n```\n{want}```\n<!-- end: {name} -->'

    new = BLOCK.sub(replace, text)
    if write and new != text:
        page.write_text(new)
    return stale


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--q7pack', help='the q7pack binary whose --help a page copies')
    parser.add_argument('--write', action='store_true', help='update the copies instead of checking them')
    args = parser.parse_args()
    failed = False
    for page in pages():
        for line, name, have, want in sync(page, args.q7pack, args.write):
            rel = page.relative_to(ROOT)
            if args.write:
                print(f'{rel}:{line}: updated the copy of {name}')
                continue
            failed = True
            print(f'{rel}:{line}: the copy of {name} differs from it '
                  f'(scripts/docs_sync.py --write updates it):')
            sys.stdout.writelines(difflib.unified_diff(have.splitlines(True), want.splitlines(True),
                                                       f'{rel} (copy)', name))
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
