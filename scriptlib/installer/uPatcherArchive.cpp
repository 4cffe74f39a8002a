#include "scriptlib/installer/uPatcherArchive.h"

#include <vector>

#include "system/fs/uFiles.h"
#include "system/fs/uSafeFolder.h"
#include "system/fs/uStoredName.h"

namespace {

// Inflates the entry into stream; true when it ended complete and every
// byte was written.
bool WriteEntry(const TZLibPackedFile& entry, TStream& stream) { return entry.ExtractTo(&stream) == zaOk; }

// A device takes the bytes as they come: there is nothing to replace.
bool WriteToDevice(const TZLibPackedFile& entry, const std::string& path) {
    try {
        TFileStream device(path, CreateMode);
        return WriteEntry(entry, device);
    } catch (const EOsError&) {
        return false;
    }
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
    std::vector<std::string> parts = NameParts(entry.Name);
    if (parts.empty()) return false;
    TSafeFolder folder("");
    for (size_t i = 0; i + 1 < parts.size(); ++i) folder = folder.Enter(parts[i], false);
    return WriteInto(entry, folder, parts.back());
}

// Takes bytes up to a limit, then nothing (which ends the inflation).
class TBoundedText : public TStream {
public:
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Seek(int32_t, uint16_t) override { return static_cast<int32_t>(Data.size()); }
    int32_t Write(const void* buffer, int32_t count) override {
        if (count < 0 || static_cast<uint64_t>(count) > ArchiveTextLimit - Data.size()) return 0;
        Data.append(static_cast<const char*>(buffer), static_cast<size_t>(count));
        return count;
    }

    std::string Data;
};

}  // namespace

const TZLibPackedFile* EntryAt(const TZLibUnpacker& unpacker, int32_t index) {
    return index >= 0 && index < unpacker.FileCount() ? &unpacker.FileAt(index) : nullptr;
}

bool ReadArchiveEntryText(const TZLibUnpacker& unpacker, int32_t index, std::string& text) {
    text.clear();
    const TZLibPackedFile* entry = EntryAt(unpacker, index);
    if (!entry || entry->UnpackedSize > ArchiveTextLimit) return false;
    TBoundedText bounded;
    if (!WriteEntry(*entry, bounded)) return false;
    text = std::move(bounded.Data);
    return true;
}

bool InstallArchiveEntry(const TZLibUnpacker& unpacker, int32_t index, const std::string& target) {
    const TZLibPackedFile* found = EntryAt(unpacker, index);
    if (!found) return false;
    const TZLibPackedFile& entry = *found;
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
