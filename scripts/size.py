#!/usr/bin/env python3
"""Where the bytes of the shipped installer go, and a gate on their total.

    size.py EXE MAP [--budget BYTES] [--top N]

Prints the sections of EXE (a PE file), its resources, and its largest
contributors from the linker map MAP (written by ld's -Map): the library
pieces (archive members and objects) and the functions, each with the bytes
it adds to code, read-only data and unwind tables. Exits with 1 when EXE is
larger than BYTES, or when it carries one of the library pieces that
UNWANTED names (each came back once through one innocent-looking use).
"""
import argparse
import re
import struct
import sys
from collections import defaultdict
from pathlib import Path

RESOURCE_TYPES = {1: "cursor", 2: "bitmap", 3: "icon", 4: "menu", 5: "dialog", 6: "string table",
                  12: "cursor group", 14: "icon group", 16: "version", 24: "manifest"}
# Library pieces that the installer does without, and what brings each in.
UNWANTED = {
    "cow-string-inst.o": "the library's older string kind: std::runtime_error and the other standard "
                         "exception classes carry their message in it (derive from std::exception and keep "
                         "the message in a std::string, as EPathError does)",
    "cow-stdexcept.o": "the standard exception classes (see cow-string-inst.o)",
    "wstring-inst.o": "std::wstring's prebuilt members (hold UTF-16 in a std::vector<wchar_t>)",
    "string-inst.o": "std::string's prebuilt members (startup/uStringCode.cpp replaces them under "
                     "link-time optimisation: is it on?)",
    "mingw_pformat.o": "the printf machinery (snprintf and the like)",
    "ios_init.o": "iostreams",
    "inflate.o": "zlib's inflate (archive/uInflate.cpp is the installer's; zlib is for q7pack's deflate)",
}
# The output sections whose input pieces the report attributes.
ATTRIBUTED = (".text", ".rdata", ".data", ".eh_frame")


def pe_sections(image):
    """(name, file bytes, virtual size, rva, file offset) of each section."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        sys.exit("size: not a PE file")
    count, optional = struct.unpack_from("<H12xH", image, pe + 6)
    table = pe + 24 + optional
    sections = []
    for i in range(count):
        raw = image[table + 40 * i:table + 40 * (i + 1)]
        name = raw[:8].rstrip(b"\0").decode("latin-1")
        vsize, rva, fsize, offset = struct.unpack_from("<IIII", raw, 8)
        sections.append((name, fsize, vsize, rva, offset))
    return sections


def resources(image, sections):
    """(type, name, bytes) of every resource of the image."""
    rsrc = next((s for s in sections if s[0] == ".rsrc"), None)
    if rsrc is None:
        return []
    _, _, _, rva, offset = rsrc
    found = []

    def walk(at, path):
        named, numbered = struct.unpack_from("<12xHH", image, offset + at)
        for i in range(named + numbered):
            ident, target = struct.unpack_from("<II", image, offset + at + 16 + 8 * i)
            key = ident if not ident & 0x80000000 else "name"
            if target & 0x80000000:
                walk(target & 0x7FFFFFFF, path + [key])
            else:
                data_rva, size = struct.unpack_from("<II", image, offset + target)
                found.append((path[0], path[1], size))

    walk(0, [])
    return found


def map_pieces(text):
    """(output section, input section, file, size, [(address, symbol)]) from an ld map."""
    pieces, section, pending = [], None, None
    head = re.compile(r"^(\.\S+)\s+0x[0-9a-f]+\s+0x[0-9a-f]+")
    piece = re.compile(r"^ (\S+)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")
    symbol = re.compile(r"^\s+0x([0-9a-f]+)\s+(\S.*)$")
    for line in text.splitlines():
        m = head.match(line)
        if m:
            section = m.group(1)
            continue
        if section not in ATTRIBUTED:
            continue
        if re.match(r"^ \S+$", line):
            pending = line.strip()
            continue
        m = piece.match(line)
        if m:
            name = m.group(1) or pending
            pieces.append([section, name, m.group(4), int(m.group(2), 16), int(m.group(3), 16), []])
            pending = None
            continue
        m = symbol.match(line)
        if m and pieces and pieces[-1][0] == section:
            pieces[-1][5].append((int(m.group(1), 16), m.group(2)))
    return pieces


def library_piece(path):
    """'libstdc++.a(string-inst.o)' -> ('libstdc++', 'string-inst.o'); objects of ours by name."""
    m = re.match(r"^(?:.*/)?([^/(]+)\.a\(([^)]+)\)$", path)
    if m:
        return m.group(1), m.group(2)
    return "objects", Path(path).name


def functions(pieces):
    """Bytes of code per function: from its symbol to the next one in its piece."""
    sizes = defaultdict(int)
    for section, _, _, address, size, symbols in pieces:
        if section != ".text" or size == 0:
            continue
        symbols = sorted(s for s in symbols if address <= s[0] < address + size)
        ends = [a for a, _ in symbols[1:]] + [address + size]
        for (start, name), end in zip(symbols, ends):
            sizes[name] += end - start
    return sizes


def table(title, rows, top):
    print(f"\n{title}")
    for row in rows[:top]:
        print("  " + row)


def report(exe, map_file, budget, top):
    image = exe.read_bytes()
    sections = pe_sections(image)
    rows = [f"{name:<10} {fsize:>9,} {vsize:>9,}" for name, fsize, vsize, _, _ in sections]
    table(f"{exe}: {len(image):,} bytes; sections (file bytes, memory bytes)", rows, len(rows))
    res = sorted(resources(image, sections), key=lambda r: -r[2])
    table("resources", [f"{RESOURCE_TYPES.get(t, t)!s:<14} {n!s:<6} {s:>9,}" for t, n, s in res], top)

    pieces = map_pieces(map_file.read_text(errors="replace"))
    libraries, members = defaultdict(lambda: defaultdict(int)), defaultdict(lambda: defaultdict(int))
    for section, _, path, _, size, _ in pieces:
        library, member = library_piece(path)
        libraries[library][section] += size
        members[f"{library}: {member}"][section] += size

    def by_total(groups):
        ordered = sorted(groups.items(), key=lambda kv: -sum(kv[1].values()))
        return [f"{sum(v.values()):>9,} " + " ".join(f"{v[s]:>8,}" for s in ATTRIBUTED) + f"  {k}"
                for k, v in ordered]

    columns = "    total " + " ".join(f"{s:>8}" for s in ATTRIBUTED)
    table(f"libraries\n{columns}", by_total(libraries), top)
    table(f"largest pieces\n{columns}", by_total(members), top)
    code = sorted(functions(pieces).items(), key=lambda kv: -kv[1])
    table("largest functions (code bytes from each global symbol to the next; functions that\n"
          "link-time optimisation made local count to the symbol before them)", [f"{size:>9,}  {name}" for name, size in code], top)

    linked = {re.sub(r"^lib\w*_a-", "", library_piece(path)[1]) for _, _, path, _, _, _ in pieces}
    unwanted = sorted((m, why) for m, why in UNWANTED.items() if m in linked)
    for member, why in unwanted:
        print(f"\nsize: {member} is linked in: {why}")
    verdict = "within" if len(image) <= budget else "OVER"
    print(f"\n{len(image):,} bytes, {verdict} the budget of {budget:,} ({budget - len(image):+,})")
    return 0 if len(image) <= budget and not unwanted else 1


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("exe", type=Path)
    parser.add_argument("map", type=Path)
    parser.add_argument("--budget", type=int, default=204800)
    parser.add_argument("--top", type=int, default=15)
    args = parser.parse_args()
    for needed in (args.exe, args.map):
        if not needed.is_file():
            sys.exit(f"size: {needed}: no such file (build the win32 preset first)")
    sys.exit(report(args.exe, args.map, args.budget, args.top))


if __name__ == "__main__":
    main()
