#include "tools/q7pack/pack/PackInputs.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "system/fs/uStoredName.h"
#include "tools/q7pack/common/Files.h"
#include "tools/q7pack/common/Names.h"
#include "tools/q7pack/common/PackError.h"
#include "tools/q7pack/common/Platform.h"

namespace fs = std::filesystem;

namespace {

constexpr char kSetupName[] = "setup.ini";


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
                  [](const PackInput& a, const PackInput& b) { return a.Name < b.Name; });
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
        if (input.Name.size() > 0xFFFF) throw PackError(input.Path, "stored name longer than 65535 bytes");
        if (const char* fault = StoredNameFault(input.Name))
            throw PackError(input.Path, "stored name '" + ShownName(input.Name) + "' refused: " + fault);
        auto [it, inserted] = seen.emplace(NameKey(input.Name), &input);
        if (!inserted)
            throw PackError(input.Path, "stored name '" + ShownName(input.Name) + "' is already taken by " +
                                            it->second->Path + " ('" + ShownName(it->second->Name) +
                                            "'; names differing only in A-Z case or in / and \\ clash)");
    }
}

std::vector<PackInput> CollectInputs(const std::string& setupIni, const std::vector<std::string>& payload) {
    std::vector<PackInput> inputs;
    inputs.push_back({kSetupName, setupIni, RegularFileSize(LocalPath(setupIni), setupIni), {}});
    for (const std::string& argument : payload) AddArgument(argument, setupIni, inputs);
    CheckStoredNames(inputs);
    return inputs;
}
