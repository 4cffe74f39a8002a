#!/usr/bin/python3
"""Brands as q7pack writes them into the installer stubs the Windows presets
built, read back by an independent reader (Debian's python3-pefile), and the
signing workflow with a throw-away certificate (openssl, osslsigncode).

usage: brand_test.py Q7PACK SOURCE_DIR
A stub that is not built is skipped.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

import pefile

Q7PACK, SOURCE = sys.argv[1], sys.argv[2]
STUBS = [p for p in (os.path.join(SOURCE, "build", preset, "startup", "q7patcher.exe") for preset in ("win32", "win64"))
         if os.path.exists(p)]
HELLO = os.path.join(SOURCE, "examples", "hello")
SAMPLE_BRAND = os.path.join(SOURCE, "examples", "q7", "brand.ini")

RT_BITMAP, RT_DIALOG, RT_STRING, RT_GROUP_ICON, RT_ICON, RT_VERSION, RT_MANIFEST, RT_RCDATA = 2, 5, 6, 14, 3, 16, 24, 10


def q7pack(*args):
    return subprocess.run([Q7PACK] + [str(a) for a in args], capture_output=True, text=True)


def resources(path):
    """{(type, name, language): data} of every resource of the file."""
    pe = pefile.PE(path)
    out = {}
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for n in t.directory.entries:
            for lang in n.directory.entries:
                d = lang.data.struct
                out[(t.id, str(n.name) if n.name else n.id, lang.id)] = pe.get_data(d.OffsetToData, d.Size)
    return out


def one(found, rtype, name):
    return next(data for (t, n, _), data in found.items() if t == rtype and n == name)


def utf16(text):
    return text.encode("utf-16-le")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())


def string_entry(found, number):
    block = one(found, RT_STRING, number // 16 + 1)
    at = 0
    for i in range(16):
        (length,) = struct.unpack_from("<H", block, at)
        if i == number % 16:
            return block[at + 2:at + 2 + 2 * length].decode("utf-16-le")
        at += 2 + 2 * length


class BrandCase(unittest.TestCase):
    def setUp(self):
        if not STUBS:
            self.skipTest("no Windows stub built")
        self.dir = tempfile.mkdtemp(prefix="q7brand-test-")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def ok(self, *args):
        result = q7pack(*args)
        self.assertEqual(result.returncode, 0, result.stderr)
        return result

    def brand(self, stub, brand, out):
        self.ok("brand", "--stub", stub, brand, "-o", out)
        return out

    def hello_installer(self):
        """The hello example packed onto the last stub with its own brand."""
        self.ok("create", "-o", self.path("hello-setup.exe"), "--stub", STUBS[-1], "--brand",
                os.path.join(HELLO, "brand.ini"), os.path.join(HELLO, "setup.ini"), os.path.join(HELLO, "payload"))
        return self.path("hello-setup.exe")


class BrandTest(BrandCase):
    def test_branded_stub_is_valid_and_keeps_every_other_section_and_the_sample_brand_is_the_stubs_own(self):
        for stub in STUBS:
            self.assertEqual(resources(self.brand(stub, SAMPLE_BRAND, self.path("sample.exe"))), resources(stub), stub)
            branded = self.brand(stub, os.path.join(HELLO, "brand.ini"), self.path("hello.exe"))
            old, new = pefile.PE(stub), pefile.PE(branded)
            self.assertEqual(new.get_warnings(), [], stub)
            self.assertTrue(new.verify_checksum(), stub)
            self.assertEqual([s.Name for s in new.sections], [s.Name for s in old.sections])
            for a, b in zip(old.sections, new.sections):
                if a.Name.startswith(b".rsrc"):
                    continue
                self.assertEqual(a.get_data(), b.get_data(), a.Name)
            self.assertEqual([(e.rva, e.type) for b in old.DIRECTORY_ENTRY_BASERELOC for e in b.entries],
                             [(e.rva, e.type) for b in new.DIRECTORY_ENTRY_BASERELOC for e in b.entries])
            last = new.sections[-1]
            self.assertEqual(new.OPTIONAL_HEADER.SizeOfImage,
                             (last.VirtualAddress + last.Misc_VirtualSize + 0xFFF) & ~0xFFF)

            found = resources(branded)
            for page in (101, 102, 103, 106, 107):
                self.assertIn(utf16("Hello 1.0 Setup\0"), one(found, RT_DIALOG, page))
                self.assertIn(utf16("Hello 1.0 \u00b7 Example Software\0"), one(found, RT_DIALOG, page))
                self.assertNotIn(utf16("Z\u00e1pisn\u00edk"), one(found, RT_DIALOG, page))
            # 65520 is an entry the brand leaves alone.
            self.assertEqual([string_entry(found, n) for n in (2, 65489, 65519, 65520)],
                             ["Setup could not install Hello.\nSorry for the trouble.",
                              "The setup script could not be unpacked: ", "Hello 1.0 Setup", "OK"])
            self.assertEqual(one(found, RT_BITMAP, 901), read(os.path.join(HELLO, "banner.bmp"))[14:])
            # The group's images (width, height, resource number) are the icons there are: the old one is gone.
            group = one(found, RT_GROUP_ICON, 1)
            count = struct.unpack_from("<H", group, 4)[0]
            icons = [struct.unpack_from("<BB10xH", group, 6 + 14 * i) for i in range(count)]
            self.assertEqual([icon[:2] for icon in icons], [(64, 64), (48, 48), (32, 32), (24, 24), (16, 16)])
            self.assertEqual(sorted(n for t, n, _ in found if t == RT_ICON), sorted(icon[2] for icon in icons))
            manifest = one(found, RT_MANIFEST, 1).decode()
            self.assertIn('<requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>', manifest)
            self.assertIn("<description>Hello 1.0 Setup</description>", manifest)
            strings = new.FileInfo[0][0].StringTable[0].entries
            self.assertEqual((strings[b"ProductName"], strings[b"FileVersion"]), (b"Hello", b"1.0.0.0"))
            self.assertEqual(new.VS_FIXEDFILEINFO[0].FileVersionMS, 0x10000)
            # US English in UTF-16, the strings' own language and code page.
            self.assertEqual(new.FileInfo[0][1].Var[0].entry, {b"Translation": "0x0409 0x04b0"})

    def test_a_branded_installer_can_be_branded_again_and_keeps_its_archive(self):
        stub, installer = STUBS[-1], self.hello_installer()
        listed = self.ok("list", installer).stdout
        self.assertIn("title: Hello 1.0 Setup\n  version: 1.0\n  archive files: refused (runs only its own archive)\n"
                      "  signed: no", listed)
        # The sample's brand sets no version, manifest or options: those of
        # the first brand stay; it accepts archive files, as the stub does,
        # and everything else is back as the stub has it.
        again = self.brand(installer, SAMPLE_BRAND, self.path("again.exe"))
        first = {k: data for k, data in resources(installer).items()
                 if k[0] in (RT_VERSION, RT_MANIFEST) or (k[0] == RT_RCDATA and k[1] != "OWNARCHIVE")}
        self.assertEqual(resources(again), {**{k: data for k, data in resources(stub).items() if k[0] != RT_MANIFEST},
                                            **first})
        twice = one(resources(self.brand(again, os.path.join(HELLO, "brand.ini"), self.path("twice.exe"))),
                    RT_MANIFEST, 1).decode()
        self.assertEqual((twice.count("<description>"), twice.count("<trustInfo")), (1, 1), twice)
        relisted = self.ok("list", again).stdout
        self.assertIn("title: Inštalácia programu Q7 Zápisník\n  version: 1.0\n  archive files: accepted", relisted)
        self.assertEqual(listed[listed.index("packed"):], relisted[relisted.index("packed"):])
        self.ok("verify", again)

    def test_bad_brands_are_refused_with_nothing_written(self):
        banner = read(os.path.join(HELLO, "banner.bmp"))
        small = bytearray(banner)
        struct.pack_into("<i", small, 18, 100)
        rle = bytearray(banner)
        struct.pack_into("<H", rle, 28, 24)
        png = b"\x89PNG\r\n\x1a\n" + struct.pack(">I4sII", 13, b"IHDR", 16, 16) + bytes(9)
        entry = lambda size, at: struct.pack("<BBBBHHII", 16, 16, 0, 0, 1, 32, size, at)
        files = {"small.bmp": bytes(small), "rle.bmp": bytes(rle), "cut.ico": read(os.path.join(HELLO, "hello.ico"))[:200],
                 "text.ico": b"not an icon", "shared.ico": struct.pack("<3H", 0, 1, 2) + entry(33, 38) * 2 + png,
                 "bare.ico": struct.pack("<3H", 0, 1, 1) + entry(41, 22) + png[:8] + bytes(33)}
        for name, data in files.items():
            write(self.path(name), data)
        with open(self.path("huge.bmp"), "wb") as f:
            f.truncate(16 << 20 | 1)
        cases = [
            ("[installer]\ntitel = x\n", "brand.ini:2: unknown key 'titel' in [installer]"),
            ("[colours]\nx = 1\n", "brand.ini:2: key outside a known section"),
            ("[texts]\n221 = x\n", "brand.ini:2: no page control 221 takes a text"),
            ("[texts]\n108.211 = x\n", "brand.ini:2: no page 108; the pages are 101 to 107"),
            ("[strings]\n1000 = x\n", "brand.ini:2: no string 1000"),
            ("[installer]\ncodepage = 1252\n[texts]\n211 = \u0416\n", "brand.ini:4: character U+0416 (text position 1) "
                                                                   "does not exist in the installer's code page, Windows-1252"),
            ("[installer]\nlanguage = ru\n", "language 'ru' needs U+0423 (in title), which Windows-1250 lacks: "
                                              "choose codepage = utf-8"),
            ("[installer]\nlanguages = en xx\n", "brand.ini:2: no shipped language 'xx'"),
            ("[texts.xx]\n211 = x\n", "brand.ini:2: no shipped language 'xx'"),
            ("[installer]\ncodepage = 1200\n", "brand.ini:2: codepage is utf-8 or one of 874, 1250 to 1258"),
            ("[installer]\ntitle = Hello \u2192 World\n", "character U+2192 (text position 7) does not exist in the "
                                                          "installer's code page, Windows-1250"),
            ("[installer]\ntitle = " + "x" * 256 + "\n", "text of 256 characters; at most 255"),
            ("[strings]\n1 = a\\tb\n", "a backslash starts \\n"),
            ("[installer]\nbanner = small.bmp\n", "small.bmp: the banner is 100 by 176 pixels; it must be 612 by 88, "
                                                  "918 by 132, 1224 by 176 or 526 by 88"),
            ("[installer]\nbanner = rle.bmp\n", "rle.bmp: a bitmap of 24 bits per pixel with compression 1"),
            ("[installer]\nicon = cut.ico\n", "cut.ico: image 1 (64x64) lies past the end of the file"),
            ("[installer]\nicon = text.ico\n", "text.ico: not an icon (.ico) file"),
            ("[installer]\nicon = missing.ico\n", "brand.ini:2: cannot read"),
            ("[manifest]\nexecution-level = admin\n", "execution-level is asInvoker, highestAvailable or"),
            ("[version]\nfile-version = 1.2.3.4.5\n", "file-version must be one to four numbers"),
            ("[strings]\n1 = a\n1 = b\n", "brand.ini:3: '1' given twice"),
            (b"[installer]\ntitle = \xc3(\n", "brand.ini:2: not valid UTF-8 text"),
            (b"[manifest]\ndescription = \xc0\xbc\n", "brand.ini:2: not valid UTF-8 text"),  # overlong '<'
            (b"[manifest]\ndescription = \xe0\x80\xbc\n", "brand.ini:2: not valid UTF-8 text"),  # in three bytes
            (b"[version]\ncompany = \xed\xa0\x80\n", "brand.ini:2: not valid UTF-8 text"),  # a surrogate
            (b"[strings]\n1 = \xf5\x80\x80\x80\n", "brand.ini:2: not valid UTF-8 text"),
            ("[installer]\ntitle = \x1b]0;x\x07\n", "control character U+001B (text position 1) refused: this text"),
            ("[strings]\n1 = a\x00b\n", "control character U+0000 (text position 2) refused; a line break is"),
            ("[version]\ncompany = \u0085\n", "control character U+0085 (text position 1) refused"),
            ("[version]\ncompany = " + "c" * 40000 + "\n", "text of 40000 characters; at most 4095"),
            ("[installer]\nicon = shared.ico\n", "shared.ico: images 1 and 2 share their bytes"),
            ("[installer]\nicon = bare.ico\n", "image 1 (16x16) cannot be loaded: a PNG without its header chunk"),
            ("[installer]\nbanner = /dev/zero\n", "cannot read /dev/zero: is a device, not a regular file"),
            ("[installer]\nbanner = huge.bmp\n", "huge.bmp: is larger than 16777216 bytes"),
        ]
        for text, message in cases:
            write(self.path("brand.ini"), text)
            for command in (["brand", "--stub", STUBS[0], self.path("brand.ini"), "-o", self.path("out.exe")],
                            ["create", "-o", self.path("out.exe"), "--stub", STUBS[0], "--brand",
                             self.path("brand.ini"), os.path.join(HELLO, "setup.ini")]):
                result = q7pack(*command)
                self.assertEqual(result.returncode, 1, text)
                self.assertIn(message, result.stderr, text)
                self.assertFalse(os.path.exists(self.path("out.exe")), text)
        # The brand file goes through the same input reader as the files it names (kinds refused: q7pack_test.py).
        result = q7pack("brand", "--stub", STUBS[0], "/dev/zero", "-o", self.path("out.exe"))
        self.assertIn("/dev/zero: is a device", result.stderr)

    def test_hostile_stubs_are_refused_or_listed_escaped(self):
        stub = read(STUBS[0])
        a, b = stub.index(b"<dependency>"), stub.index(b"</assembly>") + len("</assembly>")
        write(self.path("manifest.exe"), stub[:a] + b"<trustInfo></assembly></trustInfo>".ljust(b - a) + stub[b:])
        self.assertIn("manifest.exe: its manifest cannot be edited: <trustInfo is not closed by </trustInfo> before "
                      "</assembly>", q7pack("brand", "--stub", self.path("manifest.exe"), os.path.join(HELLO, "brand.ini"),
                                            "-o", self.path("out.exe")).stderr)
        title = "Inštalácia programu Q7 Zápisník"
        write(self.path("title.exe"), stub.replace(utf16(title), utf16("\x1b]0;x\x07\x1b[2J\u009b".ljust(len(title))), 1))
        self.ok("create", "-o", self.path("title-setup.exe"), "--stub", self.path("title.exe"), os.path.join(HELLO, "setup.ini"))
        self.assertIn("title: \\x1b]0;x\\x07\\x1b[2J\\x9b ", q7pack("list", self.path("title-setup.exe")).stdout)

    def test_scripts_are_read_in_the_brands_code_page_and_refused_at_a_character_it_lacks(self):
        # A script checked for a brand's code page is saved as UTF-8: no warning that it is.
        for codepage, script, status, message in [
                ("1252", "a = 1;\nb = \"\u00e9\u0416\";\n".encode(), 1,
                 "setup.ini:2:7: character '\u0416' (U+0416) is not in Windows-1252"),
                ("1252", b"a = \"\xff\";\n", 1, "setup.ini:1:6: byte 0xFF is not UTF-8 text"),
                ("utf-8", "a = \"\u0416\";\n".encode(), 0, "passes the installer's check")]:
            write(self.path("brand.ini"), "[installer]\ncodepage = %s\n" % codepage)
            write(self.path("setup.ini"), script)
            result = q7pack("check", "--brand", self.path("brand.ini"), self.path("setup.ini"))
            self.assertEqual(result.returncode, status, script)
            self.assertIn(message, result.stderr if status else result.stdout, script)
            self.assertNotIn("warning", result.stderr, script)

    def test_languages_are_tagged_pages_and_string_tables_and_utf8_is_in_the_manifest(self):
        out = self.path("world.exe")
        self.brand(STUBS[0], os.path.join(HELLO, "..", "world", "brand.ini"), out)
        found = resources(out)
        pages = sorted(lang for (rtype, name, lang) in found if rtype == 5 and name == 101)
        self.assertEqual(pages, [0x407, 0x409, 0x40C, 0x411, 0x419])
        block = found[(6, 65519 // 16 + 1, 0x419)]
        self.assertIn(utf16("\u0423\u0441\u0442\u0430\u043d\u043e\u0432\u043a\u0430"), block)
        self.assertIn(utf16("\u0443\u0441\u0442\u0430\u043d\u043e\u0432\u043b\u0435\u043d"), found[(6, 1, 0x419)])
        manifest = found[(24, 1, min(l for (t, n, l) in found if t == 24))]
        # In the stub's own settings, beside its DPI awareness.
        settings = manifest[manifest.index(b"<windowsSettings>"):manifest.index(b"</windowsSettings>")]
        self.assertIn(b'<activeCodePage xmlns="http://schemas.microsoft.com/SMI/2019/WindowsSettings">UTF-8'
                      b'</activeCodePage>', settings)
        self.assertIn(b">PerMonitorV2</dpiAwareness>", settings)
        self.assertEqual(manifest.count(b"<windowsSettings>"), 1)
        # The version information in each of the installer's languages.
        tables = pefile.PE(out).FileInfo[0][0].StringTable
        self.assertEqual([(t.LangID, t.entries[b"ProductName"]) for t in tables],
                         [(b"040904B0", b"Hello World"), (b"040704B0", b"Hello World"), (b"040C04B0", b"Hello World"),
                          (b"041904B0", b"Hello World"), (b"041104B0", b"Hello World")])
        version = one(found, 16, 1)
        at = version.index(utf16("Translation\0")) + 26  # behind the key and its padding
        self.assertEqual(struct.unpack_from("<10H", version, at),
                         (0x409, 1200, 0x407, 1200, 0x40C, 1200, 0x419, 1200, 0x411, 1200))


def osslsigncode(*args):
    return subprocess.run(["osslsigncode"] + [str(a) for a in args], capture_output=True, text=True)


@unittest.skipUnless(shutil.which("osslsigncode") and shutil.which("openssl"), "osslsigncode or openssl missing")
class SigningTest(BrandCase):
    def sign(self, unsigned, signed):
        if not os.path.exists(self.path("key.pem")):
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                            "/CN=q7pack test", "-keyout", self.path("key.pem"), "-out", self.path("cert.pem")],
                           check=True, capture_output=True)
        result = osslsigncode("sign", "-certs", self.path("cert.pem"), "-key", self.path("key.pem"), "-in",
                              unsigned, "-out", signed)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        result = osslsigncode("verify", "-CAfile", self.path("cert.pem"), signed)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        return signed

    def test_sign_after_branding_and_repack_a_signed_installer(self):
        signed = self.sign(self.hello_installer(), self.path("signed.exe"))
        self.ok("verify", signed)
        listed = self.ok("list", signed).stdout
        self.assertIn("  signed: a signature of ", listed)
        self.assertIn("any change to this file", listed)

        # Packing onto, or branding, the signed installer leaves a clean
        # unsigned executable: no certificate entry pointing past its end.
        repacked = self.path("repacked.exe")
        self.ok("create", "-o", repacked, "--stub", signed, os.path.join(HELLO, "setup.ini"))
        rebranded = self.brand(signed, os.path.join(HELLO, "brand.ini"), self.path("rebranded.exe"))
        for unsigned in (repacked, rebranded):
            pe = pefile.PE(unsigned)
            security = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
            self.assertEqual((security.VirtualAddress, security.Size), (0, 0), unsigned)
            self.assertIn("signed: no", q7pack("list", unsigned).stdout)
            self.sign(unsigned, unsigned + ".signed")
            self.ok("verify", unsigned + ".signed")


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
