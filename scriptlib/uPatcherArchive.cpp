#include "scriptlib/uPatcherArchive.h"

#include "system/uSystemFiles.h"

namespace {

// A temporary file that is removed unless it has been put in its place.
class TTemporaryFile {
public:
    explicit TTemporaryFile(const std::string& directory) : Path(CreateTemporaryFileIn(directory)) {}
    ~TTemporaryFile() {
        if (!Path.empty()) DeleteFileForced(Path);
    }
    TTemporaryFile(const TTemporaryFile&) = delete;
    TTemporaryFile& operator=(const TTemporaryFile&) = delete;

    bool MoveTo(const std::string& target) {
        if (!ReplaceFileWith(Path, target)) return false;
        Path.clear();
        return true;
    }

    std::string Path;  // empty when none could be made, or once moved
};

// Inflates the entry into the file; true when it ended complete and every
// byte was written. The file is closed before this returns.
bool WriteEntry(const TZLibPackedFile& entry, const std::string& path) {
    try {
        TFileStream output(path, CreateMode);
        return entry.ExtractTo(&output) == zaOk;
    } catch (const EWin32Error&) {
        return false;
    }
}

}  // namespace

bool InstallArchiveEntry(const TZLibUnpacker& unpacker, int32_t index, const std::string& target) {
    if (index < 0 || index >= unpacker.FileCount()) return false;
    const TZLibPackedFile& entry = unpacker.FileAt(index);
    std::string path = target;
    if (path.empty()) {
        // A name from the archive must write one file under the current
        // directory and nothing else; a target the script names is its own
        // choice.
        if (StoredNameFault(entry.Name) != nullptr) return false;
        path = entry.Name;
    }
    if (IsExistingDirectory(path)) return false;
    TTemporaryFile temporary(ExtractDirectoryPart(path));
    if (temporary.Path.empty()) return false;
    return WriteEntry(entry, temporary.Path) && temporary.MoveTo(path);
}
