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
void WriteToDevice(const TZLibPackedFile& entry, const std::string& path) {
    TFileStream device(path, CreateMode);
    if (!WriteEntry(entry, device)) throw EPathError(path, EntryFailure(device));
}

// Writes the entry as name in folder, through a temporary file beside it,
// in the place of a file (or link) of that name; never over a folder.
void WriteInto(const TZLibPackedFile& entry, const TSafeFolder& folder, const std::string& name) {
    if (folder.KindOf(name) == TEntryKind::Folder) throw EPathError(folder.PathOf(name), "is a folder");
    TSafeNewFile file(folder, name);
    if (!WriteEntry(entry, file.Stream())) throw EPathError(folder.PathOf(name), EntryFailure(file.Stream()));
    if (!file.Commit(true)) throw EPathError(folder.PathOf(name), "cannot be replaced: " + OsErrorText(LastOsError()));
}

// A name from the archive writes one file under the current directory and
// nothing else: every level below it is entered without following links,
// so a link planted in an install folder cannot carry the file elsewhere.
void InstallUnderStoredName(const TZLibPackedFile& entry) {
    const char* fault = StoredNameFault(entry.Name);
    std::vector<std::string> parts = NameParts(entry.Name);
    if (fault || parts.empty()) throw EPathError(entry.Name, fault ? fault : "names no file");
    TSafeFolder folder("");
    for (size_t i = 0; i + 1 < parts.size(); ++i) folder = folder.Enter(parts[i], false);
    WriteInto(entry, folder, parts.back());
}

// The target as the script named it, written there: links on the way are
// the script's own choice.
void InstallAsTarget(const TZLibPackedFile& entry, const std::string& target) {
    TFileTarget where;
    if (!ResolveFileTarget(target, where)) throw EPathError(target, "names no file");
    if (IsExistingDirectory(where.Path)) throw EPathError(where.Path, "is a folder");
    if (where.IsDevice) return WriteToDevice(entry, where.Path);
    TSafeFolder folder(where.Folder);
    WriteInto(entry, folder, where.Path.substr(where.Folder.size()));
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

std::string EntryFailure(const THandleStream& stream) {
    return stream.WriteError ? "cannot be written: " + OsErrorText(stream.WriteError)
                             : "cannot be written: its data in the archive is damaged";
}

bool InstallArchiveEntry(const TZLibUnpacker& unpacker, int32_t index, const std::string& target,
                         std::string* failure) {
    const TZLibPackedFile* entry = EntryAt(unpacker, index);
    try {
        if (!entry) throw EPathError("entry " + IntegerText(index), "is not in the archive");
        target.empty() ? InstallUnderStoredName(*entry) : InstallAsTarget(*entry, target);
        return true;
    } catch (const EWin32Error& e) {
        if (failure) *failure = target + ": " + OsErrorText(e.Code);
    } catch (const EPathError& e) {
        if (failure) *failure = e.Subject() + " " + e.what();
    }
    return false;
}
