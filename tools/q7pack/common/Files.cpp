#include "tools/q7pack/common/Files.h"

#include <fstream>
#include <optional>

#include "system/fs/uSafeFolder.h"
#include "tools/q7pack/common/PackError.h"
#include "tools/q7pack/common/Platform.h"

namespace fs = std::filesystem;

namespace {

// Why a file of this type cannot be packed; empty for a regular file.
std::string NotAFileReason(fs::file_type type) {
    switch (type) {
        case fs::file_type::regular:
            return {};
        case fs::file_type::not_found:
            return "no such file or folder";
        case fs::file_type::directory:
            return "is a folder, not a file";
        case fs::file_type::fifo:
            return "is a FIFO (named pipe), not a regular file";
        case fs::file_type::socket:
            return "is a socket, not a regular file";
        case fs::file_type::block:
        case fs::file_type::character:
            return "is a device, not a regular file";
        default:
            return "is not a regular file";
    }
}

// The folder OUT lies in and OUT's name in it.
std::pair<std::string, std::string> FolderAndName(const std::string& output) {
    size_t slash = output.find_last_of(PathSeparators());
    if (slash == std::string::npos) return {"", output};
    return {output.substr(0, slash + 1), output.substr(slash + 1)};
}

// The folder OUT is written in, held open meanwhile, and OUT's name in it.
TSafeFolder FolderOf(const std::string& output, std::string& name) {
    auto [folderPath, fileName] = FolderAndName(output);
    if (fileName.empty()) throw PackError(output, "names a folder, not the file to write");
    name = fileName;
    try {
        return TSafeFolder(folderPath, false);
    } catch (const PackError& e) {
        throw PackError(output, "cannot be written: its folder " + e.Subject() + " " + e.what());
    }
}

}  // namespace

fs::path LocalPath(const std::string& text) { return LocalNamesAreUtf8() ? fs::u8path(text) : fs::path(text); }
std::string LocalText(const fs::path& path) { return LocalNamesAreUtf8() ? path.u8string() : path.string(); }

uint64_t RegularFileSize(const fs::path& path, const std::string& subject) {
    std::error_code ec;
    fs::file_status status = fs::status(path, ec);
    if (ec && status.type() != fs::file_type::not_found)
        throw PackError(subject, "cannot be read: " + ec.message());
    std::string reason = NotAFileReason(status.type());
    if (!reason.empty()) throw PackError(subject, reason);
    uint64_t size = fs::file_size(path, ec);
    if (ec) throw PackError(subject, "cannot be read: " + ec.message());
    if (size > UINT32_MAX) throw PackError(subject, "a file of 4 GiB or more cannot be stored");
    return size;
}

void RequireRegularFile(const std::string& path) { RegularFileSize(LocalPath(path), path); }

std::string ReadInputFile(const std::string& path, uint64_t limit) {
    RequireRegularFile(path);
    std::ifstream in(LocalPath(path), std::ios::binary);
    if (!in) throw PackError(path, "cannot be opened for reading");
    std::string bytes;
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size < 0) throw PackError(path, "cannot be read");
    if (static_cast<uint64_t>(size) > limit)
        throw PackError(path, "is larger than " + std::to_string(limit) + " bytes, more than is read here");
    bytes.resize(static_cast<size_t>(size));
    in.seekg(0);
    if (!in.read(bytes.data(), static_cast<std::streamsize>(bytes.size())))
        throw PackError(path, "cannot be read");
    return bytes;
}

void RefuseReplacingInputs(const std::string& output, const std::vector<std::string>& inputs) {
    for (const std::string& input : inputs)
        if (WouldReplace(output, input))
            throw PackError(output, "is one of its own inputs (" + input + "); it is not replaced");
}

void WriteBytes(TStream& out, const std::string& bytes, const std::string& target) {
    if (!bytes.empty() &&
        out.Write(bytes.data(), static_cast<int32_t>(bytes.size())) != static_cast<int32_t>(bytes.size()))
        throw PackError(target, "write failed (disk full?)");
}

// A device or a FIFO (/dev/null, NUL) is written as it is, since a rename
// would put a regular file in its place.
void WriteThroughTemporary(const std::string& output, const std::function<void(TStream&)>& write) {
    if (IsDevice(output)) {
        constexpr uint16_t kWriteOnly = 1;
        std::optional<TFileStream> device;
        try {
            device.emplace(output, kWriteOnly);
        } catch (const EOsError&) {
            throw PackError(output, "is a device that cannot be opened for writing");
        }
        return write(*device);
    }
    std::string name;
    TSafeFolder folder = FolderOf(output, name);
    RemoveTemporaryLeftovers(folder);
    TSafeNewFile temp(folder, name);
    write(temp.Stream());
    temp.Commit(true);
}

void WriteOutputFile(const std::string& output, const std::string& bytes) {
    WriteThroughTemporary(output, [&](TStream& out) { WriteBytes(out, bytes, output); });
}
