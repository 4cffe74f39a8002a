#include "tools/q7pack/read/OpenArchive.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>

#include "archive/uSolidArchive.h"
#include "pe/uPeFile.h"
#include "tools/q7pack/brand/BrandApply.h"
#include "tools/q7pack/common/Files.h"
#include "tools/q7pack/common/Names.h"
#include "tools/q7pack/common/PackError.h"

namespace {

// The code page an installer's names are in: UTF-8 when its manifest says
// so, today's Windows-1250 otherwise.
std::optional<uint32_t> InstallerCodePage(const std::string& file, uint32_t imageEnd) {
    try {
        return ReadIdentity(TPeFile(ImageOf(file, imageEnd))).Utf8 ? std::optional<uint32_t>(65001) : std::nullopt;
    } catch (const EPeFormat&) {
        return std::nullopt;
    }
}

}  // namespace

OpenArchive::OpenArchive(const std::string& file) : file_(Open(file)) {
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

uint64_t OpenArchive::ArchiveSize() {
    uint64_t records = ArchiveHeaderSize;  // the end record
    for (const TZLibPackedFile& entry : Unpacker.Files)
        records += ArchiveHeaderSize + entry.Name.size() + entry.PackedSize;
    if (Unpacker.Solid) records = static_cast<uint64_t>(Unpacker.Solid->End() - Offset);
    int64_t left = static_cast<int64_t>(file_.Size()) - static_cast<int64_t>(Offset);
    return std::min<uint64_t>(records, left < 0 ? 0 : static_cast<uint64_t>(left));
}

TFileStream OpenArchive::Open(const std::string& file) {
    RequireRegularFile(file);
    try {
        return TFileStream(file, fmOpenReadShareAll);
    } catch (const EOsError&) {
        throw PackError(file, "cannot open");
    }
}

TAppendedArchiveStart OpenArchive::AppendedStart(const std::string& file) {
    std::string head(65536, '\0');
    head.resize(static_cast<size_t>(file_.Read(head.data(), static_cast<int32_t>(head.size()))));
    auto bytes = reinterpret_cast<const unsigned char*>(head.data());
    const char* fault = nullptr;
    LocatePeHeaders(bytes, head.size(), &fault);
    if (fault) throw PackError(file, fault);
    return AppendedArchiveStart(bytes, head.size());
}

std::string ImageOf(const std::string& file, uint32_t imageEnd) {
    std::error_code ec;
    if (imageEnd > std::filesystem::file_size(file, ec) || ec) return {};
    std::ifstream in(file, std::ios::binary);
    std::string image(imageEnd, '\0');
    in.read(image.data(), static_cast<std::streamsize>(image.size()));
    return image;
}

void ReportEntry(const std::string& file, size_t index, const TZLibPackedFile& entry,
                 const std::string& problem) {
    std::fprintf(stderr, "q7pack: %s: entry %zu '%s': %s\n", file.c_str(), index,
                 ShownName(entry.Name).c_str(), problem.c_str());
}
