#!/usr/bin/env python3
"""Writes sample archives with Python's own zlib, independently of our
writer, so the reader is checked against a second implementation of the
format.

For every archive NAME.q7a it writes NAME.q7a.expect: one line per entry,
"<hex of the name> <expected ExtractTo code> <hex of the expected bytes, or
-1 when the output does not matter>", preceded by a line
"table <LoadFileTable code> <offset the table starts at>".
"""
import os
import random
import struct
import sys
import zlib


def record(name: bytes, packed: bytes, unpacked: int) -> bytes:
    return struct.pack("<2sHII", b"px", len(name), len(packed), unpacked) + name + packed


END = b"px" + bytes(10)


def write(folder, name, archive, table_code, entries, offset=0):
    with open(os.path.join(folder, name), "wb") as f:
        f.write(archive)
    with open(os.path.join(folder, name + ".expect"), "w") as f:
        f.write("table %d %d\n" % (table_code, offset))
        for entry_name, code, data in entries:
            f.write("%s %d %s\n" % (entry_name.hex() or "-", code, "-1" if data is None else (data.hex() or "-")))


def main(folder):
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(7)
    text = b"".join(b"line %d of the readme \xe8\xed\xbe\n" % i for i in range(3000))
    binary = bytes(rng.getrandbits(8) for _ in range(70000))
    entries = [
        (b"setup.ini", b"if (MESSAGE == INITAPP) { MessageBox(\"Ahoj\"); }\r\n"),
        (b"readme.txt", text),
        (b"bin\\tool.exe", binary),
        (b"", b"entry without a name"),
        (b"empty.txt", b""),
        (b"\xc8\xed\xf2ania.txt", b"windows-1250 name"),
    ]
    levels = [9, 1, 0, 6, 9, 9]
    archive = b"".join(record(n, zlib.compress(d, lv), len(d)) for (n, d), lv in zip(entries, levels))
    write(folder, "mixed.q7a", archive + END, 0, [(n, 0, d) for n, d in entries])

    # Appended behind other bytes, as behind an executable image.
    prefix = b"MZ" + bytes(510)
    write(folder, "appended.q7a", prefix + archive + END, 0, [(n, 0, d) for n, d in entries], len(prefix))

    # Streams written with a dictionary-free raw compressor object in many
    # small flushes: odd block structure, still one zlib stream.
    c = zlib.compressobj(5)
    pieces = b"".join(c.compress(text[i:i + 1000]) + c.flush(zlib.Z_SYNC_FLUSH) for i in range(0, len(text), 1000))
    flushed = pieces + c.flush()
    # An Adler-32 mismatch, data behind the end of the stream, and a wrong
    # unpacked size.
    good = zlib.compress(text, 9)
    bad_sum = good[:-1] + bytes([good[-1] ^ 1])
    write(folder, "damaged.q7a",
          record(b"flushed", flushed, len(text)) + record(b"badsum", bad_sum, len(text))
          + record(b"trailing", good + b"junk behind the stream", len(text))
          + record(b"wrongsize", zlib.compress(b"abc"), 999) + END,
          0, [(b"flushed", 0, text), (b"badsum", 9, None), (b"trailing", 0, text), (b"wrongsize", 0, b"abc")])

    # No end record, then a name cut short.
    two = record(b"one", zlib.compress(b"1"), 1) + record(b"two", zlib.compress(b"2"), 1)
    write(folder, "noend.q7a", two, 0, [(b"one", 0, b"1"), (b"two", 0, b"2")])
    write(folder, "shortname.q7a", two + struct.pack("<2sHII", b"px", 50, 10, 1) + b"short", 7,
          [(b"one", 0, b"1"), (b"two", 0, b"2")])


if __name__ == "__main__":
    main(sys.argv[1])
