#include "scriptlib/installer/uPatcherInstall.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <utility>
#include <vector>

#include "scriptlib/installer/uInstallJournal.h"
#include "system/fs/uFiles.h"
#include "system/fs/uStoredName.h"
#include "system/io/uSharedView.h"
#include "system/io/uWorkers.h"

namespace {

// One entry on its way: its stored path, the folder and name it goes to,
// and the new file that holds its bytes until then.
struct TPending {
    const TZLibPackedFile* entry;
    std::string path;
    const TSafeFolder* folder;
    std::string name;
    std::unique_ptr<TSafeNewFile> file;
    std::string aside;     // where the old file goes in the journal's folder
    bool there = false;    // a file had the target's name when the installation began
    bool again = false;    // the target was put in place by an earlier entry
};

// Told how many bytes an entry has given; answers whether to go on.
class TWriteCounter {
public:
    virtual ~TWriteCounter() = default;
    virtual bool Count(uint64_t bytes) = 0;
};

// Passes the inflated bytes on and counts them; once the counter says stop
// it takes nothing more, which ends the inflation.
class TCountingStream : public TStream {
public:
    TCountingStream(TStream& output, TWriteCounter& counter) : output_(output), counter_(counter) {}

    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Seek(int32_t offset, uint16_t origin) override { return output_.Seek(offset, origin); }
    int32_t Write(const void* buffer, int32_t count) override {
        if (Stopped) return 0;
        int32_t done = output_.Write(buffer, count);
        Stopped = !counter_.Count(done > 0 ? static_cast<uint64_t>(done) : 0);
        return done;
    }

    bool Stopped = false;

private:
    TStream& output_;
    TWriteCounter& counter_;
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

// Entries from this many on are written and put in place by several
// workers at once, each one's waits for the system overlapping the others'
// work; fewer are not worth the threads.
constexpr size_t kAtOnceFrom = 16;
constexpr unsigned kWorkers = 4;
constexpr unsigned kReportEvery = 25;  // milliseconds between two reports while workers work

class TInstallation : private TWriteCounter {
public:
    TInstallation(const TZLibUnpacker& unpacker, TInstallObserver& observer, const TLeftOut& leftOut)
        : unpacker_(unpacker), observer_(observer), leftOut_(leftOut) {}

    TInstallResult Run(const std::string& folder);

private:
    // A worker's count of its bytes: added to the shared count, and the
    // answer is whether the installation still goes on.
    struct TSharedCounter : TWriteCounter {
        explicit TSharedCounter(TInstallation& owner) : owner(owner) {}
        bool Count(uint64_t bytes) override {
            TLockHold hold(owner.lock_);
            owner.written_ += bytes;
            return !owner.stop_;
        }
        TInstallation& owner;
    };

    bool Plan();
    TSafeFolder OpenRoot(const std::string& folder);
    void RemoveMade(const TSafeFolder& folder, size_t level);
    void Locate(TPending& pending);
    bool Count(uint64_t bytes) override;
    bool Write(TPending& pending, const TZLibPackedFile& entry, TWriteCounter& counter, std::string& reason);
    bool WriteInOrder();
    // A step of the workers' with one entry; false when it stops.
    using TStep = bool (TInstallation::*)(TPending&, TWriteCounter&, std::string& reason);
    bool AtOnce(TStep step);
    static void RunWorker(void* self) { static_cast<TInstallation*>(self)->Worker(); }
    void Worker();
    bool WriteShared(TPending& pending, TWriteCounter& counter, std::string& reason);
    bool PlaceShared(TPending& pending, TWriteCounter&, std::string&);
    void Record(TPending& pending);
    void Place(TPending& pending);
    bool PlaceAll(bool atOnce);
    TInstallResult Stop(TInstallOutcome outcome, const std::string& failed);

    const TZLibUnpacker& unpacker_;
    TInstallObserver& observer_;
    const TLeftOut& leftOut_;
    std::string base_;                 // the nearest folder of the root that existed
    std::vector<std::string> made_;    // the levels below it made for the root
    std::unique_ptr<TInstallJournal> journal_;  // holds the folders; undone after the files below close
    std::vector<TPending> pending_;
    std::unique_ptr<TFlushBatch> flushes_;  // the new files' flushes; ends before they close
    std::vector<std::string> targets_;  // the targets recorded so far, in lower case, sorted
    uint64_t total_ = 0, written_ = 0;
    bool cancelled_ = false;
    std::string failed_, reason_;
    // While workers work, lock_ guards written_, failed_, reason_ and these;
    // sourceLock_ guards the archive's stream.
    TLock lock_, sourceLock_;
    TStep step_ = nullptr;
    size_t next_ = 0, current_ = 0;  // the entry a worker takes next, and the last one taken
    bool stop_ = false;              // a worker failed or the observer said stop
};

// Refuses the names that would leave the folder, before anything is written.
bool TInstallation::Plan() {
    for (const TZLibPackedFile& entry : unpacker_.Files) {
        if (IsScript(entry.Name) || IsLeftOut(leftOut_, static_cast<size_t>(&entry - unpacker_.Files.data()))) continue;
        std::vector<std::string> parts = NameParts(entry.Name);
        const char* fault = StoredNameFault(entry.Name);
        if (fault || parts.empty()) {
            failed_ = entry.Name;
            reason_ = fault ? fault : "names no file";
            return false;
        }
        std::string path;
        for (const std::string& part : parts) path += (path.empty() ? "" : "\\") + part;
        total_ += entry.UnpackedSize;
        pending_.push_back({&entry, path, nullptr, parts.back(), nullptr, {}, false, false});
    }
    return true;
}

// The folder the caller names, made with the folders above it that are
// missing. The journal lives inside it, so the undo of this run, not the
// journal, removes what it made here.
TSafeFolder TInstallation::OpenRoot(const std::string& folder) {
    base_ = ExistingAncestor(folder, made_);
    TSafeFolder root(base_);
    for (const std::string& name : made_) root = root.Enter(name, true);
    return root;
}

// Removes the levels made for the root from level on below folder, the
// deepest first; one that holds something else now stays.
void TInstallation::RemoveMade(const TSafeFolder& folder, size_t level) {
    if (level + 1 < made_.size()) RemoveMade(folder.Enter(made_[level], false), level + 1);
    folder.RemoveFolder(made_[level]);
}

// Finds (making) the entry's folder and refuses a link or a folder where
// its file goes. A link cannot be put aside and back as it was everywhere
// (Wine renames what a Unix link points to), so it is refused.
void TInstallation::Locate(TPending& pending) {
    std::vector<std::string> parts = NameParts(pending.path);
    parts.pop_back();
    pending.folder = &journal_->Folder(parts);
    // A folder this run made holds only what this run puts there.
    TEntryKind kind = journal_->Made(*pending.folder) ? TEntryKind::Missing : pending.folder->KindOf(pending.name);
    pending.there = kind != TEntryKind::Missing;
    if (kind == TEntryKind::Link)
        throw EPathError(pending.folder->PathOf(pending.name), "is a link; nothing is installed through links");
    if (kind == TEntryKind::Folder) throw EPathError(pending.folder->PathOf(pending.name), "is a folder");
}

bool TInstallation::Count(uint64_t bytes) {
    written_ += bytes;
    return observer_.Progress(written_, total_);
}

// Inflates entry into a new file beside pending's target. False when the
// counter said stop, or when the entry failed (why in reason).
bool TInstallation::Write(TPending& pending, const TZLibPackedFile& entry, TWriteCounter& counter,
                          std::string& reason) {
    pending.file = std::make_unique<TSafeNewFile>(*pending.folder, pending.name);
    TCountingStream counting(pending.file->Stream(), counter);
    bool whole = entry.ExtractTo(&counting) == zaOk;
    if (counting.Stopped) return false;
    if (!whole) reason = EntryFailure(pending.file->Stream());
    return whole;
}

// One entry after another on this thread, the observer told of every
// write.
bool TInstallation::WriteInOrder() {
    for (TPending& pending : pending_) {
        failed_ = pending.folder->PathOf(pending.name);
        observer_.Entry(pending.entry->Name);
        if (!Write(pending, *pending.entry, *this, reason_)) {
            cancelled_ = reason_.empty();
            return false;
        }
        flushes_->Add(*pending.file);
    }
    return true;
}

// Does step with every entry, the entries shared out among workers, each
// taking the next one until none is left or the installation stops; this
// thread tells the observer how they go, and stops them when it says so.
// False when the installation stops: a step failed (the first failure is
// the installation's) or the observer said so.
bool TInstallation::AtOnce(TStep step) {
    step_ = step;
    next_ = 0;
    TWorkers workers(kWorkers, &TInstallation::RunWorker, this);
    size_t shown = pending_.size();
    for (bool ended = false; !ended;) {
        ended = workers.Wait(kReportEvery);
        uint64_t written;
        size_t current;
        {
            TLockHold hold(lock_);
            written = written_;
            current = current_;
        }
        if (current != shown) observer_.Entry(pending_[shown = current].entry->Name);
        if (observer_.Progress(written, total_)) continue;
        TLockHold hold(lock_);
        if (!stop_) cancelled_ = stop_ = true;
    }
    return !stop_;
}

void TInstallation::Worker() {
    TSharedCounter counter(*this);
    for (;;) {
        size_t index;
        {
            TLockHold hold(lock_);
            if (stop_ || next_ == pending_.size()) return;
            index = current_ = next_++;
        }
        TPending& pending = pending_[index];
        std::string failed = pending.folder->PathOf(pending.name), reason;
        bool done = false;
        try {
            done = (this->*step_)(pending, counter, reason);
        } catch (const EPathError& e) {
            failed = e.Subject();
            reason = e.what();
        } catch (const std::exception& e) {
            reason = std::string("cannot be written: ") + e.what();
        }
        if (done) continue;
        TLockHold hold(lock_);
        if (!stop_) failed_ = failed, reason_ = reason;
        stop_ = true;
        return;
    }
}

// A worker's step: the entry into its new file, read through a view of the
// archive of the worker's own.
bool TInstallation::WriteShared(TPending& pending, TWriteCounter& counter, std::string& reason) {
    TSharedView view(*pending.entry->Source, sourceLock_);
    if (!Write(pending, pending.entry->ReadingThrough(view), counter, reason)) return false;
    flushes_->Add(*pending.file);
    return true;
}

// A worker's step: the new file into its place, but for a target an
// earlier entry also has: that one goes after all the others, in order.
bool TInstallation::PlaceShared(TPending& pending, TWriteCounter&, std::string&) {
    if (!pending.again) Place(pending);
    return true;
}

// Records what will happen to the target. A target seen twice (a name
// stored twice, or two that differ only in case on Windows) is this
// installation's own the second time: replaced, and removed by the undo.
void TInstallation::Record(TPending& pending) {
    std::string key = AsciiLower(pending.path);
    auto at = std::lower_bound(targets_.begin(), targets_.end(), key);
    pending.again = at != targets_.end() && *at == key;
    if (!pending.again) targets_.insert(at, key);
    if (!pending.again && pending.there)
        pending.aside = journal_->Replaced(pending.path);
    else
        journal_->Created(pending.path);
}

void TInstallation::Place(TPending& pending) {
    const TSafeFolder& folder = *pending.folder;
    if (!pending.aside.empty()) folder.MoveTo(pending.name, journal_->Aside(), pending.aside, false);
    if (!pending.file->Commit(pending.again)) throw EPathError(folder.PathOf(pending.name), "appeared meanwhile");
    pending.file.reset();
}

// Every new file into its place, the observer told after each one (with
// many entries, workers place all but the targets seen twice).
bool TInstallation::PlaceAll(bool atOnce) {
    if (atOnce && !AtOnce(&TInstallation::PlaceShared)) return false;
    for (TPending& pending : pending_) {
        if (atOnce && !pending.again) continue;
        Place(pending);
        if (!observer_.Progress(written_, total_)) return !(cancelled_ = true);
    }
    return true;
}

TInstallResult TInstallation::Stop(TInstallOutcome outcome, const std::string& failed) {
    // The new files go before their folders, which the undo closes as it
    // removes those it made.
    flushes_.reset();
    pending_.clear();
    bool whole = !journal_ || journal_->Undo();
    journal_.reset();
    try {
        if (whole && !made_.empty()) RemoveMade(TSafeFolder(base_), 0);
    } catch (const EPathError&) {
    }
    if (outcome == ioCancelled) return {outcome, {}, {}};
    return {outcome, failed, reason_};
}

TInstallResult TInstallation::Run(const std::string& folder) {
    if (!Plan()) return {ioRefused, failed_, reason_};
    try {
        failed_ = folder;
        journal_ = std::make_unique<TInstallJournal>(OpenRoot(folder));
        for (TPending& pending : pending_) Locate(pending);
        bool atOnce = pending_.size() >= kAtOnceFrom;
        flushes_ = std::make_unique<TFlushBatch>();
        if (!(atOnce ? AtOnce(&TInstallation::WriteShared) : WriteInOrder()))
            return Stop(cancelled_ ? ioCancelled : ioFailed, failed_);
        flushes_->Wait();
        // What goes where is written down and on disk before the first
        // rename, so that the next run can take back what this one began.
        for (TPending& pending : pending_) Record(pending);
        journal_->Seal();
        if (!PlaceAll(atOnce)) return Stop(cancelled_ ? ioCancelled : ioFailed, cancelled_ ? std::string() : failed_);
        journal_->Commit();
    } catch (const EPathError& e) {
        reason_ = e.what();
        return Stop(ioFailed, e.Subject());
    }
    pending_.clear();
    return {ioDone, {}, {}};
}

}  // namespace

TInstallResult InstallArchive(const TZLibUnpacker& unpacker, const std::string& folder, TInstallObserver& observer,
                              const TLeftOut& leftOut) {
    TInstallation installation(unpacker, observer, leftOut);
    return installation.Run(folder);
}
