#pragma once
// Writes an archive, bare or appended to an installer stub, from the
// collected inputs. The output appears only when everything was written:
// the work goes to a temporary file beside it that is renamed at the end.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/q7pack/pack/PackInputs.h"

struct CreateOptions {
    std::string Output;
    std::string Stub;  // empty: a bare archive
    std::string Brand;  // brand file written into the stub, or empty
    int Level = 0;
    bool Solid = false;  // the solid LZMA format instead of zlib per entry
    unsigned Threads = 1;  // compressing threads; the output never depends on it
    // Positions in the installer are signed 32-bit: the whole output file,
    // stub included, must stay below 2 GiB.
    uint64_t MaxOutputBytes = uint64_t{1} << 31;
};

// The uninstaller q7pack builds beside an installer: the same stub and
// brand, with an archive whose setup.ini is the uninstall script, followed
// by one empty entry for every payload name of the installer, in the same
// order, and one for the uninstaller itself (Name) last.
struct UninstallerOptions {
    std::string Script;  // the uninstall script; empty: no uninstaller
    std::string Name = "uninstall.exe";
};

struct CreateSummary {
    size_t Entries = 0;
    uint64_t UnpackedBytes = 0;  // the files' bytes
    uint64_t PackedBytes = 0;    // their compressed data, without headers or names
    uint64_t ArchiveBytes = 0;   // records and end record
    uint64_t StubBytes = 0;      // the stub's image before the archive
};

// Raises PackError; on any failure nothing is left at options.output that
// was not there before. An output that is the script, a payload file, the
// brand file or its icon or banner is refused (the stub may be the output).
CreateSummary CreateArchive(const std::vector<PackInput>& inputs, const CreateOptions& options);

// The uninstaller's bytes for an installer of those inputs (setup.ini
// first, then the payload). Raises PackError, as CreateArchive does, when
// the uninstall script fails the check, its name is refused or clashes with
// a payload name, or the stub or brand is bad.
std::string BuildUninstaller(const std::vector<PackInput>& inputs, const UninstallerOptions& uninstaller,
                             const CreateOptions& options);

// The entry that stores the uninstaller in its installer, under its name.
PackInput UninstallerEntry(const std::string& bytes, const UninstallerOptions& uninstaller);
