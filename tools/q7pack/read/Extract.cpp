// q7pack extract: every entry written below a folder, never through a
// link, each file whole or not at all.

#include <cstdio>
#include <optional>
#include <set>
#include <vector>

#include "archive/uStoredName.h"
#include "system/fs/uSafeFolder.h"
#include "tools/q7pack/common/Names.h"
#include "tools/q7pack/common/PackError.h"
#include "tools/q7pack/common/Progress.h"
#include "tools/q7pack/read/ArchiveCommands.h"
#include "tools/q7pack/read/OpenArchive.h"

namespace {

constexpr size_t kMaxExtractPath = 32000, kMaxExtractComponent = 255;

// Inflates entry into out, no more than its recorded size; an empty text
// when it inflated to exactly that size, otherwise what went wrong.
std::string InflateRecorded(const TZLibPackedFile& entry, TStream& out) {
    TCappedStream capped(out, entry.UnpackedSize);
    uint8_t code = entry.ExtractTo(&capped);
    const std::string recorded = std::to_string(entry.UnpackedSize);
    if (capped.Over()) return "inflates to more than the recorded " + recorded + " bytes";
    if (code != zaOk) return TZLibAbstractArchive::ErrorCodeText(code);
    if (capped.Written() != entry.UnpackedSize)
        return "inflates to " + std::to_string(capped.Written()) + " bytes, recorded " + recorded;
    return {};
}

// Extracts one entry below root; an empty text on success, otherwise why
// not. Nothing is written through a link, and a failed entry leaves
// nothing behind and removes nothing that was there.
std::string ExtractEntry(const TZLibPackedFile& entry, const TSafeFolder& root, bool overwrite) {
    std::vector<std::string> parts = NameParts(entry.Name);
    for (std::string& part : parts) part = LocalName(part);
    if (parts.empty()) return "refused: the name is the folder itself";
    // Windows cannot open a longer path, nor a longer name in a folder;
    // the bounds also keep a deep name's walk short.
    if (entry.Name.size() > kMaxExtractPath)
        return "refused: longer than " + std::to_string(kMaxExtractPath) + " bytes, more than Windows can open";
    for (const std::string& part : parts)
        if (part.size() > kMaxExtractComponent)
            return "refused: a folder or file name longer than " + std::to_string(kMaxExtractComponent) + " bytes";
    try {
        std::optional<TSafeFolder> level;
        for (size_t i = 0; i + 1 < parts.size(); ++i) level = (level ? *level : root).Enter(parts[i], true);
        const TSafeFolder& folder = level ? *level : root;
        TSafeNewFile out(folder, parts.back());
        std::string problem = InflateRecorded(entry, out.Stream());
        if (!problem.empty()) return problem + "; nothing was written";
        if (!out.Commit(overwrite)) return folder.PathOf(parts.back()) + " exists (--overwrite replaces it)";
    } catch (const PackError& e) {
        return e.Subject() + " " + e.what();
    }
    return {};
}

}  // namespace

int ExtractArchive(const std::string& file, const std::string& folder, bool overwrite) {
    OpenArchive archive(file);
    TSafeFolder root(folder, true);
    RemoveTemporaryLeftovers(root);
    std::set<std::string> seen;
    int bad = 0;
    Progress progress("extracting");
    const auto& files = archive.Unpacker.Files;
    for (size_t i = 0; i < files.size(); ++i) {
        const TZLibPackedFile& entry = files[i];
        progress.Step(i + 1, files.size(), ShownName(entry.Name));
        std::string problem;
        if (const char* fault = StoredNameFault(entry.Name)) {
            problem = std::string("refused: ") + fault;
        } else if (!seen.insert(NameKey(entry.Name)).second) {
            problem = "skipped: an earlier entry has the same name (the installer finds that one)";
        } else {
            problem = ExtractEntry(entry, root, overwrite);
        }
        if (problem.empty()) continue;
        ReportEntry(file, i, entry, problem);
        ++bad;
    }
    std::printf("%s: extracted %zu of %s to %s\n", file.c_str(), files.size() - bad,
                CountOf(files.size(), "entry", "entries").c_str(), folder.c_str());
    return bad > 0 ? 1 : 0;
}
