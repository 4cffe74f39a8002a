// q7pack list: every entry with its sizes and ratio, and what names an
// installer.

#include <cstdio>

#include "pe/uPeFile.h"
#include "system/fs/uStoredName.h"
#include "tools/q7pack/brand/BrandApply.h"
#include "tools/q7pack/common/Names.h"
#include "tools/q7pack/read/ArchiveCommands.h"
#include "tools/q7pack/read/OpenArchive.h"

namespace {

// The installer's title and version, whether it runs archive files named
// on its command line, and whether a signature is appended: "title: ...",
// "version: ...", "archive files: ..." and "signed: ..." lines. A file whose
// resources cannot be read gets a line saying so instead.
void PrintInstallerFacts(const std::string& file, uint32_t imageEnd) {
    std::string image = ImageOf(file, imageEnd);
    if (image.empty()) {
        std::printf("  resources: cannot be read (the sections run past the end of the file)\n");
        return;
    }
    try {
        TPeFile pe(image);
        TInstallerIdentity identity = ReadIdentity(pe);
        std::printf("  title: %s\n  version: %s\n  archive files: %s\n",
                    identity.Title.empty() ? "(none)" : ShownText(identity.Title).c_str(),
                    identity.Version.empty() ? "(none)" : ShownText(identity.Version).c_str(),
                    identity.OwnArchiveOnly ? "refused (runs only its own archive)"
                                            : "accepted (runs an archive file named on its command line)");
        TPeDirectory signature = pe.Directory(pdCertificate);
        if (signature.Size != 0)
            std::printf(
                "  signed: a signature of %u bytes at offset %u; any change to this file, q7pack create and\n"
                "          brand included, invalidates it (they drop it: sign again afterwards)\n",
                signature.Size, signature.VirtualAddress);
        else
            std::printf("  signed: no\n");
    } catch (const EPeFormat& e) {
        std::printf("  resources: cannot be read (%s)\n", ShownText(e.what()).c_str());
    }
}

std::string Ratio(uint64_t packed, uint64_t unpacked) {
    if (unpacked == 0) return "-";
    char text[16];
    std::snprintf(text, sizeof text, "%.1f%%",
                  100.0 * static_cast<double>(packed) / static_cast<double>(unpacked));
    return text;
}

}  // namespace

int ListArchive(const std::string& file) {
    OpenArchive archive(file);
    uint64_t packed = 0, unpacked = 0;
    std::printf("%s: %s, archive at offset %d\n", file.c_str(),
                archive.IsInstaller ? "installer" : "bare archive", archive.Offset);
    if (archive.IsInstaller) PrintInstallerFacts(file, static_cast<uint32_t>(archive.Offset));
    std::printf("%12s %12s %7s  %s\n", "packed", "unpacked", "ratio", "name");
    for (const TZLibPackedFile& entry : archive.Unpacker.Files) {
        std::printf("%12u %12u %7s  %s\n", entry.PackedSize, entry.UnpackedSize,
                    Ratio(entry.PackedSize, entry.UnpackedSize).c_str(), ShownName(entry.Name).c_str());
        packed += entry.PackedSize;
        unpacked += entry.UnpackedSize;
    }
    std::printf("%12llu %12llu %7s  %s, entry data only; the archive is %llu bytes with headers and names\n",
                static_cast<unsigned long long>(packed), static_cast<unsigned long long>(unpacked),
                Ratio(packed, unpacked).c_str(),
                CountOf(archive.Unpacker.Files.size(), "entry", "entries").c_str(),
                static_cast<unsigned long long>(archive.ArchiveBytes));
    const auto& files = archive.Unpacker.Files;
    for (size_t i = 0; i < files.size(); ++i)
        if (const char* fault = StoredNameFault(files[i].Name))
            ReportEntry(file, i, files[i], kNameRefused + std::string(fault));
    return 0;
}
