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
        created = self.create("out.q7a", *self.standard_inputs())
        entries = read_archive(self.read("out.q7a"))
        data_bytes = sum(len(e[1]) for e in entries)
        self.assertIn(b"7 entries: %d bytes of files compressed to %d bytes of entry data, an archive of %d bytes"
                      % (sum(e[2] for e in entries), data_bytes, len(self.read("out.q7a"))), created.stdout)
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
        self.assertIn(b"%12d" % data_bytes, listing.stdout)
        self.assertIn(b"7 entries, entry data only; the archive is %d bytes" % len(self.read("out.q7a")),
                      listing.stdout)

        verify = q7pack("verify", self.path("out.q7a"))
        self.assertEqual(verify.returncode, 0, verify.stderr)
        self.assertIn(b"all 7 entries are good", verify.stdout)

        extract = q7pack("extract", self.path("out.q7a"), self.path("x"))
        self.assertEqual(extract.returncode, 0, extract.stderr)
        self.assertEqual(self.read("x/sub/z.txt"), b"zzz")
        self.assertEqual(self.read("x/docs/tool.bin"), self.read("src/tool.bin"))
        self.assertEqual(self.read("x/sub/empty.txt"), b"")

    def test_installer_is_the_stub_image_followed_by_the_archive(self):
        stub = fake_stub()
        self.write("stub.exe", stub + b"an old archive appended before")
        created = self.create("setup.exe", "--stub", self.path("stub.exe"), self.path("src/setup.ini"))
        self.assertIn(b"1 entry: ", created.stdout)
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

    def test_uninstaller_holds_its_script_and_every_payload_name_empty_in_order(self):
        self.write("stub.exe", fake_stub())
        self.write("un.ini", b"y = 2;")
        args = ["--stub", self.path("stub.exe"), "--uninstaller", self.path("un.ini"), *self.standard_inputs()]
        self.create("setup.exe", *args)
        entries = read_archive(self.read("setup.exe"), 0x800)
        inner = read_archive(uninstaller := zlib.decompress(entries[-1][1]), 0x800)
        self.assertEqual([e[0] for e in inner], [e[0] for e in entries[:-1]] + [b"uninstall.exe"])
        self.assertEqual([zlib.decompress(e[1]) for e in inner], [b"y = 2;"] + [b""] * (len(inner) - 1))
        self.assertEqual(q7pack("uninstaller", "-o", self.path("alone.exe"), *args).returncode, 0)
        self.assertEqual(self.read("alone.exe"), uninstaller, "both ways build the same bytes")
        self.write("un.ini", b"y = ;")
        self.assertIn(b"uninstall script", self.create("bad.exe", *args, ok=False).stderr)

    def test_refusals_name_the_input_and_write_nothing(self):
        self.write("old.q7a", b"the previous output")
        self.write("src/A.TXT", b"upper")
        self.write("src/other/a.txt", b"lower")
        self.write("notpe.exe", b"MZ but nothing else")
        with open(self.path("huge.bin"), "wb") as f:
            f.truncate(1 << 32)  # sparse: nothing is written
        cases = [
            ("escaping", ["..\\evil=" + self.path("src/tool.bin")], b"would leave"),
            ("escaping slash", ["sub/../../evil=" + self.path("src/tool.bin")], b"would leave"),
            ("absolute", ["\\windows\\x=" + self.path("src/tool.bin")], b"would leave"),
            ("drive", ["C:x=" + self.path("src/tool.bin")], b"would leave"),
            ("case clash", [self.path("src/A.TXT"), self.path("src/other/a.txt")], b"already taken"),
            ("second setup.ini", ["SETUP.INI=" + self.path("src/tool.bin")], b"already taken"),
            ("separator clash", ["a/b=" + self.path("src/tool.bin"), "A\\b=" + self.path("src/readme.txt")],
             b"already taken"),
            ("long name", ["n" * 65536 + "=" + self.path("src/tool.bin")], b"65535"),
            ("missing", [self.path("src/missing.txt")], b"no such file"),
            ("empty name", ["=" + self.path("src/tool.bin")], b"empty name"),
            ("not PE", ["--stub", self.path("notpe.exe")], b"not a Windows executable"),
            ("four gigabytes", [self.path("huge.bin")], b"4 GiB"),
            ("setup.ini a folder", None, b"src/app: is a folder, not a file"),
        ]
        for label, extra, message in cases:
            if label == "long name" and UNDER_WINE:
                continue  # longer than a Windows command line may be
            inputs = [self.path("src/app")] if extra is None else [self.path("src/setup.ini")] + extra
            with self.subTest(label):
                result = self.create("old.q7a", *inputs, ok=False)
                self.assertEqual(result.returncode, 1, result.stdout)
                self.assertIn(message, result.stderr)
                self.assertEqual(self.read("old.q7a"), b"the previous output")
        self.assertEqual(sorted(os.listdir(self.dir)), ["huge.bin", "notpe.exe", "old.q7a", "src"],
                         "no temporary files left")

    def test_an_output_that_is_one_of_its_own_inputs_is_refused(self):
        hello = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples", "hello")
        for name in ("hello.ico", "banner.bmp"):
            shutil.copy(os.path.join(hello, name), self.path("src/" + name))
        self.write("src/brand.ini", b"[installer]\nicon = hello.ico\nbanner = banner.bmp\n")
        self.write("stub.exe", fake_stub())
        script, stub = self.path("src/setup.ini"), self.path("stub.exe")
        branded = ["--stub", stub, "--brand", self.path("src/brand.ini"), script]
        cases = [("src/setup.ini", ["create", script]), ("src/readme.txt", ["create", script, self.path("src")]),
                 ("src/app/sub/z.txt", ["create"] + self.standard_inputs()), ("src/brand.ini", ["create"] + branded),
                 ("src/hello.ico", ["create"] + branded),
                 ("src/banner.bmp", ["brand", "--stub", stub, self.path("src/brand.ini")])]
        before = {name: self.read("src/" + name) for name in ("setup.ini", "readme.txt", "brand.ini", "hello.ico")}
        for out, args in cases:
            with self.subTest(out):
                result = q7pack(args[0], "-o", self.path(out), *args[1:])
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertIn(b"is one of its own inputs", result.stderr)
        self.assertTrue({name: self.read("src/" + name) for name in before} == before, "an input was replaced")
        self.create("stub.exe", "--stub", stub, script)  # a stub gets its archive in place, as documented

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
        # Streams of any block structure are fine: stored blocks, and many small flushes.
        flushing = zlib.compressobj(5)
        flushed = b"".join(flushing.compress(b"good data " * 100) + flushing.flush(zlib.Z_SYNC_FLUSH)
                           for _ in range(10)) + flushing.flush()
        archive = (record(b"setup.ini", zlib.compress(b"x"), 1) + record(b"damaged", bytes(damaged), 10000)
                   + record(b"wrongsize", good, 9999) + record(b"trailing", good + b"junk", 10000)
                   + record(b"stored", zlib.compress(b"good data " * 1000, 0), 10000)
                   + record(b"flushed", flushed, 10000) + record(b"fine", good, 10000) + END)
        self.write("bad.q7a", archive)
        result = q7pack("verify", self.path("bad.q7a"))
        self.assertEqual(result.returncode, 1)
        err = result.stderr
        self.assertIn(b"'damaged'", err)
        self.assertIn(b"'wrongsize': inflates to 10000 bytes, recorded 9999", err)
        self.assertIn(b"'trailing': 4 bytes behind", err)
        for fine in (b"'fine'", b"'stored'", b"'flushed'", b"'setup.ini'"):
            self.assertNotIn(fine, err)

        self.write("cut.q7a", archive[:len(archive) - 12 - 30])
        result = q7pack("verify", self.path("cut.q7a"))
        self.assertIn(b"'fine': data cut short", result.stderr)

    def test_extract_refuses_escaping_names_and_writes_the_rest(self):
        body = zlib.compress(b"body")
        archive = b"".join(record(n, body, 4) for n in
                           [b"setup.ini", b"..\\up.txt", b"/abs.txt", b"c:drive.txt", b"ok\\in.txt", b"OK\\IN.TXT",
                            b"ok/In.txt", b"ok\\.\\in.txt"])
        self.write("evil.q7a", archive + END)
        result = q7pack("extract", self.path("evil.q7a"), self.path("out"))
        self.assertEqual(result.returncode, 1)
        for name in (b"..\\up.txt", b"/abs.txt", b"c:drive.txt"):
            self.assertIn(b"'" + name + b"': refused", result.stderr)
        self.assertIn(b"'OK\\IN.TXT': skipped", result.stderr)
        self.assertIn(b"'ok/In.txt': skipped", result.stderr)
        self.assertIn(b"'ok\\.\\in.txt': skipped", result.stderr)
        self.assertEqual(self.read("out/ok/in.txt"), b"body")
        self.assertEqual(sorted(os.listdir(self.path("out"))), ["ok", "setup.ini"])
        self.assertFalse(os.path.exists(self.path("up.txt")))

    def test_reading_commands_refuse_what_is_not_an_archive(self):
        self.write("text.txt", b"hello")
        self.write("empty.exe", fake_stub())
        # Sections ending at 2^31, and an archive where the 64 KiB header read stops.
        far = fake_stub(((0x200, 0x400), (0x7FFFFF00, 0x100)))
        self.write("far.exe", far + bytes(65536 - len(far)) + record(b"a", zlib.compress(b"a"), 1) + END)
        for args, message in [(["list", self.path("text.txt")], b"not an archive"),
                              (["list", self.path("far.exe")], b"no archive"),
                              (["verify", self.path("missing")], b"no such file"),
                              (["check", self.path("missing")], b"no such file"),
                              (["check", self.path("src")], b"is a folder, not a file"),
                              (["list", self.path("src")], b"is a folder, not a file"),
                              (["create", "-o", self.path("out.exe"), "--stub", self.path("src"),
                                self.path("src/setup.ini")], b"is a folder, not a file"),
                              (["list", self.path("empty.exe")], b"no archive appended")]:
            result = q7pack(*args)
            self.assertEqual(result.returncode, 1, args)
            self.assertTrue(result.stderr.startswith(b"q7pack: " + args[-2 if args[0] == "create" else 1].encode()
                                                     + b": "), result.stderr)
            self.assertIn(message, result.stderr)

    def check(self, script):
        self.write("check/setup.ini", script)
        result = q7pack("check", self.path("check/setup.ini"))
        return result.returncode, result.stdout.replace(b"\r\n", b"\n"), result.stderr.replace(b"\r\n", b"\n")

    def test_check_reports_the_first_error_with_its_line_a_caret_and_a_note(self):
        # Which error and which note is the script check's (uPatcherCheck_test); here the report as printed.
        name = self.path("check/setup.ini").encode()
        cases = [
            # An unexpected token on line 3, under a tab-indented CRLF line.
            (b"x = 1;\r\nif (MESSAGE == INITAPP) {\r\n\ty = (x + ;\r\n}\r\n",
             b":3:11: expression expected\n\ty = (x + ;\n\t         ^\n"),
            (b"if (MESSAGE == COMMAND) ReadIni(\"a.ini\", \"s\");\n",
             b":1:45: not enough parameters\nif (MESSAGE == COMMAND) ReadIni(\"a.ini\", \"s\");\n" + b" " * 44 + b"^\n"
             + name + b":1:45: note: ReadIni takes 3 or 4 arguments\n"),
            (b"\xef\xbb\xbfx = 1;",
             b":1:1: invalid character: \xef\n\xef\xbb\xbfx = 1;\n^\n"
             + name + b":1:1: note: the file starts with a UTF-8 byte-order mark (EF BB BF); "
             b"save it as Windows-1250, without a byte-order mark\n"),
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

    def test_extract_keeps_existing_files_unless_told_and_never_leaves_part_of_one(self):
        new = b"new data " * 1000
        damaged = bytearray(zlib.compress(new))
        damaged[len(damaged) // 2] ^= 0xFF
        self.write("out/keep.txt", b"mine")
        self.write("out/old.txt", b"old")
        self.write("upd.q7a", record(b"setup.ini", zlib.compress(b"x"), 1) + record(b"keep.txt", bytes(damaged), 9000)
                   + record(b"old.txt", zlib.compress(new), 9000) + record(b"fresh.txt", zlib.compress(new), 9000) + END)
        for extra, old in (([], b"old"), (["--overwrite"], new)):
            with self.subTest(extra):
                result = q7pack("extract", *extra, self.path("upd.q7a"), self.path("out"))
                self.assertEqual(result.returncode, 1)
                self.assertEqual(self.read("out/keep.txt"), b"mine")
                self.assertEqual(self.read("out/old.txt"), old)
                self.assertEqual(self.read("out/fresh.txt"), new)
                self.assertEqual(sorted(os.listdir(self.path("out"))), ["fresh.txt", "keep.txt", "old.txt", "setup.ini"])
        first = q7pack("extract", self.path("upd.q7a"), self.path("out"))
        self.assertIn(b"'old.txt': " + self.path("out/old.txt").encode() + b" exists (--overwrite replaces it)",
                      first.stderr.replace(b"\\", b"/"))

    def test_extract_writes_an_entry_only_when_it_inflates_to_its_recorded_size(self):
        body = b"z" * 100000
        self.write("sizes.q7a", record(b"setup.ini", zlib.compress(b"x"), 1) + record(b"bomb.txt", zlib.compress(body), 1)
                   + record(b"short.txt", zlib.compress(body), 200000) + record(b"exact.txt", zlib.compress(body), 100000)
                   + END)
        result = q7pack("extract", self.path("sizes.q7a"), self.path("out"))
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"'bomb.txt': inflates to more than the recorded 1 bytes; nothing was written", result.stderr)
        self.assertIn(b"'short.txt': inflates to 100000 bytes, recorded 200000; nothing was written", result.stderr)
        self.assertEqual(sorted(os.listdir(self.path("out"))), ["exact.txt", "setup.ini"])

    @unittest.skipIf(UNDER_WINE, "the signal is sent to the Linux process")
    def test_a_stopped_create_leaves_no_temporary_file_and_a_later_run_removes_old_ones(self):
        self.write("big/setup.ini", b"x = 1;")
        with open(self.path("big/data.bin"), "wb") as f:
            f.write(random.Random(5).randbytes(64 << 20))
        for signal in (2, 15):
            with self.subTest(signal):
                os.makedirs(self.path("out"), exist_ok=True)
                run = subprocess.Popen(COMMAND + ["create", "-l", "9", "-o", self.path("out/big.q7a"),
                                                  self.path("big/setup.ini"), self.path("big/data.bin")])
                subprocess.run(["sleep", "0.5"])
                self.assertIsNone(run.poll(), "still packing when stopped")
                run.send_signal(signal)
                run.wait()
                self.assertEqual(os.listdir(self.path("out")), [])
        left = self.path("out/.q7pack-00112233445566ff.tmp")
        self.write("out/.q7pack-00112233445566ff.tmp", b"from a run killed long ago")
        self.write("out/.q7pack-not-ours.tmp", b"kept")
        os.utime(left, (1, 1))
        self.create("out/small.q7a", self.path("big/setup.ini"))
        self.assertEqual(sorted(os.listdir(self.path("out"))), [".q7pack-not-ours.tmp", "small.q7a"])

    def test_deep_and_long_names_are_listed_verified_and_refused_by_extract(self):
        deep, wide = b"d\\" * 32767 + b"f", b"w" * 256
        body = zlib.compress(b"x")
        self.write("deep.q7a", record(b"setup.ini", body, 1) + record(deep, body, 1) + record(wide, body, 1) + END)
        for command, status in (("list", 0), ("verify", 0)):
            self.assertEqual(q7pack(command, self.path("deep.q7a")).returncode, status, command)
        result = q7pack("extract", self.path("deep.q7a"), self.path("out"))
        self.assertIn(b"more than Windows can open", result.stderr)
        self.assertIn(b"longer than 255 bytes", result.stderr)
        self.assertEqual(os.listdir(self.path("out")), ["setup.ini"])

    def test_extract_never_writes_through_a_link(self):
        os.makedirs(self.path("elsewhere"))
        self.write("victim.txt", b"victim")
        os.makedirs(self.path("out"))
        os.symlink(self.path("elsewhere"), self.path("out/link"))
        os.symlink(self.path("victim.txt"), self.path("out/flink"))
        body = zlib.compress(b"pwned")
        self.write("evil.q7a", record(b"setup.ini", body, 5) + record(b"link\\pwned.txt", body, 5)
                   + record(b"flink", body, 5) + END)
        for extra in ([], ["--overwrite"]):
            with self.subTest(extra):
                result = q7pack("extract", *extra, self.path("evil.q7a"), self.path("out"))
                self.assertEqual(result.returncode, 1)
                self.assertIn(b"'link\\pwned.txt': " + self.path("out/link").encode() + b" is a link",
                              result.stderr.replace(b"out\\link", b"out/link"))
                self.assertEqual(os.listdir(self.path("elsewhere")), [])
                self.assertEqual(self.read("victim.txt"), b"victim")
                self.assertEqual(sorted(os.listdir(self.path("out"))), ["flink", "link", "setup.ini"])
        self.assertEqual(self.read("out/flink"), b"pwned", "--overwrite replaces the link itself")

    @unittest.skipIf(UNDER_WINE, "links and FIFOs are made on the Linux side")
    def test_links_and_special_files_in_a_payload_folder_are_refused_with_their_path(self):
        cases = [
            ("file link", lambda p: os.symlink(self.path("src/tool.bin"), p), b"is a symbolic link"),
            ("folder link", lambda p: os.symlink(self.path("src/app/sub"), p), b"is a symbolic link"),
            ("dangling link", lambda p: os.symlink(self.path("nowhere"), p), b"is a symbolic link"),
            ("fifo", os.mkfifo, b"is a FIFO"),
        ]
        for label, make, message in cases:
            with self.subTest(label):
                shutil.rmtree(self.path("pl"), ignore_errors=True)
                self.write("pl/a.txt", b"a")
                make(self.path("pl/odd"))
                result = self.create("out.q7a", self.path("src/setup.ini"), self.path("pl"), ok=False)
                self.assertEqual(result.returncode, 1)
                self.assertIn(self.path("pl/odd").encode() + b": " + message, result.stderr)
                self.assertFalse(os.path.exists(self.path("out.q7a")))
        # A link named on the command line is what the packager chose: it is followed.
        os.symlink(self.path("src/app/sub"), self.path("sublink"))
        self.create("out.q7a", self.path("src/setup.ini"), self.path("sublink"))
        self.assertEqual([e[0] for e in read_archive(self.read("out.q7a"))], [b"setup.ini", b"empty.txt", b"z.txt"])

    def test_setup_ini_inside_the_payload_folder_is_stored_once(self):
        self.write("pl/setup.ini", self.read("src/setup.ini"))
        self.write("pl/data.txt", b"data")
        self.create("out.q7a", self.path("pl/setup.ini"), self.path("pl"))
        self.assertEqual([e[0] for e in read_archive(self.read("out.q7a"))], [b"setup.ini", b"data.txt"])

    def test_names_are_shown_in_the_terminals_code_page_with_control_bytes_escaped(self):
        body = zlib.compress(b"x")
        self.write("names.q7a", b"".join(record(n, body, 1) for n in
                                         [b"setup.ini", b"Z\xe1pisn\xedk.txt", b"a\x1b[2Jb", b"nul\x00cut"]) + END)
        # q7pack's own code page is UTF-8 on both sides (on Windows through
        # its manifest); names stored in Windows-1250 come out converted.
        local = "Zápisník.txt".encode("utf-8")
        listing = q7pack("list", self.path("names.q7a"))
        self.assertEqual(listing.returncode, 0)
        for shown in (local, b"a\\x1b[2Jb", b"nul\\x00cut"):
            self.assertIn(shown, listing.stdout)
        self.assertNotIn(b"\x1b", listing.stdout + listing.stderr)
        self.assertIn(b"'nul\\x00cut': the installer cannot write this name", listing.stderr)
        verify = q7pack("verify", self.path("names.q7a"))
        self.assertEqual(verify.returncode, 1)
        self.assertIn(b"'a\\x1b[2Jb': the installer cannot write this name", verify.stderr)
        self.assertIn(b"'nul\\x00cut': the installer cannot write this name", verify.stderr)
        self.assertNotIn(b"\x1b", verify.stdout + verify.stderr)

    @unittest.skipIf(UNDER_WINE, "names are UTF-8 on the Linux side only")
    def test_names_are_stored_in_windows_1250_and_extracted_back(self):
        self.write("pl/Zápisník.txt", b"z")
        self.create("out.q7a", self.path("src/setup.ini"), self.path("pl"), "Čítaj/ma.txt=" + self.path("src/tool.bin"))
        self.assertEqual([e[0] for e in read_archive(self.read("out.q7a"))],
                         [b"setup.ini", b"Z\xe1pisn\xedk.txt", b"\xc8\xedtaj\\ma.txt"])
        extract = q7pack("extract", self.path("out.q7a"), self.path("x"))
        self.assertEqual(extract.returncode, 0, extract.stderr)
        self.assertEqual(self.read("x/Zápisník.txt"), b"z")
        self.assertEqual(self.read("x/Čítaj/ma.txt"), self.read("src/tool.bin"))

        for name, message in [("smørrebrød.txt".encode(), "'ø' (U+00F8) is not in Windows-1250".encode()),
                              (b"Z\xe1pis.txt", b"the name is not UTF-8 text")]:
            with self.subTest(name):
                shutil.rmtree(self.path("bad"), ignore_errors=True)
                os.makedirs(self.path("bad"))
                with open(os.path.join(self.path("bad").encode(), name), "wb") as f:
                    f.write(b"s")
                result = self.create("out2.q7a", self.path("src/setup.ini"), self.path("bad"), ok=False)
                self.assertEqual(result.returncode, 1)
                self.assertIn(name + b": " + message, result.stderr)

    def test_a_script_saved_as_utf8_is_warned_about(self):
        script = "x = 1;\r\nMessageBox(\"Inštalácia\");\r\n".encode()
        status, out, err = self.check(script)
        self.assertEqual(status, 0)
        warning = (self.path("check/setup.ini").encode() + b":2: warning: the script is UTF-8 text, the installer "
                   b"reads it as Windows-1250; save it as Windows-1250\n")
        self.assertEqual(err, warning)
        created = self.create("out.q7a", self.path("check/setup.ini"))
        self.assertEqual(created.stderr.replace(b"\r\n", b"\n"), warning)
        self.assertEqual(self.check("MessageBox(\"Inštalácia\");".encode("cp1250"))[2], b"")

    def test_usage(self):
        help_text = q7pack("--help")
        self.assertEqual(help_text.returncode, 0)
        for word in (b"create", b"check [--brand BRAND] SETUP.INI", b"list", b"verify", b"extract", b"--stub", b"-l LEVEL", b"NAME=PATH",
                     b"--overwrite", b"symbolic links", b"Windows-1250"):
            self.assertIn(word, help_text.stdout)
        for args in (["frobnicate"], ["create", self.path("src/setup.ini")], ["list"], ["check"],
                     ["create", "-o", "x", "-l", "99", "s"]):
            result = q7pack(*args)
            self.assertEqual(result.returncode, 2, args)
            self.assertIn(b"usage:", result.stderr)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
