#include "scriptlib/uPatcherInstall.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "archive/uStoredName.h"
#include "scriptlib/uInstallJournal.h"
#include "system/uSystemFiles.h"

namespace {

// One entry on its way: the folder and name it goes to and the new file
// that holds its bytes until then.
struct TPending {
    const TZLibPackedFile* entry;
    TFolderId folder;
    std::string name;
    std::unique_ptr<TSafeNewFile> file;
};

// Passes the inflated bytes on and counts them; once the observer says stop
// it takes nothing more, which ends the inflation.
class TCountingStream : public TStream {
public:
    TCountingStream(TStream& output, TInstallObserver& observer, uint64_t& written, uint64_t total)
        : output_(output), observer_(observer), written_(written), total_(total) {}

    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Seek(int32_t offset, uint16_t origin) override { return output_.Seek(offset, origin); }
    int32_t Write(const void* buffer, int32_t count) override {
        if (Stopped) return 0;
        int32_t done = output_.Write(buffer, count);
        if (done > 0) written_ += static_cast<uint64_t>(done);
        Stopped = !observer_.Progress(written_, total_);
        return done;
    }

    bool Stopped = false;

private:
    TStream& output_;
    TInstallObserver& observer_;
    uint64_t& written_;
    uint64_t total_;
};

bool IsScript(const std::string& name) { return AsciiLower(name) == "setup.ini"; }

// Why an entry inflated into stream did not reach its file: the OS's text
// for a write that fell short (a full disk), else damaged data.
std::string EntryFailure(const THandleStream& stream) {
    return "cannot be written: " +
           (stream.WriteError ? OsErrorText(stream.WriteError) : std::string("its data in the archive is damaged"));
}

// The nearest folder of folder that exists, and the names below it that do
// not, outermost first; the empty text (the current folder) for a relative
// folder none of whose levels exists. The folder the caller names is taken
// as named: links on the way to it are followed, as everywhere a script
// names a path. A root that does not exist (a missing drive or share)
// fails.
std::string ExistingAncestor(const std::string& folder, std::vector<std::string>& missing) {
    std::string path = folder, name;
    while (!path.empty() && !IsExistingDirectory(path)) {
        if (!SplitLastName(path, path, name)) throw EPathError(folder, "lies on a drive or share that does not exist");
        if (name != ".") missing.insert(missing.begin(), name);
    }
    return path;
}

class TInstallation {
public:
    TInstallation(const TZLibUnpacker& unpacker, TInstallObserver& observer)
        : unpacker_(unpacker), observer_(observer) {}

    TInstallResult Run(const std::string& folder);

private:
    void OpenRoot(const std::string& folder);
    TFolderId FolderOf(const std::vector<std::string>& parts);
    TFolderId Made(TFolderId parent, const std::string& name);
    const TSafeFolder& Folder(const TPending& pending) const { return journal_.Folder(pending.folder); }
    bool Plan();
    void PutBackLeftovers();
    bool Write(TPending& pending);
    void PutInPlace(TPending& pending);
    TInstallResult Stop(TInstallOutcome outcome, const std::string& failed);

    const TZLibUnpacker& unpacker_;
    TInstallObserver& observer_;
    TInstallJournal journal_;  // holds the folders; undone after the files below close
    TFolderId root_ = 0;
    // The folders entered so far, sorted by the stored folder's parts
    // joined with '\'.
    std::vector<std::pair<std::string, TFolderId>> folders_;
    std::vector<TPending> pending_;
    uint64_t total_ = 0, written_ = 0;
    bool cancelled_ = false;
    std::string failed_, reason_;
};

// The subfolder name of parent, made (and recorded) when it is missing;
// never a link.
TFolderId TInstallation::Made(TFolderId parent, const std::string& name) {
    bool missing = journal_.Folder(parent).KindOf(name) == TEntryKind::Missing;
    TFolderId folder = journal_.Hold(journal_.Folder(parent).Enter(name, true));
    if (missing) journal_.FolderMade(parent, name, folder);
    return folder;
}

void TInstallation::OpenRoot(const std::string& folder) {
    std::vector<std::string> missing;
    std::string existing = ExistingAncestor(folder, missing);
    root_ = journal_.Hold(TSafeFolder(existing));
    for (const std::string& name : missing) root_ = Made(root_, name);
}

// The folder an entry's parts (its file name last) go into, below the root.
TFolderId TInstallation::FolderOf(const std::vector<std::string>& parts) {
    TFolderId folder = root_;
    std::string key;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        key += parts[i] + '\\';
        auto known = std::lower_bound(folders_.begin(), folders_.end(), key,
                                      [](const auto& known, const std::string& key) { return known.first < key; });
        if (known != folders_.end() && known->first == key) {
            folder = known->second;
        } else {
            folder = Made(folder, parts[i]);
            folders_.emplace(known, key, folder);
        }
    }
    return folder;
}

// Refuses the names that would leave the folder, before anything is written.
bool TInstallation::Plan() {
    for (const TZLibPackedFile& entry : unpacker_.Files) {
        if (IsScript(entry.Name)) continue;
        const char* fault = StoredNameFault(entry.Name);
        if (fault || NameParts(entry.Name).empty()) {
            failed_ = entry.Name;
            reason_ = fault ? fault : "names no file";
            return false;
        }
        total_ += entry.UnpackedSize;
        pending_.push_back({&entry, 0, {}, nullptr});
    }
    return true;
}

// Finds every entry's folder, refuses a link where a file goes, and puts
// back an old copy a killed run left aside before anything is written, so
// that what this run puts aside is what the machine had. Only a file can
// be an old copy; anything else under that name is refused.
void TInstallation::PutBackLeftovers() {
    for (TPending& pending : pending_) {
        std::vector<std::string> parts = NameParts(pending.entry->Name);
        pending.folder = FolderOf(parts);
        pending.name = parts.back();
        const TSafeFolder& folder = Folder(pending);
        // A link cannot be put aside and back as it was everywhere (Wine
        // renames what a Unix link points to), so it is refused.
        if (folder.KindOf(pending.name) == TEntryKind::Link)
            throw EPathError(folder.PathOf(pending.name), "is a link; nothing is installed through links");
        std::string aside = AsideName(pending.name);
        TEntryKind kind = folder.KindOf(aside);
        if (kind == TEntryKind::Missing) continue;
        if (kind != TEntryKind::File) throw EPathError(folder.PathOf(aside), "is not an old copy");
        folder.Rename(aside, pending.name);
    }
}

bool TInstallation::Write(TPending& pending) {
    const TSafeFolder& folder = Folder(pending);
    if (folder.KindOf(pending.name) == TEntryKind::Folder) throw EPathError(folder.PathOf(pending.name), "is a folder");
    failed_ = folder.PathOf(pending.name);
    observer_.Entry(pending.entry->Name);
    pending.file = std::make_unique<TSafeNewFile>(folder, pending.name);
    TCountingStream counting(pending.file->Stream(), observer_, written_, total_);
    bool whole = pending.entry->ExtractTo(&counting) == zaOk;
    cancelled_ = counting.Stopped;
    if (!whole) reason_ = EntryFailure(pending.file->Stream());
    return whole && !cancelled_;
}

void TInstallation::PutInPlace(TPending& pending) {
    const TSafeFolder& folder = Folder(pending);
    // A target seen twice (a name stored twice, or two that differ only in
    // case on Windows) has its first old copy aside already, and the file
    // now there is this installation's own.
    bool there = folder.KindOf(pending.name) != TEntryKind::Missing;
    bool ours = there && folder.KindOf(AsideName(pending.name)) != TEntryKind::Missing;
    if (there && !ours) {
        folder.Rename(pending.name, AsideName(pending.name));
        journal_.FileReplaced(pending.folder, pending.name);
    }
    if (!pending.file->Commit(ours)) throw EPathError(folder.PathOf(pending.name), "appeared meanwhile");
    if (!there) journal_.FileCreated(pending.folder, pending.name);
    pending.file.reset();
    cancelled_ = !observer_.Progress(written_, total_);
}

TInstallResult TInstallation::Stop(TInstallOutcome outcome, const std::string& failed) {
    // The new files go before their folders, which the undo closes as it
    // removes those it made.
    pending_.clear();
    journal_.Undo();
    if (outcome == ioCancelled) return {outcome, {}, {}};
    return {outcome, failed, reason_};
}

TInstallResult TInstallation::Run(const std::string& folder) {
    if (!Plan()) return {ioRefused, failed_, reason_};
    try {
        failed_ = folder;
        OpenRoot(folder);
        PutBackLeftovers();
        for (TPending& pending : pending_)
            if (!Write(pending)) return Stop(cancelled_ ? ioCancelled : ioFailed, failed_);
        for (TPending& pending : pending_) {
            PutInPlace(pending);
            if (cancelled_) return Stop(ioCancelled, {});
        }
    } catch (const EPathError& e) {
        reason_ = e.what();
        return Stop(ioFailed, e.Subject());
    }
    pending_.clear();
    journal_.Commit();
    return {ioDone, {}, {}};
}

}  // namespace

TInstallResult InstallArchive(const TZLibUnpacker& unpacker, const std::string& folder, TInstallObserver& observer) {
    TInstallation installation(unpacker, observer);
    return installation.Run(folder);
}
