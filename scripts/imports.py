#!/usr/bin/python3
"""Fails when a built installer imports from a DLL that Windows might load
from the installer's own folder.

    imports.py EXE...

Windows looks for a DLL that an import table names in the program's folder
before System32, except for its KnownDLLs, which it always maps from
System32. An installer runs from Downloads and similar folders, where
anyone may have left a DLL, so it may import only

- the DLLs that are KnownDLLs on every Windows from 7 on,
- ntdll.dll, mapped into every process before the program, and
- comctl32.dll, which the manifest binds to Common-Controls v6 in the
  side-by-side store;

and none of the functions that those DLLs forward to a DLL outside that
list (ADVAPI32!SystemFunction036, RtlGenRandom, goes to CRYPTBASE.dll).
Debian's pefile belongs to /usr/bin/python3.
"""
import sys

import pefile

KNOWN_DLLS = {"advapi32.dll", "comdlg32.dll", "gdi32.dll", "imagehlp.dll", "imm32.dll", "kernel32.dll",
              "msctf.dll", "msvcrt.dll", "normaliz.dll", "nsi.dll", "ole32.dll", "oleaut32.dll", "psapi.dll",
              "rpcrt4.dll", "sechost.dll", "setupapi.dll", "shell32.dll", "shlwapi.dll", "user32.dll",
              "wldap32.dll", "ws2_32.dll", "ntdll.dll", "comctl32.dll"}
# Exports of those DLLs that Windows forwards to a DLL it finds by searching.
FORWARDED = {("advapi32.dll", name) for name in (b"SystemFunction036", b"SystemFunction040", b"SystemFunction041")}


def faults(path):
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"],
                               pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT"]])
    for kind in ("DIRECTORY_ENTRY_IMPORT", "DIRECTORY_ENTRY_DELAY_IMPORT"):
        for dll in getattr(pe, kind, []):
            name = dll.dll.decode(errors="replace").lower()
            if name not in KNOWN_DLLS:
                yield f"imports {name}, which Windows would look for beside the installer"
            for function in dll.imports:
                if (name, function.name) in FORWARDED:
                    yield f"imports {name}!{function.name.decode()}, which Windows forwards to a DLL it searches for"


def main(paths):
    failed = False
    for path in paths:
        for fault in faults(path):
            print(f"{path}: {fault}")
            failed = True
    if not failed:
        print(f"imports: {len(paths)} installer(s) import only DLLs that Windows maps from System32")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
