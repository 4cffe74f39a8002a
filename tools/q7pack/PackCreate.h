#pragma once
// Writes an archive, bare or appended to an installer stub, from the
// collected inputs. The output appears only when everything was written:
// the work goes to a temporary file beside it that is renamed at the end.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/q7pack/BrandFile.h"
#include "tools/q7pack/PackInputs.h"

struct CreateOptions {
    std::string output;
    std::string stub;  // empty: a bare archive
    std::string brand;  // brand file written into the stub, or empty
    int level = 0;
    bool solid = false;  // the solid LZMA format instead of zlib per entry
    unsigned threads = 1;  // compressing threads; the output never depends on it
    // Positions in the installer are signed 32-bit: the whole output file,
    // stub included, must stay below 2 GiB.
    uint64_t maxOutputBytes = uint64_t{1} << 31;
};

// The uninstaller q7pack builds beside an installer: the same stub and
// brand, with an archive whose setup.ini is the uninstall script, followed
// by one empty entry for every payload name of the installer, in the same
// order, and one for the uninstaller itself (Name) last.
struct UninstallerOptions {
    std::string script;  // the uninstall script; empty: no uninstaller
    std::string name = "uninstall.exe";
};

struct CreateSummary {
    size_t entries = 0;
    uint64_t unpackedBytes = 0;  // the files' bytes
    uint64_t packedBytes = 0;    // their compressed data, without headers or names
    uint64_t archiveBytes = 0;   // records and end record
    uint64_t stubBytes = 0;      // the stub's image before the archive
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

// Writes bytes to output through a temporary file renamed at the end;
// raises PackError, leaving output untouched.
void WriteOutputFile(const std::string& output, const std::string& bytes);

// The stub's image without any archive or signature appended to it (the
// certificate-table entry cleared with them), with the brand's resources
// written in when there is one. Raises PackError for a file that is not a
// PE image and for a brand that does not fit it.
std::string ReadStubImage(const std::string& path, const TBrand* brand = nullptr);

// Writes output: the stub with the brand's resources, followed by any
// archive that was appended to it (a signature is dropped). Returns the
// bytes written; raises PackError, leaving output untouched.
uint64_t WriteBrandedStub(const std::string& stubPath, const std::string& brandFile, const std::string& output);
