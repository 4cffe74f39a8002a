#!/usr/bin/env python3
"""Draws the Hello example's icon and banner.

    make_art.py OUT_DIR [--preview]

Writes OUT_DIR/hello.ico (64, 48, 32, 24 and 16 pixels square, 32 bits
per pixel with alpha: the sizes Windows shows at 100 % to 200 % display
scale) and OUT_DIR/banner.bmp (1224x176, the pages' banner area at 200 %,
which the installer resamples for smaller scales; 8 bits per pixel,
run-length encoded); with --preview also PNG copies. The lettering uses the installer art's small
font. The outputs are committed beside the example; run this again after
changing the drawing.
"""
import struct
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[3] / "resources" / "art"))
import make_art as q7art  # noqa: E402

q7art.FONT.update({
    "H": [".....", ".....", "#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#", ".....", "....."],
    "S": [".....", ".....", ".####", "#....", "#....", ".###.", "....#", "....#", "####.", ".....", "....."],
    "0": [".....", ".....", ".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###.", ".....", "....."],
})
# The banner twice the size of the pages' banner area at 100 %.
W, H = q7art.W, q7art.H = 1224, 176
SUN = (250, 190, 40)
DARK = (60, 40, 20)


def banner():
    """A warm orange to green band, the name and a smiling sun at the right."""
    left, right = (230, 110, 40), (60, 150, 70)
    pixels = [[q7art.lerp(left, right, x / (W - 1)) for x in range(W)] for _ in range(H)]
    q7art.draw_text(pixels, "Hello", 52, 32, 10, (255, 255, 255), shadow=DARK)
    q7art.draw_text(pixels, "Setup · version 1.0", 56, 124, 4, (255, 240, 210), shadow=DARK)
    cx, cy = W - 128, 88
    for y in range(H):
        for x in range(W):
            if face(x - cx, y - cy, 72):
                pixels[y][x] = face(x - cx, y - cy, 72)
    return pixels


def face(dx, dy, r):
    """The sun's colour at (dx, dy) from its centre, radius r; None outside."""
    d2 = dx * dx + dy * dy
    if d2 > r * r:
        return None
    eye = r // 5
    for ex in (-r // 3, r // 3):
        if (dx - ex) ** 2 + (dy + r // 4) ** 2 <= eye * eye:
            return DARK
    if dy > r // 5 and abs(d2 - (r * 0.6) ** 2) < r * 2.2:
        return DARK
    return SUN


def icon_image(size):
    """One 32-bit icon image with alpha: the sun on a transparent ground."""
    r = size // 2 - 1
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            c = face(x - size // 2, y - size // 2, r)
            row.append((0, 0, 0, 0) if c is None else c + (255,))
        rows.append(row)
    xor = b"".join(bytes(v for r_, g, b, a in row for v in (b, g, r_, a)) for row in reversed(rows))
    mask_stride = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(rows):
        bits = 0
        for p in row:
            bits = (bits << 1) | (1 if p[3] == 0 else 0)
        mask += bits.to_bytes((size + 7) // 8, "big").ljust(mask_stride, b"\0")
    info = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + mask, rows


def ico(sizes=(64, 48, 32, 24, 16)):
    images = [icon_image(s)[0] for s in sizes]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        directory += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return directory + b"".join(images)


def main():
    out = Path(sys.argv[1])
    pixels = banner()
    (out / "banner.bmp").write_bytes(q7art.bmp8(pixels))
    (out / "hello.ico").write_bytes(ico())
    if "--preview" in sys.argv:
        (out / "banner-preview.png").write_bytes(q7art.png(pixels))
        icon = [[(p[0], p[1], p[2]) if p[3] else (255, 255, 255) for p in row] for row in icon_image(32)[1]]
        (out / "icon-preview.png").write_bytes(q7art.png(icon))


if __name__ == "__main__":
    main()
