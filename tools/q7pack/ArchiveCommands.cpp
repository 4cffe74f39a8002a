#include "tools/q7pack/ArchiveCommands.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "archive/uSolidArchive.h"
#include "archive/uStoredName.h"
#include "archive/uZlibArchive.h"
#include "pe/uPeFile.h"
#include "startup/uPeImage.h"
#include "system/uByteOrder.h"
#include "system/uSafeFolder.h"
#include "tools/q7pack/BrandApply.h"
#include "tools/q7pack/Names.h"
#include "tools/q7pack/PackError.h"
#include "tools/q7pack/PackInputs.h"
#include "tools/q7pack/Progress.h"

namespace {

// An archive file opened and its table loaded: an installer (the archive
// starts where its section data ends) or a bare archive (at offset 0).
std::optional<uint32_t> InstallerCodePage(const std::string& file, uint32_t imageEnd);

class OpenArchive {
public:
    explicit OpenArchive(const std::string& file) : file_(Open(file)) {
        TAppendedArchiveStart start = AppendedStart(file);
        IsInstaller = start.Kind != TAppendedArchiveStart::NotAnImage;
        if (start.Kind == TAppendedArchiveStart::Unreachable)
            throw PackError(file, "no archive: its sections end at 2 GiB or beyond, where none can be read");
        Offset = start.Offset;
        if (file_.Seek(Offset, soFromBeginning) != Offset) throw PackError(file, "cannot read");
        uint8_t code = Unpacker.LoadFileTable(file_);
        if (code != zaOk) throw PackError(file, TZLibAbstractArchive::ErrorCodeText(code));
        if (Unpacker.FileCount() == 0)
            throw PackError(file, IsInstaller ? "no archive appended to this installer" : "not an archive");
        ArchiveBytes = ArchiveSize();
        if (IsInstaller) SetPackageCodePage(InstallerCodePage(file, static_cast<uint32_t>(Offset)));
    }

    TZLibUnpacker Unpacker;
    int32_t Offset = 0;
    bool IsInstaller = false;
    uint64_t ArchiveBytes = 0;  // records and end record, as far as the file holds them

private:
    uint64_t ArchiveSize() {
        uint64_t records = ArchiveHeaderSize;  // the end record
        for (const TZLibPackedFile& entry : Unpacker.Files)
            records += ArchiveHeaderSize + entry.Name.size() + entry.PackedSize;
        if (Unpacker.Solid) records = static_cast<uint64_t>(Unpacker.Solid->End() - Offset);
        int64_t left = static_cast<int64_t>(file_.Size()) - static_cast<int64_t>(Offset);
        return std::min<uint64_t>(records, left < 0 ? 0 : static_cast<uint64_t>(left));
    }

    static TFileStream Open(const std::string& file) {
        RequireRegularFile(file);
        try {
            return TFileStream(file, fmOpenReadShareAll);
        } catch (const EWin32Error&) {
            throw PackError(file, "cannot open");
        }
    }

    // Where an archive starts: behind the section data of a PE image, or at
    // 0. An executable the header walk refuses is no bare archive either.
    TAppendedArchiveStart AppendedStart(const std::string& file) {
        std::string head(65536, '\0');
        head.resize(static_cast<size_t>(file_.Read(head.data(), static_cast<int32_t>(head.size()))));
        auto bytes = reinterpret_cast<const unsigned char*>(head.data());
        const char* fault = nullptr;
        LocatePeHeaders(bytes, head.size(), &fault);
        if (fault) throw PackError(file, fault);
        return AppendedArchiveStart(bytes, head.size());
    }

    TFileStream file_;
};

// The image of an installer before its archive; empty when the file is
// shorter than its sections say.
std::string ImageOf(const std::string& file, uint32_t imageEnd) {
    std::error_code ec;
    if (imageEnd > std::filesystem::file_size(file, ec) || ec) return {};
    std::ifstream in(file, std::ios::binary);
    std::string image(imageEnd, '\0');
    in.read(image.data(), static_cast<std::streamsize>(image.size()));
    return image;
}

// The code page an installer's names are in: UTF-8 when its manifest says
// so, today's Windows-1250 otherwise.
std::optional<uint32_t> InstallerCodePage(const std::string& file, uint32_t imageEnd) {
    try {
        return ReadIdentity(TPeFile(ImageOf(file, imageEnd))).utf8 ? std::optional<uint32_t>(65001) : std::nullopt;
    } catch (const EPeFormat&) {
        return std::nullopt;
    }
}

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
                    identity.title.empty() ? "(none)" : ShownText(identity.title).c_str(),
                    identity.version.empty() ? "(none)" : ShownText(identity.version).c_str(),
                    identity.ownArchiveOnly ? "refused (runs only its own archive)"
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

void ReportEntry(const std::string& file, size_t index, const TZLibPackedFile& entry,
                 const std::string& problem) {
    std::fprintf(stderr, "q7pack: %s: entry %zu '%s': %s\n", file.c_str(), index,
                 ShownName(entry.Name).c_str(), problem.c_str());
}

const char kNameRefused[] = "the installer cannot write this name: ";

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

// A batch is put in place at this many files or bytes: large enough that
// flushing costs little per file, small enough to keep few files open.
constexpr size_t kBatchFiles = 256;
constexpr uint64_t kBatchBytes = 64 << 20;

// Entries on their way out in batches: each is inflated into a new file; a
// full batch is flushed to disk together in the background while the next
// batch is inflated, and its files are renamed into place once the flush
// is done. The folders they go into are opened once while files in them
// wait.
class TExtraction {
public:
    TExtraction(const std::string& file, const TSafeFolder& root, bool overwrite)
        : file_(file), root_(root), overwrite_(overwrite) {}

    // Inflates entry number index; reported (with any problem) when its
    // batch is put in place.
    void Add(size_t index, const TZLibPackedFile& entry, std::string problem);
    // Starts flushing the entries added since the last batch when they are
    // enough; puts in place and reports those whose flush is done. The count
    // of bad ones.
    int Step();
    // Puts every entry in place and reports it; the count of bad ones.
    int Finish();

private:
    struct TEntry {
        size_t index;
        const TZLibPackedFile* entry;
        std::string problem, target;
        std::unique_ptr<TSafeNewFile> out;
    };
    std::string Inflate(TEntry& item);
    int PutFlushedInPlace();
    const TSafeFolder& FolderOf(const std::vector<std::string>& parts);

    const std::string& file_;
    const TSafeFolder& root_;
    bool overwrite_;
    std::map<std::string, std::unique_ptr<TSafeFolder>> folders_;
    std::vector<TEntry> batch_;  // destroyed before the folders
    TFlushBatch flush_;
    uint64_t bytes_ = 0;
    size_t files_ = 0;  // added since the last batch started flushing
};

const TSafeFolder& TExtraction::FolderOf(const std::vector<std::string>& parts) {
    const TSafeFolder* folder = &root_;
    std::string key;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        key += parts[i] + '/';
        std::unique_ptr<TSafeFolder>& level = folders_[key];
        if (!level) level = std::make_unique<TSafeFolder>(folder->Enter(parts[i], true));
        folder = level.get();
    }
    return *folder;
}

// Inflates one entry into a new file below the root; an empty text on
// success, otherwise why not. Nothing is written through a link.
std::string TExtraction::Inflate(TEntry& item) {
    std::vector<std::string> parts = NameParts(item.entry->Name);
    for (std::string& part : parts) part = LocalName(part);
    if (parts.empty()) return "refused: the name is the folder itself";
    // Windows cannot open a longer path, nor a longer name in a folder;
    // the bounds also keep a deep name's walk short.
    if (item.entry->Name.size() > kMaxExtractPath)
        return "refused: longer than " + std::to_string(kMaxExtractPath) + " bytes, more than Windows can open";
    for (const std::string& part : parts)
        if (part.size() > kMaxExtractComponent)
            return "refused: a folder or file name longer than " + std::to_string(kMaxExtractComponent) + " bytes";
    try {
        const TSafeFolder& folder = FolderOf(parts);
        item.target = parts.back();
        item.out = std::make_unique<TSafeNewFile>(folder, item.target);
        std::string problem = InflateRecorded(*item.entry, item.out->Stream());
        if (!problem.empty()) {
            item.out.reset();
            return problem + "; nothing was written";
        }
        item.target = folder.PathOf(item.target);
        flush_.Add(*item.out);
        bytes_ += item.entry->UnpackedSize;
        ++files_;
    } catch (const PackError& e) {
        item.out.reset();
        return e.Subject() + " " + e.what();
    }
    return {};
}

void TExtraction::Add(size_t index, const TZLibPackedFile& entry, std::string problem) {
    batch_.push_back({index, &entry, std::move(problem), {}, nullptr});
    if (batch_.back().problem.empty()) batch_.back().problem = Inflate(batch_.back());
}

int TExtraction::Step() {
    if (files_ < kBatchFiles && bytes_ < kBatchBytes) return 0;
    files_ = 0;
    bytes_ = 0;
    try {
        flush_.Start();
    } catch (const PackError& e) {
        for (TEntry& item : batch_)
            if (item.out && item.out->Flushed()) item.problem = e.Subject() + " " + e.what(), item.out.reset();
    }
    return PutFlushedInPlace();
}

int TExtraction::Finish() {
    try {
        flush_.Wait();
    } catch (const PackError& e) {
        for (TEntry& item : batch_)
            if (item.out) item.problem = e.Subject() + " " + e.what(), item.out.reset();
    }
    int bad = PutFlushedInPlace();
    folders_.clear();
    return bad;
}

// Renames the entries at the front whose flush is done, in their order.
int TExtraction::PutFlushedInPlace() {
    int bad = 0;
    size_t done = 0;
    for (; done < batch_.size() && (!batch_[done].out || batch_[done].out->Flushed()); ++done) {
        TEntry& item = batch_[done];
        try {
            if (item.out && !item.out->Commit(overwrite_)) item.problem = item.target + " exists (--overwrite replaces it)";
        } catch (const PackError& e) {
            item.problem = e.Subject() + " " + e.what();
        }
        item.out.reset();
        if (item.problem.empty()) continue;
        ReportEntry(file_, item.index, *item.entry, item.problem);
        ++bad;
    }
    batch_.erase(batch_.begin(), batch_.begin() + static_cast<std::ptrdiff_t>(done));
    return bad;
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
    TExtraction extraction(file, root, overwrite);
    for (size_t i = 0; i < files.size(); ++i) {
        const TZLibPackedFile& entry = files[i];
        progress.Step(i + 1, files.size(), ShownName(entry.Name));
        std::string problem;
        if (const char* fault = StoredNameFault(entry.Name))
            problem = std::string("refused: ") + fault;
        else if (!seen.insert(NameKey(entry.Name)).second)
            problem = "skipped: an earlier entry has the same name (the installer finds that one)";
        extraction.Add(i, entry, problem);
        bad += extraction.Step();
    }
    bad += extraction.Finish();
    // The last renames on disk too (POSIX; NTFS logs them in order).
    FlushFolderChanges(root);
    std::printf("%s: extracted %zu of %s to %s\n", file.c_str(), files.size() - bad,
                CountOf(files.size(), "entry", "entries").c_str(), folder.c_str());
    return bad > 0 ? 1 : 0;
}
