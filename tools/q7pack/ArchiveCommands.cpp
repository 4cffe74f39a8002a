#include "tools/q7pack/ArchiveCommands.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>

#include "archive/uZlibArchive.h"
#include "pe/uPeFile.h"
#include "startup/uPeImage.h"
#include "tools/q7pack/BrandApply.h"
#include "tools/q7pack/PackError.h"
#include "tools/q7pack/Progress.h"

namespace fs = std::filesystem;

namespace {

// An archive file opened and its table loaded: an installer (the archive
// starts where its section data ends) or a bare archive (at offset 0).
class OpenArchive {
public:
    explicit OpenArchive(const std::string& file) : file_(Open(file)) {
        Offset = AppendedOffset();
        IsInstaller = Offset.has_value();
        file_.MoveTo(static_cast<int32_t>(Offset.value_or(0)));
        uint8_t code = Unpacker.LoadFileTable(file_);
        if (code != zaOk) throw PackError(file, TZLibAbstractArchive::ErrorCodeText(code));
        if (Unpacker.FileCount() == 0)
            throw PackError(file, IsInstaller ? "no archive appended to this installer" : "not an archive");
    }

    TZLibUnpacker Unpacker;
    std::optional<uint32_t> Offset;
    bool IsInstaller = false;

private:
    static TFileStream Open(const std::string& file) {
        try {
            return TFileStream(file, fmOpenReadShareAll);
        } catch (const EWin32Error&) {
            throw PackError(file, "cannot open");
        }
    }

    // Where section data ends when the file is a PE image.
    std::optional<uint32_t> AppendedOffset() {
        std::string head(65536, '\0');
        head.resize(static_cast<size_t>(file_.Read(head.data(), static_cast<int32_t>(head.size()))));
        return PeImageDataEnd(reinterpret_cast<const unsigned char*>(head.data()), head.size());
    }

    TFileStream file_;
};

// The installer's title and version, and whether a signature is appended:
// "title: ...", "version: ..." and "signed: ..." lines. A file whose
// resources cannot be read gets a line saying so instead.
void PrintInstallerFacts(const std::string& file, uint32_t imageEnd) {
    std::error_code ec;
    if (imageEnd > fs::file_size(file, ec) || ec) {
        std::printf("  resources: cannot be read (the sections run past the end of the file)\n");
        return;
    }
    std::ifstream in(file, std::ios::binary);
    std::string image(imageEnd, '\0');
    in.read(image.data(), static_cast<std::streamsize>(image.size()));
    try {
        TPeFile pe(image);
        TInstallerIdentity identity = ReadIdentity(pe);
        std::printf("  title: %s\n  version: %s\n", identity.title.empty() ? "(none)" : identity.title.c_str(),
                    identity.version.empty() ? "(none)" : identity.version.c_str());
        TPeDirectory signature = pe.Directory(pdCertificate);
        if (signature.Size != 0)
            std::printf("  signed: a signature of %u bytes at offset %u; any change to this file, q7pack create and\n"
                        "          brand included, invalidates it (they drop it: sign again afterwards)\n",
                        signature.Size, signature.VirtualAddress);
        else
            std::printf("  signed: no\n");
    } catch (const EPeFormat& e) {
        std::printf("  resources: cannot be read (%s)\n", e.what());
    }
}

std::string Ratio(uint64_t packed, uint64_t unpacked) {
    if (unpacked == 0) return "-";
    char text[16];
    std::snprintf(text, sizeof text, "%.1f%%", 100.0 * static_cast<double>(packed) / static_cast<double>(unpacked));
    return text;
}

// Why an entry is bad, or an empty text for a good one.
std::string CheckEntry(const TZLibPackedFile& entry) {
    TNullStream sink;
    TInflateTotals totals;
    try {
        entry.Inflate(sink, &totals);
    } catch (const EZLibError&) {
        return totals.readIn < entry.PackedSize ? "data cut short by the end of the file"
                                                 : "not a complete zlib stream (damaged data or checksum)";
    }
    if (totals.produced != entry.UnpackedSize)
        return "inflates to " + std::to_string(totals.produced) + " bytes, recorded " +
               std::to_string(entry.UnpackedSize);
    if (totals.consumed != entry.PackedSize)
        return std::to_string(entry.PackedSize - totals.consumed) + " bytes behind the end of its zlib stream";
    return {};
}

}  // namespace

int ListArchive(const std::string& file) {
    OpenArchive archive(file);
    uint64_t packed = 0, unpacked = 0;
    std::printf("%s: %s, archive at offset %u\n", file.c_str(), archive.IsInstaller ? "installer" : "bare archive",
                archive.Offset.value_or(0));
    if (archive.IsInstaller) PrintInstallerFacts(file, *archive.Offset);
    std::printf("%12s %12s %7s  %s\n", "packed", "unpacked", "ratio", "name");
    for (const TZLibPackedFile& entry : archive.Unpacker.Files) {
        std::printf("%12u %12u %7s  %s\n", entry.PackedSize, entry.UnpackedSize,
                    Ratio(entry.PackedSize, entry.UnpackedSize).c_str(), entry.Name.c_str());
        packed += entry.PackedSize;
        unpacked += entry.UnpackedSize;
    }
    std::printf("%12llu %12llu %7s  %d entries\n", static_cast<unsigned long long>(packed),
                static_cast<unsigned long long>(unpacked), Ratio(packed, unpacked).c_str(),
                archive.Unpacker.FileCount());
    return 0;
}

int VerifyArchive(const std::string& file) {
    OpenArchive archive(file);
    int bad = 0;
    Progress progress("verifying");
    const auto& files = archive.Unpacker.Files;
    for (size_t i = 0; i < files.size(); ++i) {
        progress.Step(i + 1, files.size(), files[i].Name);
        std::string problem = CheckEntry(files[i]);
        if (problem.empty()) continue;
        std::fprintf(stderr, "q7pack: %s: entry %zu '%s': %s\n", file.c_str(), i, files[i].Name.c_str(),
                     problem.c_str());
        ++bad;
    }
    if (bad > 0) {
        std::printf("%s: %d of %zu entries are bad\n", file.c_str(), bad, files.size());
        return 1;
    }
    std::printf("%s: all %zu entries are good\n", file.c_str(), files.size());
    return 0;
}

namespace {

// Extracts one entry to its file; an empty text on success, otherwise why not.
std::string ExtractEntry(const TZLibPackedFile& entry, const fs::path& target) {
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    if (ec) return "cannot create folder " + target.parent_path().string() + ": " + ec.message();
    uint8_t code;
    try {
        TFileStream out(target.string(), CreateMode);
        code = entry.ExtractTo(&out);
    } catch (const EWin32Error&) {
        return "cannot create " + target.string();
    }
    if (code == zaOk) return {};
    fs::remove(target, ec);  // never leave a half-written file behind
    return TZLibAbstractArchive::ErrorCodeText(code);
}

}  // namespace

int ExtractArchive(const std::string& file, const std::string& folder) {
    OpenArchive archive(file);
    std::set<std::string> seen;
    int bad = 0;
    Progress progress("extracting");
    const auto& files = archive.Unpacker.Files;
    for (size_t i = 0; i < files.size(); ++i) {
        const TZLibPackedFile& entry = files[i];
        progress.Step(i + 1, files.size(), entry.Name);
        std::string problem;
        if (const char* fault = StoredNameFault(entry.Name)) {
            problem = std::string("refused: ") + fault;
        } else if (!seen.insert(AsciiLower(entry.Name)).second) {
            problem = "skipped: an earlier entry has the same name (the installer finds that one)";
        } else {
            std::string relative = entry.Name;
            for (char& c : relative)
                if (c == '\\') c = '/';
            problem = ExtractEntry(entry, fs::path(folder) / fs::path(relative).relative_path());
        }
        if (problem.empty()) continue;
        std::fprintf(stderr, "q7pack: %s: entry %zu '%s': %s\n", file.c_str(), i, entry.Name.c_str(), problem.c_str());
        ++bad;
    }
    std::printf("%s: extracted %zu of %zu entries to %s\n", file.c_str(), files.size() - bad, files.size(),
                folder.c_str());
    return bad > 0 ? 1 : 0;
}
