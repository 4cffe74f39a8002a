#!/usr/bin/env python3
"""Draws the installer's icon 1 and banner bitmap 901.

    make_art.py OUT_DIR [--preview]

Writes OUT_DIR/q7patcher.ico (one 32x32 image, 16 colours) and
OUT_DIR/banner.bmp (612x88, the pages' banner area at 100 % display scale,
8 bits per pixel, run-length encoded); with --preview also PNG
copies (the icon enlarged) for looking at them. Pure Python, no imaging
library: the pictures are drawn pixel by pixel, the lettering with the
small font below. The outputs are committed beside this script; run it
again after changing the drawing.
"""
import math
import struct
import sys
import zlib
from pathlib import Path

# The 16 colours of the standard Windows palette, in its order.
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]

# The icon, one character per pixel: a ruled note pad with its spiral and a
# pencil lying across it. '.' is transparent; the others index VGA16:
# k black, g grey, s silver, w white, b blue, r red, y yellow, o olive,
# m maroon, n navy.
ICON = """\
................................
................................
......k..k..k..k..k..k..........
.....ksksksksksksksksksk........
.....kskskskskskskskskskk.......
...gggkgggkgggkgggkgggkggg......
...gwwkwwwkwwwkwwwkwwwkwwwkg....
...gwwwwwwwwwwwwwwwwwwwwwwwkg...
...gwwrwwwwwwwwwwwwwwwwwwwwkg...
...gwwrbbbbbbbbbbbbbbbbbbbwkg...
...gwwrwwwwwwwwwwwwwwwwwwwwkg...
...gwwrwwwwwwwwwwwwwwwwwwwwkg...
...gwwrbbbbbbbbbbbbbbbbbbbwkg...
...gwwrwwwwwwwwwwwwwwwwwwwwkg...
...gwwrwwwwwwwwwwwwwwwwwwwokg...
...gwwrbbbbbbbbbbbbbbbbbbomkg...
...gwwrwwwwwwwwwwwwwwwwwoyokg...
...gwwrwwwwwwwwwwwwwwwwoyokkg...
...gwwrbbbbbbbbbbbbbbboyokbkg...
...gwwrwwwwwwwwwwwwwwoyokwwkg...
...gwwrwwwwwwwwwwwwwoyokwwwkg...
...gwwrbbbbbbbbbbbboyokbbbwkg...
...gwwrwwwwwwwwwwwoyokwwwwwkg...
...gwwrwwwwwwwwwwssokwwwwwwkg...
...gwwrbbbbbbbbbgsskbbbbbbwkg...
...gwwrwwwwwwwwwkgkwwwwwwwwkg...
...gwwrwwwwwwwwwkkwwwwwwwwwkg...
...gwwrwwwwwwwwwwwwwwwwwwwwkg...
...gkkkkkkkkkkkkkkkkkkkkkkkkg...
....ggggggggggggggggggggggggg...
................................
................................
"""
ICON_COLOURS = {"k": 0, "m": 1, "o": 3, "n": 4, "s": 7, "g": 8, "r": 9, "y": 11,
                "b": 12, "w": 15}

# A small proportional font: 11 rows per glyph, rows 0-1 for accents,
# rows 2-8 the capital height, rows 9-10 descenders.
FONT_ROWS = 11
FONT = {
    " ": ["..."] * 11,
    ".": [".."] * 8 + ["#.", "..", ".."],
    "·": [".."] * 5 + ["#.", "..", "..", "..", "..", ".."],
    "1": ["...", "...", ".#.", "##.", ".#.", ".#.", ".#.", ".#.", "###", "...", "..."],
    "5": [".....", ".....", "#####", "#....", "####.", "....#", "....#", "#...#", ".###.",
          ".....", "....."],
    "7": [".....", ".....", "#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#...",
          ".....", "....."],
    "I": ["...", "...", "###", ".#.", ".#.", ".#.", ".#.", ".#.", "###", "...", "..."],
    "Q": [".....", ".....", ".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#",
          ".....", "....."],
    "Z": [".....", ".....", "#####", "....#", "...#.", "..#..", ".#...", "#....", "#####",
          ".....", "....."],
    "a": ["....", "....", "....", "....", ".###", "...#", ".###", "#..#", ".###", "....",
          "...."],
    "á": ["....", "....", "..#.", ".#..", ".###", "...#", ".###", "#..#", ".###", "....",
          "...."],
    "c": ["....", "....", "....", "....", ".###", "#...", "#...", "#...", ".###", "....",
          "...."],
    "e": ["....", "....", "....", "....", ".##.", "#..#", "####", "#...", ".###", "....",
          "...."],
    "g": ["....", "....", "....", "....", ".###", "#..#", "#..#", "#..#", ".###", "...#",
          ".##."],
    "i": ["..", "..", "#.", "..", "#.", "#.", "#.", "#.", "#.", "..", ".."],
    "í": ["..", "..", ".#", "#.", "#.", "#.", "#.", "#.", "#.", "..", ".."],
    "k": ["....", "....", "#...", "#...", "#..#", "#.#.", "##..", "#.#.", "#..#", "....",
          "...."],
    "l": ["..", "..", "#.", "#.", "#.", "#.", "#.", "#.", ".#", "..", ".."],
    "m": [".....", ".....", ".....", ".....", "####.", "#.#.#", "#.#.#", "#.#.#", "#.#.#",
          ".....", "....."],
    "n": ["....", "....", "....", "....", "###.", "#..#", "#..#", "#..#", "#..#", "....",
          "...."],
    "o": ["....", "....", "....", "....", ".##.", "#..#", "#..#", "#..#", ".##.", "....",
          "...."],
    "p": ["....", "....", "....", "....", "###.", "#..#", "#..#", "#..#", "###.", "#...",
          "#..."],
    "r": ["...", "...", "...", "...", "#.#", "##.", "#..", "#..", "#..", "...", "..."],
    "s": ["....", "....", "....", "....", ".###", "#...", ".##.", "...#", "###.", "....",
          "...."],
    "š": ["....", "....", "#.#.", ".#..", ".###", "#...", ".##.", "...#", "###.", "....",
          "...."],
    "t": ["...", "...", "...", ".#.", "###", ".#.", ".#.", ".#.", "..#", "...", "..."],
    "u": ["....", "....", "....", "....", "#..#", "#..#", "#..#", "#..#", ".###", "....",
          "...."],
    "v": [".....", ".....", ".....", ".....", "#...#", "#...#", ".#.#.", ".#.#.", "..#..",
          ".....", "....."],
    "z": ["....", "....", "....", "....", "####", "...#", "..#.", ".#..", "####", "....",
          "...."],
}

W, H = 612, 88


def lerp(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def text_width(text, scale):
    return sum((len(FONT[c][0]) + 1) * scale for c in text) - scale


def draw_text(pixels, text, x0, y0, scale, colour, shadow=None):
    """Draws text with its capital height starting at y0 (accents above)."""
    for dx, dy, col in ([(scale // 2 or 1, scale // 2 or 1, shadow)] if shadow else []) + [(0, 0, colour)]:
        x = x0
        for c in text:
            glyph = FONT[c]
            for gy, row in enumerate(glyph):
                for gx, bit in enumerate(row):
                    if bit != "#":
                        continue
                    for sy in range(scale):
                        for sx in range(scale):
                            px, py = x + gx * scale + sx + dx, y0 + (gy - 2) * scale + sy + dy
                            if 0 <= px < W and 0 <= py < H:
                                pixels[py][px] = col(px, py) if callable(col) else col
            x += (len(glyph[0]) + 1) * scale


def banner():
    """A deep blue to teal band with soft waves, the name and the note pad.
    Every row runs in few colours (the blend goes down, not across), so the
    run-length encoding keeps the installer small."""
    top, bottom = (16, 42, 84), (24, 120, 132)
    pixels = [[lerp(top, bottom, y / (H - 1))] * W for y in range(H)]
    for y in range(H):
        for x in range(W):
            # two soft light bands sweeping across the lower half
            wave = 62 + 9 * math.sin(x / 70.0) + 0.06 * x
            wave2 = 78 + 6 * math.sin(x / 45.0 + 1.3)
            base = pixels[y][x]
            if y > wave:
                base = lerp(base, (255, 255, 255), 0.10)
            if y > wave2:
                base = lerp(base, (255, 255, 255), 0.08)
            pixels[y][x] = base
    # a thin bright rule along the bottom edge
    for x in range(W):
        pixels[H - 2][x] = (120, 200, 210) if x < W // 2 else (250, 210, 90)
        pixels[H - 1][x] = (10, 30, 60)
    draw_text(pixels, "Q7 Zápisník", 26, 18, 4, (255, 255, 255), shadow=(8, 24, 52))
    draw_text(pixels, "Inštalácia programu · verzia 5.1", 28, 60, 2, (196, 232, 236),
              shadow=(8, 24, 52))
    # the icon, twice its size, on a lighter round spot at the right
    rows = ICON.splitlines()
    cx, cy, spot = W - 64, 44, 40
    for y in range(H):
        for x in range(W):
            d = ((x - cx) ** 2 + (y - cy) ** 2) ** 0.5
            if d < spot:
                pixels[y][x] = lerp(pixels[y][x], (255, 255, 255), 0.10)
    for iy, row in enumerate(rows):
        for ix, c in enumerate(row):
            if c == ".":
                continue
            for sy in range(2):
                for sx in range(2):
                    pixels[cy - 32 + iy * 2 + sy][cx - 32 + ix * 2 + sx] = VGA16[ICON_COLOURS[c]]
    return pixels


def palette_of(pixels):
    """Quantises to at most 256 colours; returns (palette, index rows)."""
    for shift in range(0, 8):
        seen = {}
        for row in pixels:
            for p in row:
                q = tuple((v >> shift) << shift for v in p)
                seen.setdefault(q, len(seen))
        if len(seen) <= 256:
            break
    palette = list(seen)
    rows = [[seen[tuple((v >> shift) << shift for v in p)] for p in row] for row in pixels]
    return palette, rows


def rle8_row(row):
    """One row in the run-length form Windows decodes itself (BI_RLE8): a
    run of equal pixels is (count, index); a stretch of differing ones is
    (0, count, indices, padding to a word); the row ends with (0, 0)."""
    out, i, n = bytearray(), 0, len(row)
    while i < n:
        run = 1
        while i + run < n and run < 255 and row[i + run] == row[i]:
            run += 1
        if run >= 2:
            out += bytes((run, row[i]))
            i += run
            continue
        j = i + 1  # the stretch ends where a run of two starts
        while j < n and j - i < 255 and not (j + 1 < n and row[j] == row[j + 1]):
            j += 1
        if j - i < 3:  # absolute mode needs three pixels at least
            for p in row[i:j]:
                out += bytes((1, p))
        else:
            out += bytes((0, j - i)) + bytes(row[i:j]) + b"\0" * ((j - i) & 1)
        i = j
    return out + b"\0\0"


def unrle8(data, width):
    """The rows (bottom up) that data decodes to; checks the writer above."""
    rows, row, i = [], [], 0
    while True:
        count, value = data[i], data[i + 1]
        i += 2
        if count:
            row += [value] * count
        elif value == 0:
            rows.append(row)
            row = []
        elif value == 1:
            return rows
        else:
            row += list(data[i:i + value])
            i += value + (value & 1)
        assert len(row) <= width, "a row runs past the width"


def bmp8(pixels):
    """8 bits per pixel, run-length encoded, with the colours used only:
    about a quarter of the plain bitmap's bytes, the same picture."""
    palette, rows = palette_of(pixels)
    data = b"".join(rle8_row(row) for row in reversed(rows)) + b"\0\1"
    assert unrle8(data, W) == list(reversed(rows)), "the encoded banner decodes to other pixels"
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 8, 1, len(data), 2835, 2835, len(palette), 0)
    table = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in palette)
    offset = 14 + len(info) + len(table)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    return header + info + table + data


def ico16():
    rows = ICON.splitlines()
    assert len(rows) == 32 and all(len(r) == 32 for r in rows), "icon must be 32x32"
    xor = b""
    mask = b""
    for row in reversed(rows):
        nibbles = [ICON_COLOURS.get(c, 0) for c in row]
        xor += bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, 32, 2))
        bits = 0
        for c in row:
            bits = (bits << 1) | (1 if c == "." else 0)
        mask += struct.pack(">I", bits)
    info = struct.pack("<IiiHHIIiiII", 40, 32, 64, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    table = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in VGA16)
    image = info + table + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", 32, 32, 16, 0, 1, 4,
                                                           len(image), 6 + 16)
    return directory + image


def png(pixels):
    raw = b"".join(b"\0" + bytes(v for p in row for v in p) for row in pixels)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(
            ">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    head = struct.pack(">IIBBBBB", len(pixels[0]), len(pixels), 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", head) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def icon_preview(scale=8):
    rows = ICON.splitlines()
    out = []
    for y in range(32 * scale):
        line = []
        for x in range(32 * scale):
            c = rows[y // scale][x // scale]
            checker = (200, 200, 200) if ((x // 16 + y // 16) % 2) else (235, 235, 235)
            line.append(checker if c == "." else VGA16[ICON_COLOURS[c]])
        out.append(line)
    return out


def main():
    out = Path(sys.argv[1])
    pixels = banner()
    (out / "banner.bmp").write_bytes(bmp8(pixels))
    (out / "q7patcher.ico").write_bytes(ico16())
    if "--preview" in sys.argv:
        (out / "banner-preview.png").write_bytes(png(pixels))
        (out / "icon-preview.png").write_bytes(png(icon_preview()))


if __name__ == "__main__":
    main()
