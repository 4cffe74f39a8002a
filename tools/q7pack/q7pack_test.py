#!/usr/bin/env python3
"""The packager as its users meet it: round trips, refusals that leave
nothing behind, reproducible output, and the reading commands.

usage: q7pack_test.py [RUNNER...] Q7PACK
RUNNER is the Wine runner for the Windows build (empty natively).
"""
import os
import random
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
import threading
import unittest
import zlib

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "fuzz"))
from make_corpus import END, entry, pe_headers, record  # the writers of the fuzz corpora

COMMAND = sys.argv[1:]
UNDER_WINE = len(COMMAND) > 1


def q7pack(*args, cwd=None):
    """The run, its output with Windows line ends made Unix ones."""
    result = subprocess.run(COMMAND + [str(a) for a in args], cwd=cwd, capture_output=True)
    result.stdout, result.stderr = (o.replace(b"\r\n", b"\n") for o in (result.stdout, result.stderr))
    return result


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


def archive(*entries):
    """A bare archive of (name, data) entries, compressed, or (name, packed, unpacked) records."""
    return b"".join(entry(*e) if len(e) == 2 else record(*e) for e in entries) + END


def damaged(data, at=None):
    packed = bytearray(zlib.compress(data))
    packed[len(packed) // 2 if at is None else at] ^= 0xFF
    return bytes(packed)


def fake_stub(sections=((0x200, 0x400), (0x600, 0x200))):
    """A minimal PE32+ image whose section data ends at the largest pointer + size."""
    headers = pe_headers(sections, optional_size=240, magic=0x20B)
    return headers + bytes(i % 251 for i in range(len(headers), 0x800))


class PackagerTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="q7pack-test-")
        self.write("src/setup.ini", b"if (MESSAGE == INITAPP) { MessageBox(\"Ahoj\"); }\r\n")
        self.write("src/readme.txt", b"".join(b"riadok %d \xe8\n" % i for i in range(20000)))
        self.write("src/tool.bin", random.Random(3).randbytes(100000))
        for name, data in (("b.dll", b"B" * 5000), ("a.exe", b"A" * 7000), ("sub/z.txt", b"zzz"), ("sub/empty.txt", b"")):
            self.write("src/app/" + name, data)
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

    def listing(self, name):
        return sorted(os.listdir(self.path(name)))

    def names(self, name, offset=0):
        return [e[0] for e in read_archive(self.read(name), offset)]

    def ok(self, *args):
        """Runs q7pack ARGS, which must succeed."""
        result = q7pack(*args)
        self.assertEqual(result.returncode, 0, (args, result.stderr.decode(errors="replace")))
        return result

    def create(self, out, *inputs):
        return self.ok("create", "-o", self.path(out), *inputs)

    def fails(self, args, *messages):
        """Runs q7pack ARGS, which must fail with each message in its error output."""
        result = q7pack(*args)
        self.assertEqual(result.returncode, 1, (args, result.stdout))
        for message in messages:
            self.assertIn(message, result.stderr.replace(b"\\", b"/"), args)
        return result.stderr

    def standard_inputs(self):
        return [self.path("src/setup.ini"), self.path("src/readme.txt"), self.path("src/app"),
                "docs\\tool.bin=" + self.path("src/tool.bin")]

    def test_round_trip_stores_names_in_order_and_bytes_exactly_whatever_the_threads_or_file_times(self):
        created = self.ok("create", "-j", "1", "-o", self.path("out.q7a"), *self.standard_inputs())
        out, name = self.read("out.q7a"), self.path("out.q7a")
        entries = read_archive(out)
        self.assertTrue(out.endswith(END))
        stored = {b"setup.ini": "setup.ini", b"readme.txt": "readme.txt", b"a.exe": "app/a.exe", b"b.dll": "app/b.dll",
                  b"sub\\empty.txt": "app/sub/empty.txt", b"sub\\z.txt": "app/sub/z.txt", b"docs\\tool.bin": "tool.bin"}
        self.assertEqual([(e[0], zlib.decompress(e[1]), e[2]) for e in entries],
                         [(n, self.read("src/" + s), len(self.read("src/" + s))) for n, s in stored.items()])
        # The reports, whole: sizes, ratios and counts come from the independent reader.
        packed, unpacked, size = sum(len(e[1]) for e in entries), sum(e[2] for e in entries), len(out)
        rows = [(len(e[1]), e[2], e[0]) for e in entries] + [
            (packed, unpacked, b"7 entries, entry data only; the archive is %d bytes with headers and names" % size)]
        self.assertEqual(created.stdout, b"%s: 7 entries: %d bytes of files compressed to %d bytes of entry data, an "
                         b"archive of %d bytes with headers and names (bare archive)\n"
                         % (name.encode(), unpacked, packed, size))
        table = [(b"packed", b"unpacked", b"ratio", b"name")] + [
            (b"%d" % p, b"%d" % u, b"%.1f%%" % (100 * p / u) if u else b"-", n) for p, u, n in rows]
        self.assertEqual(self.ok("list", name).stdout, b"%s: bare archive, archive at offset 0\n" % name.encode() +
                         b"".join(b"%12s %12s %7s  %s\n" % row for row in table))
        self.assertEqual(self.ok("verify", name).stdout, name.encode() + b": all 7 entries are good\n")
        self.ok("extract", self.path("out.q7a"), self.path("x"))
        for name, source in stored.items():
            self.assertEqual(self.read("x/" + name.decode().replace("\\", "/")), self.read("src/" + source))
        os.utime(self.path("src/readme.txt"), (1000000000, 1000000000))
        self.ok("create", "-j", "4", "-o", self.path("four.q7a"), *self.standard_inputs())
        self.assertEqual(self.read("four.q7a"), out)
        self.ok("create", "-l", "1", "-o", self.path("fast.q7a"), *self.standard_inputs())
        self.assertNotEqual(self.read("fast.q7a"), out, "the level is honoured")

    def test_solid_archives_list_verify_and_extract_the_same_files_and_name_damaged_entries(self):
        for args, out in ((["-j", "1"], "zlib.q7a"), (["--solid", "-j", "1"], "solid.q7a"),
                          (["--solid", "-j", "4"], "four.q7a")):
            self.ok("create", *args, "-o", self.path(out), *self.standard_inputs())
        solid, name = self.read("solid.q7a"), self.path("solid.q7a")
        self.assertEqual(self.read("four.q7a"), solid, "the same bytes whatever the threads")
        self.assertIn(b"bare archive, archive at offset 0, solid: 1 segment of 1 LZMA stream",
                      self.ok("list", name).stdout)
        self.assertEqual(self.ok("verify", name).stdout, name.encode() + b": all 7 entries are good\n")
        for archive_name, folder in (("zlib.q7a", "z"), ("solid.q7a", "s")):
            self.ok("extract", self.path(archive_name), self.path(folder))
        for root, _, files in os.walk(self.path("z")):
            for f in files:
                here = os.path.relpath(os.path.join(root, f), self.path("z"))
                self.assertEqual(self.read("s/" + here), self.read("z/" + here), here)
        bad = bytearray(solid)
        bad[-200] ^= 0xFF  # inside the LZMA stream, behind the table
        self.write("bad.q7a", bytes(bad))
        self.fails(["verify", self.path("bad.q7a")], b"its block is damaged or cut short")

    def test_installer_is_the_stub_image_followed_by_the_archive_and_its_uninstaller(self):
        stub = fake_stub()
        self.write("stub.exe", stub + b"an old archive appended before")
        created = self.create("setup.exe", "--stub", self.path("stub.exe"), self.path("src/setup.ini"))
        self.assertIn(b"1 entry: ", created.stdout)
        self.assertEqual(self.read("setup.exe")[:0x800], stub)
        self.assertEqual(self.names("setup.exe", 0x800), [b"setup.ini"])
        self.assertIn(b"installer, archive at offset 2048", self.ok("list", self.path("setup.exe")).stdout)
        # Packing onto the installer again replaces its archive; the uninstaller
        # holds its script and every payload name, empty, in order.
        self.write("un.ini", b"y = 2;")
        args = ["--stub", self.path("setup.exe"), "--uninstaller", self.path("un.ini"), *self.standard_inputs()]
        self.create("setup2.exe", *args)
        entries = read_archive(self.read("setup2.exe"), 0x800)
        self.assertEqual([e[0] for e in entries], [b"setup.ini", b"readme.txt", b"a.exe", b"b.dll", b"sub\\empty.txt",
                                                   b"sub\\z.txt", b"docs\\tool.bin", b"uninstall.exe"])
        inner = read_archive(uninstaller := zlib.decompress(entries[-1][1]), 0x800)
        self.assertEqual([e[0] for e in inner], [e[0] for e in entries[:-1]] + [b"uninstall.exe"])
        self.assertEqual([zlib.decompress(e[1]) for e in inner], [b"y = 2;"] + [b""] * (len(inner) - 1))
        self.ok("uninstaller", "-o", self.path("alone.exe"), *args)
        self.assertEqual(self.read("alone.exe"), uninstaller, "both ways build the same bytes")
        # A name that payload names need as a folder, or one below a payload file.
        for name in ("DOCS", "readme.txt/uninstall.exe"):
            self.fails(["create", "-o", self.path("bad.exe"), "--uninstaller-name", name, *args],
                       b"as a file and as a folder")
        self.write("un.ini", b"y = ;")
        self.fails(["create", "-o", self.path("bad.exe"), *args], b"uninstall script")

    def test_refusals_name_the_input_and_write_nothing(self):
        self.write("old.q7a", b"the previous output")
        self.write("src/A.TXT", b"upper")
        self.write("src/other/a.txt", b"lower")
        self.write("notpe.exe", b"MZ but nothing else")
        with open(self.path("huge.bin"), "wb") as f:
            f.truncate(1 << 32)  # sparse: nothing is written
        tool = self.path("src/tool.bin")
        # Which stored names escape is StoredNameFault's table (archive/uZlibArchive_test.cpp).
        cases = [
            (["..\\evil=" + tool], b"would leave"),
            ([self.path("src/A.TXT"), self.path("src/other/a.txt")], b"already taken"),
            (["SETUP.INI=" + tool], b"already taken"),
            (["a/b=" + tool, "A\\b=" + self.path("src/readme.txt")], b"already taken"),
            ([self.path("src/missing.txt")], b"no such file"),
            (["=" + tool], b"empty name"),
            (["--stub", self.path("notpe.exe")], b"not a Windows executable"),
            ([self.path("huge.bin")], b"4 GiB"),
        ] + ([] if UNDER_WINE else [(["n" * 65536 + "=" + tool], b"65535")])  # longer than a Windows command line
        for extra, message in cases:
            self.fails(["create", "-o", self.path("old.q7a"), self.path("src/setup.ini"), *extra], message)
        self.fails(["create", "-o", self.path("old.q7a"), self.path("src/app")], b"src/app: is a folder, not a file")
        self.write("bad/setup.ini", b"if (MESSAGE == INITAPP) {\r\n  MessageBox(\"Ahoj\"\r\n}\r\n")
        for out in ("old.q7a", "new.q7a"):  # a script that fails the check, as the installer would find it
            err = self.fails(["create", "-o", self.path(out), self.path("bad/setup.ini"), self.path("src/app")],
                             b"not written")
            self.assertTrue(err.startswith(self.path("bad/setup.ini").encode() + b":3:1: ) expected\n}\n^\n"), err)
        self.assertEqual(self.read("old.q7a"), b"the previous output")
        self.assertEqual(self.listing(""), ["bad", "huge.bin", "notpe.exe", "old.q7a", "src"], "no temporary file left")

    def test_an_output_that_is_a_device_or_a_fifo_is_written_to_and_stays_what_it_is(self):
        self.create("out.q7a", self.path("src/setup.ini"))
        expected = self.read("out.q7a")
        if UNDER_WINE:  # NUL is the device of every folder
            self.assertEqual(q7pack("create", "-o", "NUL", self.path("src/setup.ini"), cwd=self.dir).returncode, 0)
            self.assertEqual(self.listing(""), ["out.q7a", "src"])
            return
        os.mkfifo(self.path("fifo"))
        os.symlink(self.path("fifo"), self.path("link"))
        outputs = ["fifo", "link"]
        if os.geteuid() == 0:  # a null device of our own, never the machine's
            os.mknod(self.path("null"), stat.S_IFCHR | 0o666, os.makedev(1, 3))
            outputs.append("null")
        for name in outputs:
            read = []  # a reader left waiting on a FIFO renamed away ends with the test
            reader = threading.Thread(target=lambda: read.append(open(self.path("fifo"), "rb").read()), daemon=True)
            if name != "null":
                reader.start()
            self.create(name, self.path("src/setup.ini"))
            if name != "null":
                reader.join(30)
                self.assertEqual(read, [expected], name)
            self.assertFalse(stat.S_ISREG(os.lstat(self.path(name)).st_mode), name)
        self.assertEqual(self.listing(""), sorted(["out.q7a", "src"] + outputs), "no temporary file left")

    def test_an_output_that_is_one_of_its_own_inputs_is_refused(self):
        hello = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples", "hello")
        for name in ("hello.ico", "banner.bmp"):
            shutil.copy(os.path.join(hello, name), self.path("src/" + name))
        self.write("src/brand.ini", b"[installer]\nicon = hello.ico\nbanner = banner.bmp\n")
        self.write("stub.exe", fake_stub())
        script, stub = self.path("src/setup.ini"), self.path("stub.exe")
        branded = ["--stub", stub, "--brand", self.path("src/brand.ini"), script]
        # src holds the script too: packing it once more would be refused as a name already taken.
        cases = [("src/setup.ini", ["create", script]), ("src/readme.txt", ["create", script, self.path("src")]),
                 ("src/brand.ini", ["create"] + branded), ("src/hello.ico", ["create"] + branded),
                 ("src/banner.bmp", ["brand", "--stub", stub, self.path("src/brand.ini")])]
        before = {name: self.read("src/" + name) for name in ("setup.ini", "readme.txt", "brand.ini", "hello.ico")}
        for out, args in cases:
            self.fails([args[0], "-o", self.path(out), *args[1:]], b"is one of its own inputs")
        self.assertTrue({name: self.read("src/" + name) for name in before} == before, "an input was replaced")
        self.create("stub.exe", "--stub", stub, script)  # a stub gets its archive in place, as documented

    def test_verify_names_every_bad_entry(self):
        data = b"good data " * 1000
        good = zlib.compress(data)
        # Streams of any block structure are fine: stored blocks, and many small flushes.
        flushing = zlib.compressobj(5)
        flushed = b"".join(flushing.compress(b"good data " * 100) + flushing.flush(zlib.Z_SYNC_FLUSH)
                           for _ in range(10)) + flushing.flush()
        # 100 KB of stream damaged in its first block: the reader stops there, long before the file ends.
        rng = random.Random(7)
        numbers = b" ".join(b"%d" % rng.randrange(10**6) for _ in range(30000))
        bad = archive((b"setup.ini", b"x"), (b"damaged", damaged(numbers, 10), 10000), (b"wrongsize", good, 9999),
                      (b"trailing", good + b"junk", 10000), (b"stored", zlib.compress(data, 0), 10000),
                      (b"flushed", flushed, 10000), (b"fine", good, 10000))
        self.write("bad.q7a", bad)
        self.assertEqual(self.fails(["verify", self.path("bad.q7a")]), b"".join(
            b"q7pack: %s: entry %d %s\n" % (self.path("bad.q7a").encode(), i, problem) for i, problem in [
                (1, b"'damaged': not a complete zlib stream (damaged data or checksum)"),
                (2, b"'wrongsize': inflates to 10000 bytes, recorded 9999"),
                (3, b"'trailing': 4 bytes behind the end of its zlib stream")]))
        self.write("cut.q7a", bad[:len(bad) - 12 - 30])
        self.fails(["verify", self.path("cut.q7a")], b"'fine': data cut short")

    def test_extract_writes_only_what_is_safe_and_whole_and_refuses_the_rest_by_name(self):
        body = zlib.compress(b"z" * 100000)
        refused = [b"..\\up.txt", b"/abs.txt", b"c:drive.txt"]
        skipped = [b"OK\\IN.TXT", b"ok/In.txt", b"ok\\.\\in.txt"]  # the same file as ok\in.txt
        self.write("evil.q7a", archive(*((n, b"body") for n in [b"setup.ini", *refused[:2], b"ok\\in.txt", *skipped]),
                                       (refused[2], zlib.compress(b"body"), 4), (b"bomb.txt", body, 1),
                                       (b"short.txt", body, 200000), (b"exact.txt", body, 100000),
                                       (b"d\\" * 32767 + b"f", b"x"), (b"w" * 256, b"x")))
        self.fails(["extract", self.path("evil.q7a"), self.path("out")],
                   *(b"'" + n.replace(b"\\", b"/") + b"': refused" for n in refused),
                   *(b"'" + n.replace(b"\\", b"/") + b"': skipped" for n in skipped),
                   b"'bomb.txt': inflates to more than the recorded 1 bytes; nothing was written",
                   b"'short.txt': inflates to 100000 bytes, recorded 200000; nothing was written",
                   b"more than Windows can open", b"longer than 255 bytes")
        self.assertEqual(self.read("out/ok/in.txt"), b"body")
        self.assertEqual(self.listing("out"), ["exact.txt", "ok", "setup.ini"])
        self.assertFalse(os.path.exists(self.path("up.txt")))
        self.ok("list", self.path("evil.q7a"))  # names too deep or long for extract are listed

    def test_reading_commands_refuse_what_is_not_an_archive(self):
        self.write("text.txt", b"hello")
        self.write("empty.exe", fake_stub())
        # Sections ending at 2^31, and an archive where the 64 KiB header read stops.
        far = fake_stub(((0x200, 0x400), (0x7FFFFF00, 0x100)))
        self.write("far.exe", far + bytes(65536 - len(far)) + archive((b"a", b"a")))
        for args, message in [(["list", "text.txt"], b"not an archive"),
                              (["list", "far.exe"], b"no archive: its sections end at 2 GiB"),
                              (["verify", "missing"], b"no such file"), (["check", "missing"], b"no such file"),
                              (["check", "src"], b"is a folder, not a file"),
                              (["list", "src"], b"is a folder, not a file"),
                              (["create", "-o", "out.exe", "--stub", "src", "src/setup.ini"], b"is a folder, not a file"),
                              (["list", "empty.exe"], b"no archive appended")]:
            named = self.path(args[-2 if args[0] == "create" else 1]).encode()
            err = self.fails([args[0]] + [a if a.startswith("-") else self.path(a) for a in args[1:]], message)
            self.assertTrue(err.startswith(b"q7pack: " + named + b": "), err)

    def test_check_reports_errors_and_warns_of_a_script_saved_as_utf8(self):
        # Which error, which note and the caret under the line are the script
        # check's (scriptlib/installer/uPatcherCheck_test.cpp); the note on a byte-order
        # mark and the warning on UTF-8 text are q7pack's own.
        name = self.path("check/setup.ini").encode()
        passes = name + b": passes the installer's check\n"
        utf8 = "x = 1;\r\nMessageBox(\"Inštalácia\");\r\n".encode()
        warning = (name + b":2: warning: the script is UTF-8 text, the installer reads it as Windows-1250; "
                   b"save it as Windows-1250\n")
        for script, status, out, err in [
                (b"\xef\xbb\xbfx = 1;", 1, b"", name + b":1:1: invalid character: \xef\n\xef\xbb\xbfx = 1;\n^\n" + name +
                 b":1:1: note: the file starts with a UTF-8 byte-order mark (EF BB BF); save it as Windows-1250, "
                 b"without a byte-order mark\n"),
                # errors that only show when the script runs
                (b"if (MESSAGE == INITAPP) { r = DialogBox(101, 7); n = ArchiveFileCount(); }\r\n"
                 b"if (0) x = missing + strlen(\"\xe8\");\r\n// koniec\r\n", 0, passes, b""),
                (b"", 0, passes, b""), ("MessageBox(\"Inštalácia\");".encode("cp1250"), 0, passes, b""),
                (utf8, 0, passes, warning)]:
            self.write("check/setup.ini", script)
            result = q7pack("check", self.path("check/setup.ini"))
            self.assertEqual((result.returncode, result.stdout, result.stderr), (status, out, err), script)
        self.assertEqual(self.create("out.q7a", self.path("check/setup.ini")).stderr, warning)

    def test_extract_keeps_existing_files_unless_told_never_leaves_part_of_one_nor_writes_through_a_link(self):
        new = b"new data " * 1000
        self.write("out/keep.txt", b"mine")
        self.write("out/old.txt", b"old")
        self.write("victim.txt", b"victim")
        os.makedirs(self.path("elsewhere"))
        os.symlink(self.path("elsewhere"), self.path("out/link"))
        os.symlink(self.path("victim.txt"), self.path("out/flink"))
        self.write("upd.q7a", archive((b"setup.ini", b"x"), (b"keep.txt", damaged(new), 9000), (b"old.txt", new),
                                      (b"fresh.txt", new), (b"link\\pwned.txt", b"pwned"), (b"flink", b"pwned")))
        for extra, old in (([], b"old"), (["--overwrite"], new)):
            self.fails(["extract", *extra, self.path("upd.q7a"), self.path("out")],
                       b"'link/pwned.txt': " + self.path("out/link").encode() + b" is a link")
            self.assertEqual([self.read(n) for n in ("out/keep.txt", "out/old.txt", "out/fresh.txt", "victim.txt")],
                             [b"mine", old, new, b"victim"])
            self.assertEqual(self.listing("out"), ["flink", "fresh.txt", "keep.txt", "link", "old.txt", "setup.ini"])
            self.assertEqual(os.listdir(self.path("elsewhere")), [])
        self.assertEqual(self.read("out/flink"), b"pwned", "--overwrite replaces the link itself")
        self.fails(["extract", self.path("upd.q7a"), self.path("out")],
                   b"'old.txt': " + self.path("out/old.txt").encode() + b" exists (--overwrite replaces it)")

    @unittest.skipIf(UNDER_WINE, "the signal is sent to the Linux process")
    def test_a_stopped_create_leaves_no_temporary_file_and_a_later_run_removes_old_ones(self):
        self.write("big/setup.ini", b"x = 1;")
        self.write("big/data.bin", random.Random(5).randbytes(64 << 20))
        os.makedirs(self.path("out"))
        for signal in (2, 15):
            run = subprocess.Popen(COMMAND + ["create", "-l", "9", "-o", self.path("out/big.q7a"),
                                              self.path("big/setup.ini"), self.path("big/data.bin")])
            subprocess.run(["sleep", "0.5"])
            self.assertIsNone(run.poll(), "still packing when stopped")
            run.send_signal(signal)
            run.wait()
            self.assertEqual(os.listdir(self.path("out")), [], signal)
        self.write("out/.q7pack-00112233445566ff.tmp", b"from a run killed long ago")
        self.write("out/.q7pack-not-ours.tmp", b"kept")
        os.utime(self.path("out/.q7pack-00112233445566ff.tmp"), (1, 1))
        self.create("out/small.q7a", self.path("big/setup.ini"))
        self.assertEqual(self.listing("out"), [".q7pack-not-ours.tmp", "small.q7a"])

    @unittest.skipIf(UNDER_WINE, "links, FIFOs and names that are not UTF-8 are made on the Linux side")
    def test_links_special_files_and_unstorable_names_in_a_payload_folder_are_refused_with_their_path(self):
        for name, make, message in [(b"odd", lambda p: os.symlink(self.path("src/app/sub"), p), b"is a symbolic link"),
                                    (b"odd", os.mkfifo, b"is a FIFO"),
                                    ("smørrebrød.txt".encode(), lambda p: open(p, "wb").close(),
                                     "'ø' (U+00F8) is not in Windows-1250".encode()),
                                    (b"Z\xe1pis.txt", lambda p: open(p, "wb").close(), b"the name is not UTF-8 text")]:
            shutil.rmtree(self.path("pl"), ignore_errors=True)
            self.write("pl/a.txt", b"a")
            make(odd := os.path.join(self.path("pl").encode(), name))
            self.fails(["create", "-o", self.path("out.q7a"), self.path("src/setup.ini"), self.path("pl")],
                       odd + b": " + message)
            self.assertFalse(os.path.exists(self.path("out.q7a")))
        # A link named on the command line is what the packager chose: it is followed.
        os.symlink(self.path("src/app/sub"), self.path("sublink"))
        self.create("out.q7a", self.path("src/setup.ini"), self.path("sublink"))
        self.assertEqual(self.names("out.q7a"), [b"setup.ini", b"empty.txt", b"z.txt"])

    def test_names_are_shown_in_the_terminals_code_page_with_control_bytes_escaped(self):
        self.write("names.q7a", archive(*((n, b"x") for n in [b"setup.ini", b"Z\xe1pisn\xedk.txt", b"a\x1b[2Jb",
                                                              b"nul\x00cut"])))
        # q7pack's own code page is UTF-8 on both sides (on Windows through
        # its manifest); names stored in Windows-1250 come out converted.
        listing, verified = self.ok("list", self.path("names.q7a")), q7pack("verify", self.path("names.q7a"))
        self.assertEqual([line[35:] for line in listing.stdout.splitlines()[2:6]],
                         [b"setup.ini", "Zápisník.txt".encode(), b"a\\x1b[2Jb", b"nul\\x00cut"])
        refused = b"".join(b"q7pack: %s: entry %d '%s': the installer cannot write this name: the name holds a control "
                           b"character or one of : < > \" | ? *\n" % (self.path("names.q7a").encode(), i, n)
                           for i, n in ((2, b"a\\x1b[2Jb"), (3, b"nul\\x00cut")))
        self.assertEqual((listing.stderr, verified.returncode, verified.stderr), (refused, 1, refused))

    @unittest.skipIf(UNDER_WINE, "names are UTF-8 on the Linux side only")
    def test_names_are_stored_in_windows_1250_and_extracted_back(self):
        self.write("pl/Zápisník.txt", b"z")
        self.create("out.q7a", self.path("src/setup.ini"), self.path("pl"), "Čítaj/ma.txt=" + self.path("src/tool.bin"))
        self.assertEqual(self.names("out.q7a"), [b"setup.ini", b"Z\xe1pisn\xedk.txt", b"\xc8\xedtaj\\ma.txt"])
        self.ok("extract", self.path("out.q7a"), self.path("x"))
        self.assertEqual(self.read("x/Zápisník.txt"), b"z")
        self.assertEqual(self.read("x/Čítaj/ma.txt"), self.read("src/tool.bin"))

    def test_usage(self):
        self.assertIn(b"check [--brand BRAND] SETUP.INI", self.ok("--help").stdout)
        for args in (["frobnicate"], ["create", self.path("src/setup.ini")], ["list"], ["check"],
                     ["create", "-o", "x", "-l", "99", "s"]):
            result = q7pack(*args)
            self.assertEqual((result.returncode, b"usage:" in result.stderr), (2, True), args)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
