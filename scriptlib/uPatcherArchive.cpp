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

}  // namespace

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
