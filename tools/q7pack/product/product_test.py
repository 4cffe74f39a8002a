#!/usr/bin/python3
"""Product files as packagers meet them: the examples eject scripts that pass
the installer's check, and Kartograf's brand is the saved one (what its
scripts do is tests/try/kartograf.try's); create --product packs the same
installer, byte for byte, as create with the ejected files; bad product
files are refused at their line.

usage: product_test.py Q7PACK SOURCE_DIR
Packing needs a stub the Windows presets built; without one it is skipped.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import hashlib
import json
import unittest

import jsonschema
import yaml

Q7PACK, SOURCE = sys.argv[1], sys.argv[2]
EXAMPLES = {name: os.path.join(SOURCE, "examples", name) for name in ("hello", "kartograf")}
SAVED = os.path.join(SOURCE, "tests", "product")
STUB = os.path.join(SOURCE, "build", "win32", "startup", "q7patcher.exe")
SAVE = os.environ.get("Q7_SAVE_PRODUCTS") == "1"  # rewrite the saved brand from this q7pack


def q7pack(*args):
    return subprocess.run([Q7PACK] + [str(a) for a in args], capture_output=True, text=True)


def read(path):
    with open(path, "rb") as f:
        return f.read()


class Generated(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp()

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def test_examples_give_the_saved_files(self):
        minimal = os.path.join(self.tmp, "minimal.ini")
        with open(minimal, "w") as f:
            f.write("[product]\nname = Hello\nversion = 1.0\npublisher = Example Software\nprogram = hello.exe\n")
        for name, product in [(n, os.path.join(f, "product.ini")) for n, f in EXAMPLES.items()] + [("minimal", minimal)]:
            out = os.path.join(self.tmp, name)
            run = q7pack("script", product, "-o", out)
            self.assertEqual(run.returncode, 0, run.stderr)
            saved = os.path.join(SAVED, name, "brand.ini")
            if not os.path.exists(saved):
                continue  # Hello's brand is the hand-written brand.ini's
            if SAVE:
                shutil.copyfile(os.path.join(out, "brand.ini"), saved)
            with self.subTest(example=name):
                self.assertEqual(read(os.path.join(out, "brand.ini")).decode(), read(saved).decode())

    def test_eject_keeps_the_packagers_files_unless_told(self):
        product = os.path.join(EXAMPLES["hello"], "product.ini")
        mine = os.path.join(self.tmp, "setup.ini")
        with open(mine, "w") as f:
            f.write("// my own work\n")
        run = q7pack("script", product, "-o", self.tmp)
        self.assertEqual(run.returncode, 1)
        self.assertIn("setup.ini: exists", run.stderr)
        self.assertEqual(read(mine), b"// my own work\n")
        self.assertFalse(os.path.exists(os.path.join(self.tmp, "brand.ini")), "nothing written")
        self.assertEqual(q7pack("script", product, "-o", self.tmp, "--overwrite").returncode, 0)
        self.assertNotEqual(read(mine), b"// my own work\n")

    @unittest.skipUnless(os.path.exists(STUB), "the win32 stub is not built")
    def test_create_product_is_create_with_the_ejected_files(self):
        folder = EXAMPLES["kartograf"]
        eject = os.path.join(self.tmp, "eject")
        program = os.path.join(self.tmp, "Kartograf.exe")
        shutil.copyfile(STUB, program)  # any file serves as the program here
        payload = [os.path.join(folder, "payload"), "Kartograf.exe=" + program]
        self.assertEqual(q7pack("script", os.path.join(folder, "product.ini"), "-o", eject).returncode, 0)
        direct, by_hand = os.path.join(self.tmp, "direct.exe"), os.path.join(self.tmp, "by-hand.exe")
        run = q7pack("create", "-o", direct, "--stub", STUB, "--product", os.path.join(folder, "product.ini"), *payload)
        self.assertEqual(run.returncode, 0, run.stderr)
        run = q7pack("create", "-o", by_hand, "--stub", STUB, "--brand", os.path.join(eject, "brand.ini"),
                     "--uninstaller", os.path.join(eject, "uninstall.ini"), os.path.join(eject, "setup.ini"), *payload)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(read(direct), read(by_hand))
        self.assertFalse([n for n in os.listdir(tempfile.gettempdir()) if n.startswith("q7product-")],
                         "the scratch folder is removed")

        # The payload must hold what the product file names.
        for old, new, line, message in (
            ("program = Kartograf.exe", "program = Missing.exe", 7,
             "the program 'Missing.exe' is not among the stored entries"),
            ("files = Karten\\Beispiele", "files = Karten\\Fehlt", 17,
             "component beispiele: 'Karten\\Fehlt' matches no stored entry"),
            ("[tasks]", "[run-before]\nprogram = vc_redist.exe\n[tasks]", 20,
             "the program to run before installing 'vc_redist.exe' is not among the stored entries"),
        ):
            with self.subTest(refused=message):
                text = read(os.path.join(folder, "product.ini")).decode().replace(old, new)
                bad = os.path.join(self.tmp, "bad.ini")
                with open(bad, "w") as f:
                    f.write(text)
                out = os.path.join(self.tmp, "bad.exe")
                run = q7pack("create", "-o", out, "--stub", STUB, "--product", bad, *payload)
                self.assertEqual(run.returncode, 1)
                self.assertIn(f"{bad}:{line}: {message}", run.stderr)
                self.assertFalse(os.path.exists(out))


    @unittest.skipUnless(os.path.exists(STUB), "the win32 stub is not built")
    def test_each_language_with_phrases_packs_in_its_code_page(self):
        program = os.path.join(self.tmp, "a.exe")
        shutil.copyfile(STUB, program)
        for tag, page in (("fr", 1252), ("es", 1252), ("it", 1252), ("pl", 1250), ("cs", 1250), ("sk", 1250)):
            with self.subTest(language=tag):
                product = os.path.join(self.tmp, "product.ini")
                with open(product, "w") as f:
                    f.write(f"[product]\nname = A\nversion = 1\npublisher = P\nprogram = a.exe\n[installer]\nlanguage = {tag}\n")
                run = q7pack("create", "-o", os.path.join(self.tmp, "a-setup.exe"), "--stub", STUB, "--product", product, program)
                self.assertEqual(run.returncode, 0, run.stderr)
                self.assertEqual(q7pack("script", product, "-o", os.path.join(self.tmp, tag)).returncode, 0)
                self.assertIn(f"codepage = {page}\n", read(os.path.join(self.tmp, tag, "brand.ini")).decode())

    @unittest.skipUnless(os.path.exists(STUB), "the win32 stub is not built")
    def test_winget_manifests_are_valid_and_name_the_installer(self):
        installer = os.path.join(self.tmp, "kartograf-setup.exe")
        folder = EXAMPLES["kartograf"]
        run = q7pack("create", "-o", installer, "--stub", STUB, "--product", os.path.join(folder, "product.ini"),
                     os.path.join(folder, "payload"), "Kartograf.exe=" + STUB)
        self.assertEqual(run.returncode, 0, run.stderr)
        out = os.path.join(self.tmp, "winget")
        run = q7pack("winget", os.path.join(folder, "product.ini"), installer, "--url", "https://example.org/k.exe",
                     "-o", out)
        self.assertEqual(run.returncode, 0, run.stderr)
        schemas = os.path.join(SAVED, "winget-schema-1.10.0")
        found = {}
        for kind, file in (("version", "NordlichtKartenwerk.Kartograf.yaml"),
                           ("installer", "NordlichtKartenwerk.Kartograf.installer.yaml"),
                           ("defaultLocale", "NordlichtKartenwerk.Kartograf.locale.de-DE.yaml")):
            with open(os.path.join(out, file), encoding="utf-8") as f:
                found[kind] = yaml.safe_load(f)
            with open(os.path.join(schemas, f"manifest.{kind}.1.10.0.json")) as f:
                jsonschema.validate(found[kind], json.load(f))
        entry = found["installer"]["Installers"][0]
        self.assertEqual(entry["InstallerSha256"], hashlib.sha256(read(installer)).hexdigest().upper())
        self.assertEqual((entry["Architecture"], found["installer"]["Scope"]), ("x64", "machine"))
        self.assertEqual(found["installer"]["AppsAndFeaturesEntries"][0]["ProductCode"], "Kartograf")


    @unittest.skipUnless(os.path.exists(STUB), "the win32 stub is not built")
    def test_app_alone_is_the_product_its_version_information_names(self):
        # A branded installer is a program whose version information says
        # Kartograf 2.1 by Nordlicht Kartenwerk.
        folder, payload = EXAMPLES["kartograf"], os.path.join(self.tmp, "payload")
        os.makedirs(payload)
        run = q7pack("create", "-o", os.path.join(payload, "Karten.exe"), "--stub", STUB, "--product",
                     os.path.join(folder, "product.ini"), os.path.join(folder, "payload"), "Kartograf.exe=" + STUB)
        self.assertEqual(run.returncode, 0, run.stderr)
        with open(os.path.join(payload, "readme.txt"), "w") as f:
            f.write("hello\n")
        out = os.path.join(self.tmp, "app.exe")
        for app, message in (("Karten.exe", None), ("readme.txt", "--app readme.txt: not a Windows program"),
                             ("Nope.exe", "--app Nope.exe: no file of the payload is stored under this name")):
            with self.subTest(app=app):
                run = q7pack("create", "-o", out, "--stub", STUB, "--app", app, payload)
                if message:
                    self.assertEqual(run.returncode, 1)
                    self.assertIn(message, run.stderr)
                else:
                    self.assertEqual(run.returncode, 0, run.stderr)
                    self.assertIn("title: Kartograf 2.1 Setup", q7pack("list", out).stdout)


class Refused(unittest.TestCase):
    CASES = [
        # (product file, line, message)
        ("[product]\nname = A\nversion = 1\npublisher = P\n", 0, "[product] needs program"),
        ("[product]\nname = A\nversion = 1\npublisher = P\nprogram = a.exe\ncolour = red\n", 6,
         "unknown key 'colour' in [product]"),
        ("[product]\nname = A\nname = B\n", 3, "'name' given twice in [product]"),
        ("[product]\nprogram = ..\\a.exe\n", 2, "program names a stored entry or folder below the installation folder"),
        ("[product]\nscope = everyone\n", 2, "scope is machine"),
        ("[product]\nid = Nord\\licht\n", 2, "id is one name without"),
        ("[tasks]\ndesktop = maybe\n", 2, "desktop is yes, no or ask"),
        ("[component a b]\n", 1, "a component's id is letters, digits, - and _"),
        ("[component x]\nname = X\nfiles = ;\n", 3, "files names stored entries or folders"),
        ("[product]\nname = A\nversion = 1\npublisher = P\nprogram = a.exe\n[component x]\nname = X\n", 6,
         "[component x] needs name and files"),
        ("[product]\nname = A\nversion = 1\npublisher = P\nprogram = a.exe\n" +
         "".join(f"[component c{i}]\nname = C\nfiles = f\n" for i in range(9)), 30, "at most 8 components"),
        ("[run-before]\nprogram = vc.exe\nsuccess = 0 ok\n", 3, "success lists exit codes separated by blanks"),
        ("[run-before]\nprogram = vc.exe\nsuccess = 4294967296\n", 3, "success lists exit codes"),
        ("[run-before]\nwait = yes\n", 2, "unknown key 'wait' in [run-before]"),
        ("[run-before]\n[run-before]\n", 2, "[run-before] given twice"),
        ("[product]\nname = A\nversion = 1\npublisher = P\nprogram = a.exe\n[run-before]\narguments = /q\n", 6,
         "[run-before] needs program"),
        ("[product]\nname = A\nversion = 1\npublisher = P\nprogram = a.exe\n[run-before]\nprogram = A.EXE\n", 7,
         "the program to run before installing is removed after it ran"),
        # The brand's own keys are the brand reader's, at the product file's line.
        ("[product]\nname = A\nversion = 1\npublisher = P\nprogram = a.exe\n\n[installer]\nlanguage = xx\n", 8,
         "no shipped language 'xx'"),
    ]

    def test_bad_product_files_are_refused_at_their_line(self):
        with tempfile.TemporaryDirectory() as tmp:
            for text, line, message in self.CASES:
                with self.subTest(message=message):
                    product = os.path.join(tmp, "product.ini")
                    with open(product, "w") as f:
                        f.write(text)
                    run = q7pack("script", product, "-o", os.path.join(tmp, "out"))
                    self.assertEqual(run.returncode, 1, run.stdout)
                    where = f"{product}:{line}: " if line else f"{product}: "
                    self.assertIn(where + message, run.stderr)
                    self.assertFalse(os.path.exists(os.path.join(tmp, "out")))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
