#pragma once
// An archive file opened for q7pack's reading commands (list, verify,
// extract) with its table loaded: an installer (the archive starts where
// its section data ends) or a bare archive (at offset 0); and what the
// commands share in reporting on it.

#include <cstdint>
#include <string>

#include "archive/uZlibArchive.h"
#include "pe/uAppendedArchive.h"

class OpenArchive {
public:
    // Raises PackError naming file when it cannot be read, holds no archive
    // or a table the reader refuses. An installer's names are read in its
    // code page from then on (SetPackageCodePage).
    explicit OpenArchive(const std::string& file);

    TZLibUnpacker Unpacker;
    int32_t Offset = 0;
    bool IsInstaller = false;
    uint64_t ArchiveBytes = 0;  // records and end record, as far as the file holds them

private:
    uint64_t ArchiveSize();
    static TFileStream Open(const std::string& file);
    // Where an archive starts: behind the section data of a PE image, or at
    // 0. An executable the header walk refuses is no bare archive either.
    TAppendedArchiveStart AppendedStart(const std::string& file);

    TFileStream file_;
};

// The image of an installer before its archive; empty when the file is
// shorter than its sections say.
std::string ImageOf(const std::string& file, uint32_t imageEnd);

// "q7pack: FILE: entry INDEX 'NAME': problem" on standard error.
void ReportEntry(const std::string& file, size_t index, const TZLibPackedFile& entry, const std::string& problem);

// The start of the problem of an entry whose name StoredNameFault refuses.
inline constexpr char kNameRefused[] = "the installer cannot write this name: ";
