#include "scriptlib/uPatcherInstall.h"

#include <memory>
#include <vector>

#include "scriptlib/uInstallJournal.h"
#include "system/uSystemFiles.h"

namespace {

// One entry on its way: the file it goes to and the temporary file that
// holds its bytes until then.
struct TPending {
    const TZLibPackedFile* entry;
    TFileTarget where;
    std::unique_ptr<TTemporaryFile> temporary;
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

std::string Below(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    char last = folder.back();
    return last == '\\' || last == '/' ? folder + name : folder + "\\" + name;
}

std::string WithoutSeparator(std::string path) {
    while (path.size() > 1 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    return path;
}

// Makes folder and the parents it lacks, outermost first, recording each.
// Empty when done, else the folder that could not be made.
std::string MakeFolders(const std::string& folder, TInstallJournal& journal) {
    std::vector<std::string> missing;
    for (std::string at = WithoutSeparator(folder); !at.empty() && !IsExistingDirectory(at);) {
        missing.push_back(at);
        size_t cut = at.find_last_of("\\/");
        at = cut == std::string::npos || cut == 0 ? std::string() : at.substr(0, cut);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (!CreateSingleDirectory(*it)) return *it;
        journal.FolderMade(*it);
    }
    return {};
}

class TInstallation {
public:
    TInstallation(const TZLibUnpacker& unpacker, TInstallObserver& observer)
        : unpacker_(unpacker), observer_(observer) {}

    TInstallResult Run(const std::string& folder);

private:
    bool Plan(const std::string& folder);
    bool PutBackLeftovers();
    bool Write(TPending& pending);
    bool PutInPlace(TPending& pending);
    TInstallResult Stop(TInstallOutcome outcome, const std::string& failed);

    const TZLibUnpacker& unpacker_;
    TInstallObserver& observer_;
    TInstallJournal journal_;
    std::vector<TPending> pending_;
    uint64_t total_ = 0, written_ = 0;
    bool cancelled_ = false;
    std::string failed_;
};

// Refuses the names that would leave folder and resolves every target.
bool TInstallation::Plan(const std::string& folder) {
    for (const TZLibPackedFile& entry : unpacker_.Files) {
        if (IsScript(entry.Name)) continue;
        TPending pending{&entry, {}, nullptr};
        if (StoredNameFault(entry.Name) != nullptr || !ResolveFileTarget(Below(folder, entry.Name), pending.where) ||
            pending.where.IsDevice) {
            failed_ = entry.Name;
            return false;
        }
        total_ += entry.UnpackedSize;
        pending_.push_back(std::move(pending));
    }
    return true;
}

// An old copy a killed run left aside goes back before anything is
// written, so that what this run puts aside is what the machine had.
bool TInstallation::PutBackLeftovers() {
    for (TPending& pending : pending_) {
        const std::string& target = pending.where.Path;
        failed_ = target;
        std::string aside = AsideName(target);
        if (!IsExistingName(aside)) continue;
        // Only a file can be an old copy; anything else under that name
        // would take the target's place and must not.
        if (IsExistingDirectory(aside) || !ReplaceFileWith(aside, target)) return false;
    }
    return true;
}

bool TInstallation::Write(TPending& pending) {
    const std::string& target = pending.where.Path;
    failed_ = MakeFolders(pending.where.Folder, journal_);
    if (!failed_.empty()) return false;
    failed_ = target;
    if (IsExistingDirectory(target)) return false;
    observer_.Entry(pending.entry->Name);
    pending.temporary = std::make_unique<TTemporaryFile>(pending.where.Folder);
    if (!pending.temporary->IsOpen()) return false;
    TCountingStream counting(pending.temporary->Stream(), observer_, written_, total_);
    bool whole = pending.entry->ExtractTo(&counting) == zaOk;
    cancelled_ = counting.Stopped;
    return whole && !cancelled_;
}

bool TInstallation::PutInPlace(TPending& pending) {
    const std::string& target = pending.where.Path;
    failed_ = target;
    // A target seen twice (a name stored twice, or two that differ only in
    // case on Windows) has its first old copy aside already.
    bool replacing = IsExistingName(target) && !IsExistingName(AsideName(target));
    bool creating = !IsExistingName(target);
    if (replacing) {
        if (!RenameFile(target, AsideName(target))) return false;
        journal_.FileReplaced(target);
    }
    if (!pending.temporary->MoveTo(target)) return false;
    if (creating) journal_.FileCreated(target);
    cancelled_ = !observer_.Progress(written_, total_);
    return !cancelled_;
}

TInstallResult TInstallation::Stop(TInstallOutcome outcome, const std::string& failed) {
    pending_.clear();  // the temporary files go before their folders
    journal_.Undo();
    return {outcome, failed};
}

TInstallResult TInstallation::Run(const std::string& folder) {
    if (!Plan(folder)) return {ioRefused, failed_};
    failed_ = MakeFolders(folder, journal_);
    if (!failed_.empty() || !PutBackLeftovers()) return Stop(ioFailed, failed_);
    for (TPending& pending : pending_)
        if (!Write(pending)) return Stop(cancelled_ ? ioCancelled : ioFailed, cancelled_ ? "" : failed_);
    for (TPending& pending : pending_)
        if (!PutInPlace(pending)) return Stop(cancelled_ ? ioCancelled : ioFailed, cancelled_ ? "" : failed_);
    pending_.clear();
    journal_.Commit();
    return {ioDone, {}};
}

}  // namespace

TInstallResult InstallArchive(const TZLibUnpacker& unpacker, const std::string& folder, TInstallObserver& observer) {
    TInstallation installation(unpacker, observer);
    return installation.Run(folder);
}
