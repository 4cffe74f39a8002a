# Writes COUNT files of SIZE bytes in all below FOLDER, 100 to a subfolder
# (d00, d01, ...), each half words of text and half random bytes, the same
# on every run.
#   python3 bench/lib/synthetic_payload.py FOLDER COUNT MEGABYTES
import os
import random
import sys

folder, count, megabytes = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
size = megabytes * 1024 * 1024 // count
rng = random.Random(7)
words = [b"setup", b"install", b"archive", b"folder", b"value", b"q7", b"patch", b"file"]
for i in range(count):
    sub = os.path.join(folder, "d%02d" % (i // 100))
    os.makedirs(sub, exist_ok=True)
    text = b" ".join(rng.choice(words) for _ in range(size // 12))[: size // 2]
    with open(os.path.join(sub, "f%04d.bin" % i), "wb") as out:
        out.write(text + rng.randbytes(size - len(text)))
