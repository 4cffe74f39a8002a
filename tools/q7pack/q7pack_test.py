#!/usr/bin/env python3
"""The packager as its users meet it: round trips, refusals that leave
nothing behind, reproducible output, and the reading commands.

usage: q7pack_test.py [RUNNER...] Q7PACK
RUNNER is the Wine runner for the Windows build (empty natively).
"""
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

COMMAND = sys.argv[1:]
UNDER_WINE = len(COMMAND) > 1
END = b"px" + bytes(10)


def q7pack(*args, cwd=None):
    return subprocess.run(COMMAND + [str(a) for a in args], cwd=cwd, capture_output=True)


def read_archive(data, offset=0):
    """An independent reader: [(name, packed, unpacked_size)] up to the end record."""
    entries = []
    while offset + 12 <= len(data):
        magic, n, packed, unpacked = struct.unpack_from("<2sHII", data, offset)
        if magic != b"px" or packed == 0:
            break
        name = data[offset + 12:offset + 12 + n]
        start = offset + 12 + n
        entries.append((name, data[start:start + packed], unpacked))
        offset = start + packed
    return entries


def record(name, packed, unpacked):
    return struct.pack("<2sHII", b"px", len(name), len(packed), unpacked) + name + packed


def fake_stub(sections=((0x200, 0x400), (0x600, 0x200))):
    """A minimal PE32+ image whose section data ends at the largest pointer + size."""
    image = bytearray(0x800)
    image[0:2] = b"MZ"
    struct.pack_into("<I", image, 0x3C, 0x80)
    image[0x80:0x84] = b"PE\0\0"
    struct.pack_into("<HH", image, 0x84, 0x8664, len(sections))
    struct.pack_into("<H", image, 0x84 + 16, 240)
    struct.pack_into("<H", image, 0x84 + 20, 0x20B)  # PE32+ optional header
    table = 0x84 + 20 + 240
    for i, (pointer, size) in enumerate(sections):
        struct.pack_into("<II", image, table + 40 * i + 16, size, pointer)
    for i in range(0x200, 0x800):
        image[i] = i % 251
    return bytes(image)


class PackagerTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="q7pack-test-")
        rng = random.Random(3)
        self.write("src/setup.ini", b"if (MESSAGE == INITAPP) { MessageBox(\"Ahoj\"); }\r\n")
        self.write("src/readme.txt", b"".join(b"riadok %d \xe8\n" % i for i in range(20000)))
        self.write("src/tool.bin", bytes(rng.getrandbits(8) for _ in range(100000)))
        self.write("src/app/b.dll", b"B" * 5000)
        self.write("src/app/a.exe", b"A" * 7000)
        self.write("src/app/sub/z.txt", b"zzz")
        self.write("src/app/sub/empty.txt", b"")
        os.makedirs(self.path("src/app/nothing-inside"))

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, data):
        os.makedirs(os.path.dirname(self.path(name)), exist_ok=True)
        with open(self.path(name), "wb") as f:
            f.write(data)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def create(self, out, *inputs, ok=True):
        result = q7pack("create", "-o", self.path(out), *inputs)
        if ok:
            self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
        return result

    def standard_inputs(self):
        return [self.path("src/setup.ini"), self.path("src/readme.txt"), self.path("src/app"),
                "docs\\tool.bin=" + self.path("src/tool.bin")]

    def test_round_trip_stores_names_in_order_and_bytes_exactly(self):
        self.create("out.q7a", *self.standard_inputs())
        entries = read_archive(self.read("out.q7a"))
        names = [e[0] for e in entries]
        self.assertEqual(names, [b"setup.ini", b"readme.txt", b"a.exe", b"b.dll", b"sub\\empty.txt",
                                 b"sub\\z.txt", b"docs\\tool.bin"])
        self.assertTrue(self.read("out.q7a").endswith(END))
        sources = ["src/setup.ini", "src/readme.txt", "src/app/a.exe", "src/app/b.dll",
                   "src/app/sub/empty.txt", "src/app/sub/z.txt", "src/tool.bin"]
        for (name, packed, unpacked), source in zip(entries, sources):
            self.assertEqual(zlib.decompress(packed), self.read(source), name)
            self.assertEqual(unpacked, len(self.read(source)), name)

        listing = q7pack("list", self.path("out.q7a"))
        self.assertEqual(listing.returncode, 0)
        self.assertIn(b"bare archive", listing.stdout)
        self.assertIn(b"sub\\z.txt", listing.stdout)
        self.assertIn(b"7 entries", listing.stdout)

        verify = q7pack("verify", self.path("out.q7a"))
        self.assertEqual(verify.returncode, 0, verify.stderr)

        extract = q7pack("extract", self.path("out.q7a"), self.path("x"))
        self.assertEqual(extract.returncode, 0, extract.stderr)
        self.assertEqual(self.read("x/sub/z.txt"), b"zzz")
        self.assertEqual(self.read("x/docs/tool.bin"), self.read("src/tool.bin"))
        self.assertEqual(self.read("x/sub/empty.txt"), b"")

    def test_installer_is_the_stub_image_followed_by_the_archive(self):
        stub = fake_stub()
        self.write("stub.exe", stub + b"an old archive appended before")
        self.create("setup.exe", "--stub", self.path("stub.exe"), self.path("src/setup.ini"))
        out = self.read("setup.exe")
        self.assertEqual(out[:0x800], stub)
        entries = read_archive(out, 0x800)
        self.assertEqual([e[0] for e in entries], [b"setup.ini"])
        listing = q7pack("list", self.path("setup.exe"))
        self.assertIn(b"installer, archive at offset 2048", listing.stdout)

        # Packing onto the installer again replaces its archive.
        self.create("setup2.exe", "--stub", self.path("setup.exe"), self.path("src/setup.ini"),
                    self.path("src/tool.bin"))
        self.assertEqual([e[0] for e in read_archive(self.read("setup2.exe"), 0x800)],
                         [b"setup.ini", b"tool.bin"])

    def test_refusals_name_the_input_and_write_nothing(self):
        self.write("old.q7a", b"the previous output")
        self.write("src/A.TXT", b"upper")
        self.write("src/other/a.txt", b"lower")
        self.write("notpe.exe", b"MZ but nothing else")
        cases = [
            ("escaping", ["..\\evil=" + self.path("src/tool.bin")], b"would leave"),
            ("escaping slash", ["sub/../../evil=" + self.path("src/tool.bin")], b"would leave"),
            ("absolute", ["\\windows\\x=" + self.path("src/tool.bin")], b"would leave"),
            ("drive", ["C:x=" + self.path("src/tool.bin")], b"would leave"),
            ("case clash", [self.path("src/A.TXT"), self.path("src/other/a.txt")], b"already taken"),
            ("second setup.ini", ["SETUP.INI=" + self.path("src/tool.bin")], b"already taken"),
            ("long name", ["n" * 65536 + "=" + self.path("src/tool.bin")], b"65535"),
            ("missing", [self.path("src/missing.txt")], b"no such file"),
            ("empty name", ["=" + self.path("src/tool.bin")], b"empty name"),
            ("not PE", ["--stub", self.path("notpe.exe")], b"not a Windows executable"),
        ]
        for label, extra, message in cases:
            if label == "long name" and UNDER_WINE:
                continue  # longer than a Windows command line may be
            with self.subTest(label):
                result = self.create("old.q7a", self.path("src/setup.ini"), *extra, ok=False)
                self.assertEqual(result.returncode, 1, result.stdout)
                self.assertIn(message, result.stderr)
                self.assertEqual(self.read("old.q7a"), b"the previous output")
        self.assertEqual(sorted(os.listdir(self.dir)), ["notpe.exe", "old.q7a", "src"], "no temporary files left")

    def test_setup_ini_that_is_a_folder_is_refused(self):
        result = self.create("out.q7a", self.path("src/app"), ok=False)
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"not a regular file", result.stderr)
        self.assertFalse(os.path.exists(self.path("out.q7a")))

    def test_file_of_four_gigabytes_is_refused(self):
        with open(self.path("huge.bin"), "wb") as f:
            f.truncate(1 << 32)  # sparse: nothing is written
        result = self.create("out.q7a", self.path("src/setup.ini"), self.path("huge.bin"), ok=False)
        self.assertIn(b"4 GiB", result.stderr)
        self.assertFalse(os.path.exists(self.path("out.q7a")))

    def test_output_is_the_same_whatever_the_threads_or_file_times(self):
        inputs = self.standard_inputs()
        q7pack("create", "-j", "1", "-o", self.path("one.q7a"), *inputs)
        os.utime(self.path("src/readme.txt"), (1000000000, 1000000000))
        q7pack("create", "-j", "4", "-o", self.path("four.q7a"), *inputs)
        self.assertEqual(self.read("one.q7a"), self.read("four.q7a"))
        q7pack("create", "-l", "1", "-o", self.path("fast.q7a"), *inputs)
        self.assertNotEqual(self.read("one.q7a"), self.read("fast.q7a"), "the level is honoured")

    def test_verify_names_every_bad_entry(self):
        good = zlib.compress(b"good data " * 1000)
        damaged = bytearray(good)
        damaged[len(damaged) // 2] ^= 0xFF
        archive = (record(b"setup.ini", zlib.compress(b"x"), 1) + record(b"damaged", bytes(damaged), 10000)
                   + record(b"wrongsize", good, 9999) + record(b"trailing", good + b"junk", 10000)
                   + record(b"fine", good, 10000) + END)
        self.write("bad.q7a", archive)
        result = q7pack("verify", self.path("bad.q7a"))
        self.assertEqual(result.returncode, 1)
        err = result.stderr
        self.assertIn(b"'damaged'", err)
        self.assertIn(b"'wrongsize': inflates to 10000 bytes, recorded 9999", err)
        self.assertIn(b"'trailing': 4 bytes behind", err)
        self.assertNotIn(b"'fine'", err)
        self.assertNotIn(b"'setup.ini'", err)

        self.write("cut.q7a", archive[:len(archive) - 12 - 30])
        result = q7pack("verify", self.path("cut.q7a"))
        self.assertIn(b"'fine': data cut short", result.stderr)

    def test_extract_refuses_escaping_names_and_writes_the_rest(self):
        body = zlib.compress(b"body")
        archive = b"".join(record(n, body, 4) for n in
                           [b"setup.ini", b"..\\up.txt", b"/abs.txt", b"c:drive.txt", b"ok\\in.txt", b"OK\\IN.TXT"])
        self.write("evil.q7a", archive + END)
        result = q7pack("extract", self.path("evil.q7a"), self.path("out"))
        self.assertEqual(result.returncode, 1)
        for name in (b"..\\up.txt", b"/abs.txt", b"c:drive.txt"):
            self.assertIn(b"'" + name + b"': refused", result.stderr)
        self.assertIn(b"'OK\\IN.TXT': skipped", result.stderr)
        self.assertEqual(self.read("out/ok/in.txt"), b"body")
        self.assertEqual(sorted(os.listdir(self.path("out"))), ["ok", "setup.ini"])
        self.assertFalse(os.path.exists(self.path("up.txt")))

    def test_reading_commands_refuse_what_is_not_an_archive(self):
        self.write("text.txt", b"hello")
        self.write("empty.exe", fake_stub())
        for args, message in [(["list", self.path("text.txt")], b"not an archive"),
                              (["verify", self.path("missing")], b"cannot open"),
                              (["check", self.path("missing")], b"cannot open"),
                              (["list", self.path("empty.exe")], b"no archive appended")]:
            result = q7pack(*args)
            self.assertEqual(result.returncode, 1, args)
            self.assertIn(message, result.stderr)

    def check(self, script):
        self.write("check/setup.ini", script)
        result = q7pack("check", self.path("check/setup.ini"))
        return result.returncode, result.stdout.replace(b"\r\n", b"\n"), result.stderr.replace(b"\r\n", b"\n")

    def test_check_reports_the_first_error_with_its_line_and_a_caret(self):
        name = self.path("check/setup.ini").encode()
        cases = [
            # An unexpected token on line 3, under a tab-indented CRLF line.
            (b"x = 1;\r\nif (MESSAGE == INITAPP) {\r\n\ty = (x + ;\r\n}\r\n",
             b":3:11: expression expected\n\ty = (x + ;\n\t         ^\n"),
            (b"@", b":1:1: invalid character: @\n@\n^\n"),
            # Branches that never run are checked too, against every installer
            # function and its argument counts.
            (b"if (0) {\n  Install(1);\n}\n", b":2:10: not a function: Install\n  Install(1);\n         ^\n"),
            (b"if (MESSAGE == COMMAND) ReadIni(\"a.ini\", \"s\");\n",
             b":1:45: not enough parameters\nif (MESSAGE == COMMAND) ReadIni(\"a.ini\", \"s\");\n" + b" " * 44 + b"^\n"),
            (b"a = 99999999999;", b":1:5: not a integer literal: 99999999999\na = 99999999999;\n    ^\n"),
        ]
        for script, report in cases:
            with self.subTest(script):
                status, out, err = self.check(script)
                self.assertEqual((status, out, err), (1, b"", name + report))

    def test_check_passes_scripts_whose_errors_only_show_when_they_run(self):
        script = (b"if (MESSAGE == INITAPP) { r = DialogBox(101, 7); n = ArchiveFileCount(); }\r\n"
                  b"if (0) x = missing + strlen(\"\xe8\");\r\n// koniec\r\n")
        status, out, err = self.check(script)
        self.assertEqual((status, err), (0, b""))
        self.assertIn(b"passes", out)
        self.assertEqual(self.check(b"")[0], 0)

    def test_create_checks_the_script_and_writes_nothing_when_it_fails(self):
        self.write("old.q7a", b"the previous output")
        self.write("src/setup.ini", b"if (MESSAGE == INITAPP) {\r\n  MessageBox(\"Ahoj\"\r\n}\r\n")
        for out in ("old.q7a", "new.q7a"):
            with self.subTest(out):
                result = self.create(out, *self.standard_inputs(), ok=False)
                self.assertEqual(result.returncode, 1)
                err = result.stderr.replace(b"\r\n", b"\n")
                self.assertTrue(err.startswith(self.path("src/setup.ini").encode() +
                                               b":3:1: ) expected\n}\n^\n"), err)
                self.assertIn(b"not written", err)
        self.assertEqual(self.read("old.q7a"), b"the previous output")
        self.assertEqual(sorted(os.listdir(self.dir)), ["old.q7a", "src"], "no temporary files left")

    def test_usage(self):
        help_text = q7pack("--help")
        self.assertEqual(help_text.returncode, 0)
        for word in (b"create", b"check SETUP.INI", b"list", b"verify", b"extract", b"--stub", b"-l LEVEL", b"NAME=PATH"):
            self.assertIn(word, help_text.stdout)
        for args in (["frobnicate"], ["create", self.path("src/setup.ini")], ["list"], ["check"],
                     ["create", "-o", "x", "-l", "99", "s"]):
            result = q7pack(*args)
            self.assertEqual(result.returncode, 2, args)
            self.assertIn(b"usage:", result.stderr)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
