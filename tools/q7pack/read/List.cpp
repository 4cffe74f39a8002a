// q7pack list: every entry with its sizes and ratio, and what names an
// installer.

#include <algorithm>
#include <cstdio>

#include "archive/uSolidArchive.h"
#include "pe/uPeFile.h"
#include "system/fs/uStoredName.h"
#include "system/io/uByteOrder.h"
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

// ", solid: N segments of M LZMA streams, largest window W bytes, largest
// dictionary D bytes": what installing takes in memory.
std::string SolidSummary(const TSolidArchive& solid) {
    uint32_t window = 0, dictionary = 0;
    for (uint32_t s = 0; s < solid.SegmentCount(); ++s) window = std::max(window, solid.SegmentSize(s));
    for (const TSolidStream& s : solid.Streams()) dictionary = std::max(dictionary, LoadLE32(s.Props + 1));
    return ", solid: " + CountOf(solid.SegmentCount(), "segment", "segments") + " of " +
           CountOf(solid.Streams().size(), "LZMA stream", "LZMA streams") + ", largest window " +
           std::to_string(window) + " bytes, largest dictionary " + std::to_string(dictionary) + " bytes";
}

// Where a solid entry's bytes are: "table" or "segment N".
std::string SolidPlace(const TZLibPackedFile& entry) {
    uint32_t segment = entry.Solid->Record(entry.SolidRecord).Segment;
    return segment == SolidInTable ? "table" : "segment " + std::to_string(segment);
}

}  // namespace

int ListArchive(const std::string& file) {
    OpenArchive archive(file);
    const TSolidArchive* solid = archive.Unpacker.Solid.get();
    uint64_t packed = 0, unpacked = 0;
    std::printf("%s: %s, archive at offset %d%s\n", file.c_str(),
                archive.IsInstaller ? "installer" : "bare archive", archive.Offset,
                solid ? SolidSummary(*solid).c_str() : "");
    if (archive.IsInstaller) PrintInstallerFacts(file, static_cast<uint32_t>(archive.Offset));
    std::printf("%12s %12s %7s  %s\n", solid ? "stored in" : "packed", "unpacked", "ratio", "name");
    for (const TZLibPackedFile& entry : archive.Unpacker.Files) {
        std::string where = solid ? SolidPlace(entry) : std::to_string(entry.PackedSize);
        std::printf("%12s %12u %7s  %s\n", where.c_str(), entry.UnpackedSize,
                    solid ? "-" : Ratio(entry.PackedSize, entry.UnpackedSize).c_str(),
                    ShownName(entry.Name).c_str());
        packed += entry.PackedSize;
        unpacked += entry.UnpackedSize;
    }
    if (solid) packed = archive.ArchiveBytes - SolidHeaderSize;
    std::printf("%12llu %12llu %7s  %s, %s; the archive is %llu bytes with %s\n",
                static_cast<unsigned long long>(packed), static_cast<unsigned long long>(unpacked),
                Ratio(packed, unpacked).c_str(), CountOf(archive.Unpacker.Files.size(), "entry", "entries").c_str(),
                solid ? "the streams and the table" : "entry data only",
                static_cast<unsigned long long>(archive.ArchiveBytes), solid ? "its header" : "headers and names");
    const auto& files = archive.Unpacker.Files;
    for (size_t i = 0; i < files.size(); ++i)
        if (const char* fault = StoredNameFault(files[i].Name))
            ReportEntry(file, i, files[i], kNameRefused + std::string(fault));
    return 0;
}
