#!/usr/bin/env python3
"""Writes the seed corpora of the archive, inflate, solid, peimage and q7pack fuzz targets
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
import lzma
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
    yield "superscript-port-names", (setup + entry(b"COM\xb9", b"1") + entry(b"lpt\xc2\xb2.txt", b"2") +
                                     entry(b"dir\\LPT\xb3", b"3") + entry(b"COM\xb4", b"4") + END)
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


def huff(code, n):  # raw deflate is (value, bits) fields, least significant bit first; codes go the other way
    return int(format(code, "0%db" % n)[::-1] or "0", 2), n


def fixed(*symbols):  # literal/length symbols in the fixed code
    return [huff(*((0x30 + s, 8) if s < 144 else (0x190 + s - 144, 9) if s < 256 else
                   (s - 256, 7) if s < 280 else (0xC0 + s - 280, 8))) for s in symbols]


# 100 KiB of matches: what a decoder that wrongly reads on past damage writes out.
FLOOD = (fixed(285) + [huff(0, 5)]) * 400 + fixed(256)


def dynamic(nlen, ndist, lengths, symbols):  # a final dynamic block: lengths {symbol: bits}, symbols
    fields = [(5, 3), (nlen - 257, 5), (ndist - 1, 5), (15, 4)] + [
        (lengths.get(s, 0), 3) for s in (16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15)]
    codes, code, previous = {}, 0, 0
    for s in sorted(lengths, key=lambda s: (lengths[s], s)):  # canonical: by length, then symbol
        code <<= lengths[s] - previous
        codes[s], code, previous = code, code + 1, lengths[s]
    for s, extra in symbols:
        fields += [huff(codes[s], lengths[s]), (extra, {16: 2, 17: 3, 18: 7}.get(s, 0))]
    return fields


def zlib_stream(fields):  # with the Adler-32 of what zlib inflates from it
    value = count = 0
    for field, n in fields:
        value, count = value | field << count, count + n
    raw = value.to_bytes((count + 7) // 8, "little")
    try:
        data = zlib.decompressobj(-15).decompress(raw)
    except zlib.error:
        data = b""
    return b"\x78\x01" + raw + struct.pack(">I", zlib.adler32(data))


def deflate(data, level=6, strategy=zlib.Z_DEFAULT_STRATEGY, pieces=1):
    z, step = zlib.compressobj(level, zlib.DEFLATED, 15, 8, strategy), max(1, -(-len(data) // pieces))
    return b"".join(z.compress(data[i:i + step]) + z.flush(zlib.Z_SYNC_FLUSH)
                    for i in range(0, len(data), step)) + z.flush()


def inflate_inputs():
    """uInflate_test's table, the inflate fuzz target's seeds: zlib streams named for how they end."""
    text = pattern(20000)
    # 32 KiB in a stored block, then 258-byte matches 32768 bytes back, past several slides.
    far = [(0, 8), (32768, 16), (0x7FFF, 16), (int.from_bytes(pattern(32768, 3), "little"), 8 * 32768)]
    for last in (0, 0, 1):
        far += [(last, 1), (1, 2)] + (fixed(285) + [huff(29, 5), (32768 - 24577, 13)]) * 200 + fixed(256)
    big, good = deflate(text * 5, 9), deflate(text[:3000], 9)
    header = lambda method, flags: bytes([method, flags + 31 - (method * 256 + flags) % 31])
    bad_symbol = lambda symbol, distance: zlib_stream([(3, 3)] + fixed(97, symbol) + [huff(distance, 5)]
                                                      + FLOOD)
    block = lambda nlen, ndist, lengths, symbols, body=(): zlib_stream(
        dynamic(nlen, ndist, lengths, symbols) + [huff(*code) for code in body])
    # 'a' in a fixed block, then 300 bytes stored: some of them come from the bit buffer.
    fixed_then_stored = [(0, 1), (1, 2)] + fixed(97, 256) + [(1, 3), (0, 3), (300, 16), (0xFED3, 16)]
    fixed_then_stored += [(97, 8)] * 300
    runs, four, zeros = {0: 1, 1: 2, 18: 2}, {0: 2, 1: 2, 2: 2, 18: 2}, [(18, 127), (18, 107)]  # 256 zeros
    streams = {
        "ok-empty": deflate(b""), "ok-stored": deflate(text, 0), "ok-fixed": deflate(text, 6, zlib.Z_FIXED),
        "ok-dynamic": big, "ok-huffman-only": deflate(text, 6, zlib.Z_HUFFMAN_ONLY),
        "ok-runs-at-distance-1": deflate(b"\xff" * (1 << 20), 6, zlib.Z_RLE),
        "ok-matches-at-distance-32768": zlib_stream(far), "ok-flushed": deflate(text[:8000], 6, pieces=9),
        "ok-bytes-behind": good + b"junk", "ok-stored-after-fixed": zlib_stream(fixed_then_stored),
        "ok-short-distances": deflate(b"".join(bytes(range(p)) * (3000 // p) for p in range(2, 9)), 9),
        "ok-only-an-end-code": block(257, 1, runs, zeros + [(1, 0), (0, 0)], [(0, 1)]),
        "bad-header-check": b"\x78\x02" + good[2:], "bad-method-7": header(0x77, 0) + good[2:],
        "bad-64k-window": header(0x88, 0) + good[2:], "bad-preset-dictionary": header(0x78, 0x20) + good[2:],
        "bad-block-type-3": zlib_stream([(7, 3)]),
        "bad-stored-complement": zlib_stream([(0, 8), (5, 16), (0xFFFB, 16), (0x6F6C6C6568, 40), (3, 3)]
                                             + FLOOD),
        "bad-287-literal-codes": block(287, 1, runs, zeros + [(1, 0), (18, 20)], [(0, 1)]),
        "bad-31-distance-codes": block(257, 31, runs, zeros + [(1, 0), (18, 20)], [(0, 1)]),
        "bad-length-286": bad_symbol(286, 0), "bad-length-287": bad_symbol(287, 0),
        "bad-distance-30": bad_symbol(257, 30), "bad-distance-31": bad_symbol(257, 31),
        "bad-distance-before-output": bad_symbol(257, 1),
        "bad-over-subscribed-length-code": block(257, 1, dict.fromkeys(range(19), 1), []),
        "bad-incomplete-length-code": block(257, 1, {0: 1}, []),
        "bad-repeat-first": block(257, 1, {16: 1, 0: 1}, [(16, 0)]),
        "bad-repeat-past-end": block(257, 1, runs, zeros + [(1, 0), (18, 127)], [(0, 1)]),
        # A literal and 100 KiB of matches, in codes without an end of block.
        "bad-no-end-code": block(286, 1, {1: 1, 18: 1}, [(18, 86), (1, 0), (18, 127), (18, 38), (1, 0),
                                                         (1, 0)], [(0, 1)] + [(1, 1), (0, 1)] * 400),
        "bad-over-subscribed-literals": block(257, 1, {0: 1, 1: 1}, [(1, 0)] * 258),
        "bad-incomplete-literals": block(257, 1, four, [(18, 54), (2, 0), (18, 127), (18, 41), (2, 0),
                                                        (0, 0)], [(1, 2)]),
        "bad-incomplete-distances": block(257, 1, four, zeros + [(1, 0), (2, 0)], [(0, 1)]),
        "bad-no-distance-code": block(258, 1, runs, zeros + [(1, 0), (1, 0), (0, 0)], [(1, 1)]),
        "bad-wrong-check": good[:-1] + bytes([good[-1] ^ 1]),
        "bad-damaged": big[:40] + bytes([big[40] ^ 0x55]) + big[41:], "bad-bomb": deflate(bytes(9 << 20), 9),
        "cut-short": big[:len(big) // 2], "cut-in-stored": deflate(text, 0)[:5000], "cut-no-input": b"",
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


def lzma_stream(data: bytes, lc=3, lp=0, pb=2):
    """One raw LZMA stream with its end mark, and its five property bytes."""
    dict_size = max(len(data), 4096)
    packed = lzma.compress(data, format=lzma.FORMAT_RAW, filters=[
        {"id": lzma.FILTER_LZMA1, "dict_size": dict_size, "lc": lc, "lp": lp, "pb": pb}])
    return packed, bytes([(pb * 5 + lp) * 9 + lc]) + struct.pack("<I", dict_size)


def solid_table(segments, entries):
    """The table of a solid archive: segments as lists of (packed, size,
    props) streams, entries as (name, data, placement) where placement is
    None (in the table) or (segment, filter bytes, [(offset, length)])."""
    table = struct.pack("<I", len(segments))
    for streams in segments:
        table += struct.pack("<I", len(streams))
        for packed, size, props in streams:
            table += struct.pack("<II", len(packed), size) + props
    table += struct.pack("<I", len(entries))
    for name, data, placement in entries:
        table += struct.pack("<H", len(name)) + name + struct.pack("<II", len(data), zlib.adler32(data))
        if placement is None:
            table += struct.pack("<I", 0xFFFFFFFF) + data
            continue
        segment, filter_bytes, pieces = placement
        table += struct.pack("<I", segment) + filter_bytes + struct.pack("<I", len(pieces))
        table += b"".join(struct.pack("<II", o, n) for o, n in pieces)
    return table


def solid_inputs():
    """Tables and streams for solid_fuzz (u16 table length, table, streams)."""
    a, b = pattern(3000, 1), pattern(5000, 2)
    one, props = lzma_stream(a + b)
    first, props1 = lzma_stream(a)
    second, props2 = lzma_stream(b, lc=0, pb=0)
    script = (b"setup.ini", SCRIPT, None)
    x64 = b"\x02" + struct.pack("<III", 0x5000, 1, 0) + struct.pack("<II", 0x1000, 1000)
    shapes = {
        "one-stream": ([[(one, 8000, props)]], [script, (b"a", a, (0, b"\0", [(0, 3000)])),
                                                (b"b", b, (0, b"\0", [(3000, 5000)]))], one),
        "two-streams": ([[(first, 3000, props1), (second, 5000, props2)]],
                        [script, (b"ba", b + a, (0, b"\0", [(3000, 5000), (0, 3000)]))], first + second),
        "two-segments": ([[(first, 3000, props1)], [(second, 5000, props2)]],
                         [script, (b"b", b, (1, b"\0", [(0, 5000)])), (b"a", a, (0, b"\0", [(0, 3000)]))],
                         first + second),
        "filtered": ([[(one, 8000, props)]], [script, (b"a", a, (0, x64, [(0, 3000)]))], one),
        "duplicates": ([[(one, 8000, props)]], [script, (b"a", a, (0, b"\0", [(0, 3000)])),
                                                (b"A", a, (0, b"\0", [(0, 3000)]))], one),
    }
    for name, (segments, entries, streams) in shapes.items():
        table = solid_table(segments, entries)
        yield name, struct.pack("<H", len(table)) + table + streams
        if name == "one-stream":
            yield "damaged-stream", struct.pack("<H", len(table)) + table + streams[:40] + b"\xa5" + streams[41:]
            yield "cut-stream", struct.pack("<H", len(table)) + table + streams[:-50]


def solid_archive(name):
    """A whole solid archive as q7pack writes it: header, zlib table, streams."""
    for shape, data in solid_inputs():
        if shape == name:
            length = struct.unpack("<H", data[:2])[0]
            table = data[2:2 + length]
            packed = zlib.compress(table, 9)
            return b"q7LZ" + struct.pack("<II", len(packed), len(table)) + packed + data[2 + length:]


def main(installers):
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
    corpora = {"archive": dict(archive_inputs()), "inflate": dict(inflate_inputs()), "peimage": {},
               "q7pack": dict(archives()), "solid": dict(solid_inputs())}
    for shape in ("one-stream", "two-segments"):
        corpora["archive"]["solid-" + shape] = bytes(4) + solid_archive(shape)
        corpora["q7pack"]["solid-" + shape] = solid_archive(shape)
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
