#include "scriptlib/uPatcherArchive.h"

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

bool ReadArchiveEntryText(const TZLibUnpacker& unpacker, int32_t index, std::string& text) {
    text.clear();
    if (index < 0 || index >= unpacker.FileCount()) return false;
    const TZLibPackedFile& entry = unpacker.FileAt(index);
    if (entry.UnpackedSize > ArchiveTextLimit) return false;
    TBoundedText bounded;
    if (!WriteEntry(entry, bounded)) return false;
    text = std::move(bounded.Data);
    return true;
}

bool InstallArchiveEntry(const TZLibUnpacker& unpacker, int32_t index, const std::string& target) {
    if (index < 0 || index >= unpacker.FileCount()) return false;
    const TZLibPackedFile& entry = unpacker.FileAt(index);
    std::string name = target;
    if (name.empty()) {
        // A name from the archive must write one file under the current
        // directory and nothing else; a target the script names is its own
        // choice.
        if (StoredNameFault(entry.Name) != nullptr) return false;
        name = entry.Name;
    }
    TFileTarget where;
    if (!ResolveFileTarget(name, where) || IsExistingDirectory(where.Path)) return false;
    if (where.IsDevice) return WriteToDevice(entry, where.Path);
    // The temporary file sits beside the target, so the final move stays on
    // one volume.
    TTemporaryFile temporary(where.Folder);
    return temporary.IsOpen() && WriteEntry(entry, temporary.Stream()) && temporary.MoveTo(where.Path);
}
