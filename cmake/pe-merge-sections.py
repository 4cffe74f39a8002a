#!/usr/bin/env python3
"""Writes the linker script of the shipped installer: the linker's own
default script for PE images, with three small sections folded into larger
ones. Every section of a PE file is padded to the file alignment (512
bytes); .CRT (48 bytes of start-up tables) and .tls (8 bytes of TLS
markers) go into .data, and .eh_frame into .rdata, which saves about 1.5
KiB of padding in an installer with a size budget. Nothing moves within
what it joins: the TLS markers open .data (TLS data is addressed from its
section's start), the start-up tables close it, and the unwind tables come
before the pseudo-relocation list, whose end the default script defines
behind .rdata.

usage: pe-merge-sections.py LD OUTPUT
"""
import re
import subprocess
import sys


def section(script, name):
    """The whole output-section statement NAME ... { ... } and its body."""
    match = re.search(r"\n  " + re.escape(name) + r" [^\n]*:[^\n]*\n  \{\n(.*?)\n  \}\n", script, re.S)
    if not match:
        sys.exit(f"pe-merge-sections: no {name} section in the linker's default script")
    return match.group(0), match.group(1)


def main():
    ld, output = sys.argv[1], sys.argv[2]
    verbose = subprocess.run([ld, "--verbose"], check=True, capture_output=True, text=True).stdout
    script = verbose.split("=" * 50 + "\n")[1].rsplit("\n" + "=" * 50, 1)[0]
    crt, crt_body = section(script, ".CRT")
    tls, tls_body = section(script, ".tls")
    eh, eh_body = section(script, ".eh_frame")
    data, data_body = section(script, ".data")
    rdata, rdata_body = section(script, ".rdata")
    if "__rt_psrelocs_start" not in rdata_body:
        sys.exit("pe-merge-sections: .rdata holds no pseudo-relocation list")
    script = script.replace(crt, "\n").replace(tls, "\n").replace(eh, "\n")
    # Start-up tables the script does not name (.CRT$XD*, TLS initialisers)
    # went into .CRT as orphans: they still close the tables.
    crt_body += "\n    KEEP (*(SORT(.CRT$*)))"
    script = script.replace(data, data.replace(data_body, tls_body + "\n" + data_body + "\n" + crt_body))
    merged_rdata = rdata_body.replace("    . = ALIGN(4);\n    __rt_psrelocs_start", eh_body + "\n    . = ALIGN(4);\n    __rt_psrelocs_start")
    if merged_rdata == rdata_body:
        sys.exit("pe-merge-sections: cannot place .eh_frame in .rdata")
    script = script.replace(rdata, rdata.replace(rdata_body, merged_rdata))
    with open(output, "w") as out:
        out.write(script + "\n")


if __name__ == "__main__":
    main()
