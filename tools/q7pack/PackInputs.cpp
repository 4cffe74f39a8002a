#include "tools/q7pack/PackInputs.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "archive/uZlibArchive.h"
#include "system/uSystem.h"
#include "tools/q7pack/PackError.h"

namespace fs = std::filesystem;

namespace {

constexpr char kSetupName[] = "setup.ini";

uint64_t RegularFileSize(const fs::path& path, const std::string& argument) {
    std::error_code ec;
    fs::file_status status = fs::status(path, ec);
    if (ec || !fs::exists(status)) throw PackError(argument, "no such file or folder");
    if (!fs::is_regular_file(status)) throw PackError(argument, "not a regular file");
    uint64_t size = fs::file_size(path, ec);
    if (ec) throw PackError(argument, "cannot read: " + ec.message());
    if (size > UINT32_MAX) throw PackError(argument, "a file of 4 GiB or more cannot be stored");
    return size;
}

// Every regular file below folder, stored as prefix + its relative path.
void AddFolder(const fs::path& folder, const std::string& prefix, const std::string& argument,
               std::vector<PackInput>& out) {
    std::vector<PackInput> found;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_directory()) continue;
        std::string relative = it->path().lexically_relative(folder).generic_string();
        std::replace(relative.begin(), relative.end(), '/', '\\');
        std::string shown = argument + "/" + it->path().lexically_relative(folder).generic_string();
        found.push_back({prefix + relative, it->path().string(), RegularFileSize(it->path(), shown)});
    }
    if (ec) throw PackError(argument, "cannot read folder: " + ec.message());
    std::sort(found.begin(), found.end(), [](const PackInput& a, const PackInput& b) { return a.name < b.name; });
    out.insert(out.end(), found.begin(), found.end());
}

// One payload argument: a path, or NAME=PATH.
void AddArgument(const std::string& argument, std::vector<PackInput>& out) {
    std::string name;
    fs::path path = argument;
    std::error_code ec;
    size_t equals = argument.find('=');
    if (!fs::exists(path, ec) && equals != std::string::npos) {
        name = argument.substr(0, equals);
        path = argument.substr(equals + 1);
        if (name.empty()) throw PackError(argument, "empty name before '='");
    }
    if (fs::is_directory(path, ec)) {
        std::string prefix = name.empty() ? "" : name + "\\";
        AddFolder(path, prefix, argument, out);
        return;
    }
    uint64_t size = RegularFileSize(path, argument);
    out.push_back({name.empty() ? path.filename().string() : name, path.string(), size});
}

void CheckNames(const std::vector<PackInput>& inputs) {
    std::map<std::string, const PackInput*> seen;
    for (const PackInput& input : inputs) {
        if (input.name.size() > 0xFFFF) throw PackError(input.path, "stored name longer than 65535 bytes");
        if (const char* fault = StoredNameFault(input.name))
            throw PackError(input.path, "stored name '" + input.name + "' refused: " + fault);
        auto [it, inserted] = seen.emplace(AsciiLower(input.name), &input);
        if (!inserted)
            throw PackError(input.path, "stored name '" + input.name + "' is already taken by " + it->second->path +
                                            " ('" + it->second->name + "'; names differing only in A-Z case clash)");
    }
}

}  // namespace

std::vector<PackInput> CollectInputs(const std::string& setupIni, const std::vector<std::string>& payload) {
    std::vector<PackInput> inputs;
    inputs.push_back({kSetupName, setupIni, RegularFileSize(setupIni, setupIni)});
    for (const std::string& argument : payload) AddArgument(argument, inputs);
    CheckNames(inputs);
    return inputs;
}
