#include "tools/q7pack/PackInputs.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "archive/uStoredName.h"
#include "tools/q7pack/Names.h"
#include "tools/q7pack/PackError.h"
#include "tools/q7pack/Platform.h"

namespace fs = std::filesystem;

namespace {

constexpr char kSetupName[] = "setup.ini";

// A path given as local text, and a path as local text: UTF-8 where local
// names are (the standard library would read narrow text on Windows in
// another code page than q7pack's UTF-8 one).
fs::path LocalPath(const std::string& text) { return LocalNamesAreUtf8() ? fs::u8path(text) : fs::path(text); }
std::string LocalText(const fs::path& path) { return LocalNamesAreUtf8() ? path.u8string() : path.string(); }

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

// The size of the regular file at path (links followed); subject names it
// in errors.
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

// Walks a payload folder. Links met inside it are refused, not followed
// (a link names something outside what the packager handed over, or loops);
// so are FIFOs, sockets and devices. The script's own file is left out.
class FolderWalk {
public:
    FolderWalk(const fs::path& root, const std::string& prefix, const fs::path& setupIni)
        : root_(root), prefix_(prefix), setupIni_(setupIni) {}

    void Walk(const fs::path& folder) {
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
            Visit(it->path());
        if (ec) throw PackError(folder.string(), "cannot be read as a folder: " + ec.message());
    }

    std::vector<PackInput> found;

private:
    void Visit(const fs::path& path) {
        const std::string shown = LocalText(path);
        if (IsLink(shown))
            throw PackError(shown,
                            "is a symbolic link inside a payload folder: links there are not followed; "
                            "name its target as a payload argument, or copy it in");
        std::error_code ec;
        fs::file_type type = fs::symlink_status(path, ec).type();
        if (type == fs::file_type::directory) return Walk(path);
        uint64_t size = RegularFileSize(path, shown);
        if (fs::equivalent(path, setupIni_, ec)) return;
        std::string relative = LocalText(path.lexically_relative(root_));
        found.push_back({prefix_ + StoredName(relative, shown), shown, size, {}});
    }

    fs::path root_;
    std::string prefix_;
    fs::path setupIni_;
};

// One payload argument: a path, or NAME=PATH.
void AddArgument(const std::string& argument, const std::string& setupIni, std::vector<PackInput>& out) {
    std::string name;
    fs::path path = LocalPath(argument);
    std::error_code ec;
    size_t equals = argument.find('=');
    if (!fs::exists(path, ec) && equals != std::string::npos) {
        name = argument.substr(0, equals);
        path = LocalPath(argument.substr(equals + 1));
        if (name.empty()) throw PackError(argument, "empty name before '='");
        name = StoredName(name, argument);
    }
    if (fs::is_directory(path, ec)) {
        FolderWalk walk(path, name.empty() ? "" : name + "\\", setupIni);
        walk.Walk(path);
        std::sort(walk.found.begin(), walk.found.end(),
                  [](const PackInput& a, const PackInput& b) { return a.name < b.name; });
        out.insert(out.end(), walk.found.begin(), walk.found.end());
        return;
    }
    uint64_t size = RegularFileSize(path, argument);
    if (name.empty()) name = StoredName(LocalText(path.filename()), argument);
    out.push_back({name, LocalText(path), size, {}});
}

}  // namespace

void CheckStoredNames(const std::vector<PackInput>& inputs) {
    std::map<std::string, const PackInput*> seen;
    for (const PackInput& input : inputs) {
        if (input.name.size() > 0xFFFF) throw PackError(input.path, "stored name longer than 65535 bytes");
        if (const char* fault = StoredNameFault(input.name))
            throw PackError(input.path, "stored name '" + ShownName(input.name) + "' refused: " + fault);
        auto [it, inserted] = seen.emplace(NameKey(input.name), &input);
        if (!inserted)
            throw PackError(input.path, "stored name '" + ShownName(input.name) + "' is already taken by " +
                                            it->second->path + " ('" + ShownName(it->second->name) +
                                            "'; names differing only in A-Z case or in / and \\ clash)");
    }
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

std::vector<PackInput> CollectInputs(const std::string& setupIni, const std::vector<std::string>& payload) {
    std::vector<PackInput> inputs;
    inputs.push_back({kSetupName, setupIni, RegularFileSize(LocalPath(setupIni), setupIni), {}});
    for (const std::string& argument : payload) AddArgument(argument, setupIni, inputs);
    CheckStoredNames(inputs);
    return inputs;
}
