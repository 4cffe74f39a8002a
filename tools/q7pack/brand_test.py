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

RT_BITMAP, RT_DIALOG, RT_STRING, RT_GROUP_ICON, RT_ICON, RT_VERSION, RT_MANIFEST = 2, 5, 6, 14, 3, 16, 24


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

    def brand(self, stub, brand, out):
        result = q7pack("brand", "--stub", stub, brand, "-o", out)
        self.assertEqual(result.returncode, 0, result.stderr)
        return out


class BrandTest(BrandCase):
    def test_the_sample_brand_is_what_the_stub_carries(self):
        for stub in STUBS:
            branded = self.brand(stub, SAMPLE_BRAND, self.path("sample.exe"))
            self.assertEqual(resources(branded), resources(stub), stub)

    def test_branded_stub_is_valid_and_keeps_every_other_section(self):
        for stub in STUBS:
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
            for page in (101, 102, 103):
                self.assertIn(utf16("Hello 1.0 Setup\0"), one(found, RT_DIALOG, page))
                self.assertIn(utf16("Hello 1.0 \u00b7 Example Software\0"), one(found, RT_DIALOG, page))
                self.assertNotIn(utf16("Z\u00e1pisn\u00edk"), one(found, RT_DIALOG, page))
            self.assertEqual(string_entry(found, 2), "Setup could not install Hello.\nSorry for the trouble.")
            self.assertEqual(string_entry(found, 65489), "The setup script could not be unpacked: ")
            self.assertEqual(string_entry(found, 65519), "Hello 1.0 Setup")
            self.assertEqual(string_entry(found, 65520), "OK", "entries the brand leaves alone stay")
            with open(os.path.join(HELLO, "banner.bmp"), "rb") as f:
                self.assertEqual(one(found, RT_BITMAP, 901), f.read()[14:])
            group = one(found, RT_GROUP_ICON, 1)
            (count,) = struct.unpack_from("<H", group, 4)
            sizes = [struct.unpack_from("<BB", group, 6 + 14 * i) for i in range(count)]
            icons = [struct.unpack_from("<H", group, 6 + 14 * i + 12)[0] for i in range(count)]
            self.assertEqual(sizes, [(32, 32), (16, 16)])
            self.assertEqual(len([k for k in found if k[0] == RT_ICON]), 2, "the old icon is gone")
            for number in icons:
                one(found, RT_ICON, number)
            manifest = one(found, RT_MANIFEST, 1).decode()
            self.assertIn('<requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>', manifest)
            self.assertIn("<description>Hello 1.0 Setup</description>", manifest)
            strings = new.FileInfo[0][0].StringTable[0].entries
            self.assertEqual(strings[b"ProductName"], b"Hello")
            self.assertEqual(strings[b"FileVersion"], b"1.0.0.0")
            self.assertEqual(new.VS_FIXEDFILEINFO[0].FileVersionMS, 0x10000)

    def test_a_branded_installer_can_be_branded_again_and_keeps_its_archive(self):
        stub = STUBS[-1]
        installer = self.path("hello-setup.exe")
        result = q7pack("create", "-o", installer, "--stub", stub, "--brand", os.path.join(HELLO, "brand.ini"),
                        os.path.join(HELLO, "setup.ini"), os.path.join(HELLO, "payload"))
        self.assertEqual(result.returncode, 0, result.stderr)
        listed = q7pack("list", installer).stdout
        self.assertIn("title: Hello 1.0 Setup\n  version: 1.0\n  signed: no", listed)
        # The sample's brand sets no version or manifest: those of the first
        # brand stay, everything else is back as the stub has it.
        again = self.brand(installer, SAMPLE_BRAND, self.path("again.exe"))
        kept = {key: data for key, data in resources(again).items() if key[0] not in (RT_VERSION, RT_MANIFEST)}
        self.assertEqual(kept, {key: data for key, data in resources(stub).items() if key[0] != RT_MANIFEST})
        twice = one(resources(self.brand(again, os.path.join(HELLO, "brand.ini"), self.path("twice.exe"))),
                    RT_MANIFEST, 1).decode()
        self.assertEqual((twice.count("<description>"), twice.count("<trustInfo")), (1, 1), twice)
        relisted = q7pack("list", again).stdout
        self.assertIn("title: Inštalácia programu Q7 Zápisník\n  version: 1.0", relisted)
        self.assertEqual(listed[listed.index("packed"):], relisted[relisted.index("packed"):])
        self.assertEqual(q7pack("verify", again).returncode, 0)

    def test_bad_brands_are_refused_with_nothing_written(self):
        with open(os.path.join(HELLO, "banner.bmp"), "rb") as f:
            banner = f.read()
        small = bytearray(banner)
        struct.pack_into("<i", small, 18, 100)
        rle = bytearray(banner)
        struct.pack_into("<I", rle, 30, 1)
        files = {"small.bmp": bytes(small), "rle.bmp": bytes(rle), "cut.ico": open(os.path.join(HELLO, "hello.ico"), "rb").read()[:200],
                 "text.ico": b"not an icon"}
        for name, data in files.items():
            with open(self.path(name), "wb") as f:
                f.write(data)
        cases = [
            ("[installer]\ntitel = x\n", "brand.ini:2: unknown key 'titel' in [installer]"),
            ("[colours]\nx = 1\n", "brand.ini:2: key outside a known section"),
            ("[texts]\n221 = x\n", "brand.ini:2: no page control 221 takes a text"),
            ("[texts]\n106.211 = x\n", "brand.ini:2: no page 106"),
            ("[strings]\n7 = x\n", "brand.ini:2: no string 7"),
            ("[installer]\ntitle = Hello \u2192 World\n", "character U+2192 (text position 7) does not exist in the "
                                                          "installer's code page, Windows-1250"),
            ("[installer]\ntitle = " + "x" * 256 + "\n", "text of 256 characters; at most 255"),
            ("[strings]\n1 = a\\tb\n", "a backslash starts \\n"),
            ("[installer]\nbanner = small.bmp\n", "small.bmp: the banner is 100 by 88 pixels; it must be 526 by 88"),
            ("[installer]\nbanner = rle.bmp\n", "rle.bmp: a compressed bitmap"),
            ("[installer]\nicon = cut.ico\n", "cut.ico: image 1 (32x32) lies past the end of the file"),
            ("[installer]\nicon = text.ico\n", "text.ico: not an icon (.ico) file"),
            ("[installer]\nicon = missing.ico\n", "brand.ini:2: cannot read"),
            ("[manifest]\nexecution-level = admin\n", "execution-level is asInvoker, highestAvailable or"),
            ("[version]\nfile-version = 1.2.3.4.5\n", "file-version must be one to four numbers"),
            ("[strings]\n1 = a\n1 = b\n", "brand.ini:3: '1' given twice"),
            (b"[installer]\ntitle = \xff\n", "brand.ini:2: not valid UTF-8 text"),
        ]
        for text, message in cases:
            with open(self.path("brand.ini"), "wb") as f:
                f.write(text if isinstance(text, bytes) else text.encode())
            for command in (["brand", "--stub", STUBS[0], self.path("brand.ini"), "-o", self.path("out.exe")],
                            ["create", "-o", self.path("out.exe"), "--stub", STUBS[0], "--brand",
                             self.path("brand.ini"), os.path.join(HELLO, "setup.ini")]):
                result = q7pack(*command)
                self.assertEqual(result.returncode, 1, text)
                self.assertIn(message, result.stderr, text)
                self.assertFalse(os.path.exists(self.path("out.exe")), text)


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
        installer = self.path("hello-setup.exe")
        result = q7pack("create", "-o", installer, "--stub", STUBS[-1], "--brand", os.path.join(HELLO, "brand.ini"),
                        os.path.join(HELLO, "setup.ini"), os.path.join(HELLO, "payload"))
        self.assertEqual(result.returncode, 0, result.stderr)
        signed = self.sign(installer, self.path("signed.exe"))
        self.assertEqual(q7pack("verify", signed).returncode, 0)
        listed = q7pack("list", signed).stdout
        self.assertIn("  signed: a signature of ", listed)
        self.assertIn("any change to this file", listed)

        # Packing onto, or branding, the signed installer leaves a clean
        # unsigned executable: no certificate entry pointing past its end.
        repacked = self.path("repacked.exe")
        result = q7pack("create", "-o", repacked, "--stub", signed, os.path.join(HELLO, "setup.ini"))
        self.assertEqual(result.returncode, 0, result.stderr)
        rebranded = self.brand(signed, os.path.join(HELLO, "brand.ini"), self.path("rebranded.exe"))
        for unsigned in (repacked, rebranded):
            pe = pefile.PE(unsigned)
            security = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
            self.assertEqual((security.VirtualAddress, security.Size), (0, 0), unsigned)
            self.assertIn("signed: no", q7pack("list", unsigned).stdout)
            self.sign(unsigned, unsigned + ".signed")
            self.assertEqual(q7pack("verify", unsigned + ".signed").returncode, 0)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
