#!/usr/bin/env python3
"""Writes the seed corpora of the archive, inflate, peimage and q7pack fuzz targets
into tests/fuzz/corpus/NAME (run again after changing a seed; the files are
kept in git so that every preset replays them without Python). Its archive
and PE header writers serve tools/q7pack/q7pack_test.py too.

    make_corpus.py [INSTALLER.exe ...]

Each INSTALLER.exe given (the built q7patcher.exe of win32 or win64, a
signed installer) adds its PE headers to the peimage corpus. A signed
installer is made with q7pack create --stub and then osslsigncode sign
(Debian packages osslsigncode and openssl; a throw-away self-signed key).

archive inputs start with four bytes that place the rest in the source
stream: 0 for offset 0, 0x80000000 | d for offset 2^31 - 1 - d.
peimage inputs start with four bytes that give the readable region's size.
"""
import os
import struct
import sys
import zlib


def record(name: bytes, packed: bytes, unpacked: int) -> bytes:
    return struct.pack("<2sHII", b"px", len(name), len(packed), unpacked) + name + packed


def entry(name: bytes, data: bytes, level: int = 6) -> bytes:
    return record(name, zlib.compress(data, level), len(data))


END = b"px" + bytes(10)
SCRIPT = b'if (MESSAGE == INITAPP) { ArchiveFileCopy(1); ArchiveFileCopy(2, "sub/x.txt"); }\r\n'


def pattern(size: int, seed: int = 1) -> bytes:
    out = bytearray(size)
    for i in range(size):
        seed = (seed * 1103515245 + 12345) & 0xFFFFFFFF
        out[i] = (seed >> 24) if (i // 64) % 3 == 0 else 0x61 + i % 23
    return bytes(out)


def archives():
    """Bare archives of several shapes, valid and damaged."""
    setup = entry(b"setup.ini", SCRIPT)
    big = entry(b"dir\\big.bin", pattern(70000), 9)
    damaged = bytearray(entry(b"bad.bin", pattern(3000)))
    damaged[40] ^= 0x55
    yield "single", setup + END
    yield "several", setup + entry(b"", b"no name") + entry(b"a/b\\c.txt", b"x" * 100) + big + END
    yield "stored", setup + entry(b"stored.bin", pattern(40000), 0) + END
    yield "empty-entry", setup + entry(b"empty.txt", b"") + END
    yield "no-end-record", setup + entry(b"a.txt", b"a")
    yield "junk-behind-stream", setup + record(b"j.txt", zlib.compress(b"data") + b"junk", 4) + END
    yield "damaged-data", setup + bytes(damaged) + END
    yield "cut-short-name", setup + entry(b"third-name", b"3")[:16]
    yield "cut-short-data", (setup + big)[:-100]
    yield "packed-2gib", setup + struct.pack("<2sHII", b"px", 1, 0x80000000, 0) + b"z" + END
    yield "zero-packed-with-name", setup + struct.pack("<2sHII", b"px", 5, 0, 7) + entry(b"c", b"3")
    yield "fault3-names", setup + entry(b"CON", b"c") + entry(b"ads.txt:hidden", b"s") + entry(b"trail.", b"t") + END
    yield "escaping-names", (setup + entry(b"..\\up.txt", b"u") + entry(b"/abs.txt", b"a") +
                             entry(b"C:drive.txt", b"d") + entry(b"dir/../../x", b"x") + END)
    yield "duplicate-names", setup + entry(b"A.txt", b"1") + entry(b"a.TXT", b"2") + END
    yield "bomb", setup + entry(b"zeros.bin", bytes(4 << 20), 9) + END


def far(distance_to_limit: int) -> bytes:
    return struct.pack("<I", 0x80000000 | distance_to_limit)


def archive_inputs():
    for name, data in archives():
        yield name, struct.pack("<I", 0) + data
    setup = entry(b"setup.ini", SCRIPT)
    # Fault 1 in small: the first record's data starts exactly at 2^31.
    yield "far-data-at-2gib", far(12 + len(b"far.bin") - 1) + record(b"far.bin", b"A" * 40013, 40013) + END
    # A record ending at the last reachable position, then one past it.
    yield "far-last-reachable", far(len(setup)) + setup + END
    yield "far-crossing", far(len(setup) - 5) + setup + END
    yield "far-header-crossing", far(6) + setup + END
    yield "far-several", far(len(setup) + 30) + setup + entry(b"a.txt", b"a" * 100) + END


class Bits:
    """Raw deflate written bit by bit, for streams zlib's deflate never makes."""

    def __init__(self):
        self.value = self.count = 0

    def put(self, value, n):  # header fields and extra bits: least significant bit first
        self.value |= value << self.count
        self.count += n
        return self

    def code(self, code, n):  # Huffman codes: most significant bit first
        return self.put(int(format(code, "0%db" % n)[::-1] or "0", 2), n)

    def fixed(self, s):
        return self.code(*((0x30 + s, 8) if s < 144 else (0x190 + s - 144, 9) if s < 256 else
                           (s - 256, 7) if s < 280 else (0xC0 + s - 280, 8)))

    def flood(self):
        """100 KiB of matches and the end code: what a decoder that wrongly reads on writes."""
        for _ in range(400):
            self.fixed(285).code(0, 5)
        return self.fixed(256)

    def dynamic(self, nlen, ndist, lengths, symbols):
        """A final dynamic block's header: the code length code's lengths ({symbol: length}),
        then code length symbols with their extra bits."""
        self.put(5, 3).put(nlen - 257, 5).put(ndist - 1, 5).put(15, 4)
        for s in (16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15):
            self.put(lengths.get(s, 0), 3)
        codes, code = {}, 0
        for n in range(1, 8):
            for s in sorted(k for k, v in lengths.items() if v == n):
                codes[s], code = code, code + 1
            code <<= 1
        for s, extra in symbols:
            self.code(codes[s], lengths[s]).put(extra, {16: 2, 17: 3, 18: 7}.get(s, 0))
        return self

    def stream(self):
        """As a zlib stream, with the Adler-32 of what zlib inflates from it."""
        raw = self.value.to_bytes((self.count + 7) // 8, "little")
        try:
            data = zlib.decompressobj(-15).decompress(raw)
        except zlib.error:
            data = b""
        return b"\x78\x01" + raw + struct.pack(">I", zlib.adler32(data))


def inflate_inputs():
    """The differential table of uInflate_test and the inflate fuzz target's seeds: zlib
    streams named for what they are (ok-, bad- or cut-), every block kind and every kind of
    damage; the first byte chooses the size of the input's pieces."""
    text = pattern(20000)

    def deflate(data, level=6, strategy=zlib.Z_DEFAULT_STRATEGY, pieces=1):
        z = zlib.compressobj(level, zlib.DEFLATED, 15, 8, strategy)
        step = max(1, -(-len(data) // pieces))
        return b"".join(z.compress(data[i:i + step]) + z.flush(zlib.Z_SYNC_FLUSH)
                        for i in range(0, len(data), step)) + z.flush()

    def fixed(symbol, distance):  # 'a', a symbol and a distance code, a flood
        return Bits().put(3, 3).fixed(0x61).fixed(symbol).code(distance, 5).flood().stream()

    def dynamic(nlen, ndist, lengths, symbols, code=(0, 0)):
        return Bits().dynamic(nlen, ndist, lengths, symbols).code(*code).stream()
    far = Bits().put(0, 8).put(32768, 16).put(0x7FFF, 16).put(int.from_bytes(pattern(32768, 3), "little"), 262144)
    for last in (0, 0, 1):  # 258-byte matches 32768 bytes back, past several slides
        far.put(last, 1).put(1, 2)
        for _ in range(200):
            far.fixed(285).code(29, 5).put(32768 - 24577, 13)
        far.fixed(256)
    def header(method, flags):  # with the check bits right
        return bytes([method, flags + 31 - (method * 256 + flags) % 31])
    dynamic9 = deflate(text * 5, 9)
    good = deflate(text[:3000], 9)
    zero_one, runs, four = {0: 1, 1: 1}, {0: 1, 1: 2, 18: 2}, {0: 2, 1: 2, 2: 2, 18: 2}
    end_only, end_then_31 = [(18, 127), (18, 107), (1, 0), (0, 0)], [(18, 127), (18, 107), (1, 0), (18, 20)]
    streams = {
        "ok-empty": deflate(b""), "ok-stored": deflate(text, 0), "ok-fixed": deflate(text, 6, zlib.Z_FIXED),
        "ok-dynamic": dynamic9, "ok-huffman-only": deflate(text, 6, zlib.Z_HUFFMAN_ONLY),
        "ok-runs-at-distance-1": deflate(b"\xff" * (1 << 20), 6, zlib.Z_RLE),
        "ok-matches-at-distance-32768": far.stream(), "ok-flushed": deflate(text[:8000], 6, pieces=9),
        "ok-bytes-behind": good + b"junk", "ok-only-an-end-code": dynamic(257, 1, runs, end_only, (0, 1)),
        "bad-header-check": b"\x78\x02" + good[2:], "bad-method-7": header(0x77, 0) + good[2:],
        "bad-64k-window": header(0x88, 0) + good[2:], "bad-preset-dictionary": header(0x78, 0x20) + good[2:],
        "bad-block-type-3": Bits().put(7, 3).stream(),
        "bad-stored-complement": Bits().put(0, 8).put(5, 16).put(0xFFFB, 16).put(0x6F6C6C6568, 40)
                                       .put(3, 3).flood().stream(),
        "bad-287-literal-codes": dynamic(287, 1, runs, end_then_31, (0, 1)),
        "bad-31-distance-codes": dynamic(257, 31, runs, end_then_31, (0, 1)),
        "bad-length-286": fixed(286, 0), "bad-length-287": fixed(287, 0),
        "bad-distance-30": fixed(257, 30), "bad-distance-31": fixed(257, 31),
        "bad-distance-before-output": fixed(257, 1),
        "bad-over-subscribed-length-code": dynamic(257, 1, dict.fromkeys(range(19), 1), []),
        "bad-incomplete-length-code": dynamic(257, 1, {0: 1}, []),
        "bad-repeat-first": dynamic(257, 1, {16: 1, 0: 1}, [(16, 0)]),
        "bad-repeat-past-end": dynamic(257, 1, runs, [(18, 127), (18, 107), (1, 0), (18, 127)], (0, 1)),
        "bad-no-end-code": dynamic(257, 1, runs, [(18, 127), (18, 109)]),
        "bad-over-subscribed-literals": dynamic(257, 1, zero_one, [(1, 0)] * 258),
        "bad-incomplete-literals": dynamic(257, 1, four, [(18, 54), (2, 0), (18, 127), (18, 41), (2, 0), (0, 0)],
                                           (1, 2)),
        "bad-incomplete-distances": dynamic(257, 1, four, [(18, 127), (18, 107), (1, 0), (2, 0)], (0, 1)),
        "bad-no-distance-code": dynamic(258, 1, runs, [(18, 127), (18, 107), (1, 0), (1, 0), (0, 0)], (1, 1)),
        "bad-wrong-check": good[:-1] + bytes([good[-1] ^ 1]),
        "bad-damaged": dynamic9[:40] + bytes([dynamic9[40] ^ 0x55]) + dynamic9[41:],
        "bad-bomb": deflate(bytes(9 << 20), 9),
        "cut-short": dynamic9[:len(dynamic9) // 2], "cut-in-stored": deflate(text, 0)[:5000], "cut-no-input": b"",
    }
    for i, (name, stream) in enumerate(streams.items()):
        yield name, bytes([i]) + stream


def pe_headers(sections, optional_size=224, signature_at=0x80, magic=0x10B):
    """DOS header, PE signature, file header, optional header, section table."""
    table = signature_at + 4 + 20 + optional_size
    image = bytearray(table + 40 * len(sections))
    image[0:2] = b"MZ"
    struct.pack_into("<I", image, 0x3C, signature_at)
    image[signature_at:signature_at + 4] = b"PE\0\0"
    struct.pack_into("<HH", image, signature_at + 4, 0x14C, len(sections))
    struct.pack_into("<H", image, signature_at + 4 + 16, optional_size)
    struct.pack_into("<H", image, signature_at + 24, magic)
    for i, (pointer, size) in enumerate(sections):
        at = table + 40 * i
        image[at:at + 8] = b".sect%d\0\0" % i
        struct.pack_into("<II", image, at + 16, size, pointer)
    return bytes(image)


def region(data: bytes) -> bytes:
    return struct.pack("<I", len(data)) + data


def installer_parts(path):
    """The headers up to the end of the section table, and the whole file
    with the sections' data zeroed (its shape without its code), or None
    when nothing is appended behind the sections."""
    with open(path, "rb") as f:
        image = f.read()
    signature = struct.unpack_from("<I", image, 0x3C)[0]
    optional = struct.unpack_from("<H", image, signature + 20)[0]
    sections = struct.unpack_from("<H", image, signature + 6)[0]
    table = signature + 24 + optional
    data_end = max(sum(struct.unpack_from("<II", image, table + 40 * i + 16)) for i in range(sections))
    headers = image[:table + 40 * sections]
    if data_end >= len(image):
        return headers, None
    return headers, headers + bytes(data_end - len(headers)) + image[data_end:]


def main(installers):
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
    corpora = {"archive": dict(archive_inputs()), "inflate": dict(inflate_inputs()), "peimage": {},
               "q7pack": dict(archives())}
    small = pe_headers([(0x400, 0x200), (0x600, 0x100)])
    plus = pe_headers([(0x400, 0x200)], optional_size=240, magic=0x20B)
    fault5 = pe_headers([(0x400, 0x200), (0x7FFFFF00, 0x100)])
    wrapped = pe_headers([(0xFFFFFF00, 0x200)])
    corpora["peimage"].update({
        "pe32": region(small), "pe32plus": region(plus), "fault5-2gib": region(fault5),
        "wrapping-end": region(wrapped), "no-sections": region(pe_headers([])),
        "cut-table": region(small[:-3]), "far-signature": region(small[:0x3C] + b"\xf0\xff\xff\xff" + small[0x40:]),
    })
    setup = entry(b"setup.ini", SCRIPT) + END
    corpora["q7pack"].update({
        # Headers whose section data ends right where the archive follows.
        "installer": pe_headers([(len(pe_headers([(0, 0)])), 0)]) + setup,
        # Fault 5: the section data ends at 2^31; an archive follows the headers, and
        # another where a 64 KiB header read stops.
        "fault5-installer": fault5 + setup,
        "fault5-installer-64k": fault5 + setup + bytes(65536 - len(fault5 + setup)) + setup,
    })
    for path in installers:
        headers, shape = installer_parts(path)
        name = os.path.splitext(os.path.basename(path))[0]
        corpora["peimage"][name] = region(headers)
        if shape is not None:
            corpora["q7pack"][name] = shape
    for target, inputs in corpora.items():
        folder = os.path.join(root, target)
        os.makedirs(folder, exist_ok=True)
        for name, data in inputs.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main(sys.argv[1:])
