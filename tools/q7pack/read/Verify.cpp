// q7pack verify: every entry inflated and checked against its record.

#include <cstdio>

#include "archive/uSolidArchive.h"
#include "system/fs/uStoredName.h"
#include "tools/q7pack/common/Names.h"
#include "tools/q7pack/common/Progress.h"
#include "tools/q7pack/read/ArchiveCommands.h"
#include "tools/q7pack/read/OpenArchive.h"

namespace {

// Why an entry is bad, or an empty text for a good one.
std::string CheckSolidEntry(const TZLibPackedFile& entry) {
    TNullStream sink;
    TCappedStream capped(sink, entry.UnpackedSize);
    if (entry.ExtractTo(&capped) != zaOk)
        return "its block is damaged or cut short, or its bytes do not match their checksum";
    return {};
}

std::string CheckEntry(const TZLibPackedFile& entry) {
    if (entry.Solid) return CheckSolidEntry(entry);
    TNullStream sink;
    TInflateTotals totals;
    try {
        entry.Inflate(sink, &totals);
    } catch (const EZLibError&) {
        bool cut = totals.inputEnded && totals.readIn < entry.PackedSize;
        return cut ? "data cut short by the end of the file" : "not a complete zlib stream (damaged data or checksum)";
    }
    if (totals.produced != entry.UnpackedSize)
        return "inflates to " + std::to_string(totals.produced) + " bytes, recorded " +
               std::to_string(entry.UnpackedSize);
    if (totals.consumed != entry.PackedSize)
        return std::to_string(entry.PackedSize - totals.consumed) +
               " bytes behind the end of its zlib stream";
    return {};
}

}  // namespace

int VerifyArchive(const std::string& file) {
    OpenArchive archive(file);
    int bad = 0;
    Progress progress("verifying");
    const auto& files = archive.Unpacker.Files;
    for (size_t i = 0; i < files.size(); ++i) {
        progress.Step(i + 1, files.size(), ShownName(files[i].Name));
        std::string problem = CheckEntry(files[i]);
        if (const char* fault = StoredNameFault(files[i].Name))
            problem = kNameRefused + std::string(fault) + (problem.empty() ? "" : "; " + problem);
        if (problem.empty()) continue;
        ReportEntry(file, i, files[i], problem);
        ++bad;
    }
    if (bad > 0) {
        std::printf("%s: %d of %s %s bad\n", file.c_str(), bad,
                    CountOf(files.size(), "entry", "entries").c_str(), bad == 1 ? "is" : "are");
        return 1;
    }
    std::printf("%s: %s good\n", file.c_str(),
                files.size() == 1 ? "the 1 entry is"
                                  : ("all " + std::to_string(files.size()) + " entries are").c_str());
    return 0;
}
