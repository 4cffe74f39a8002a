#include "scriptlib/uPatcherArchive.h"

#include <vector>

#include "archive/uStoredName.h"
#include "system/uSafeFolder.h"
#include "system/uSystemFiles.h"

namespace {

// Inflates the entry into stream; true when it ended complete and every
// byte was written.
bool WriteEntry(const TZLibPackedFile& entry, TStream& stream) { return entry.ExtractTo(&stream) == zaOk; }

// A device takes the bytes as they come: there is nothing to replace.
bool WriteToDevice(const TZLibPackedFile& entry, const std::string& path) {
    try {
        TFileStream device(path, CreateMode);
        return WriteEntry(entry, device);
    } catch (const EWin32Error&) {
        return false;
    }
}

// The components of a stored name; \ and / both separate.
std::vector<std::string> Components(const std::string& name) {
    std::vector<std::string> parts(1);
    for (char c : name) {
        if (c == '\\' || c == '/')
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

// Writes the entry as name in folder, through a temporary file beside it,
// in the place of a file (or link) of that name; never over a folder.
bool WriteInto(const TZLibPackedFile& entry, const TSafeFolder& folder, const std::string& name) {
    if (folder.KindOf(name) == TEntryKind::Folder) return false;
    TSafeNewFile file(folder, name);
    return WriteEntry(entry, file.Stream()) && file.Commit(true);
}

// A name from the archive writes one file under the current directory and
// nothing else: every level below it is entered without following links,
// so a link planted in an install folder cannot carry the file elsewhere.
bool InstallUnderStoredName(const TZLibPackedFile& entry) {
    if (StoredNameFault(entry.Name) != nullptr) return false;
    std::vector<std::string> parts = Components(entry.Name);
    TSafeFolder folder("");
    for (size_t i = 0; i + 1 < parts.size(); ++i) folder = folder.Enter(parts[i], false);
    return WriteInto(entry, folder, parts.back());
}

}  // namespace

bool InstallArchiveEntry(const TZLibUnpacker& unpacker, int32_t index, const std::string& target) {
    if (index < 0 || index >= unpacker.FileCount()) return false;
    const TZLibPackedFile& entry = unpacker.FileAt(index);
    try {
        if (target.empty()) return InstallUnderStoredName(entry);
        // A target the script names is its own choice, links included.
        TFileTarget where;
        if (!ResolveFileTarget(target, where) || IsExistingDirectory(where.Path)) return false;
        if (where.IsDevice) return WriteToDevice(entry, where.Path);
        TSafeFolder folder(where.Folder);
        return WriteInto(entry, folder, where.Path.substr(where.Folder.size()));
    } catch (const EPathError&) {
        return false;
    }
}
