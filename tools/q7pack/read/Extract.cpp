// q7pack extract: every entry written below a folder, never through a
// link, each file whole or not at all, inflated on every core and put in
// place in batches that are flushed to disk together.

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "system/fs/uSafeFolder.h"
#include "system/fs/uStoredName.h"
#include "system/io/uSharedView.h"
#include "tools/q7pack/common/Names.h"
#include "tools/q7pack/common/PackError.h"
#include "tools/q7pack/common/Progress.h"
#include "tools/q7pack/read/ArchiveCommands.h"
#include "tools/q7pack/read/OpenArchive.h"

namespace {

constexpr size_t kMaxExtractPath = 32000, kMaxExtractComponent = 255;

// Inflates entry into out, no more than its recorded size; an empty text
// when it inflated to exactly that size, otherwise what went wrong.
std::string InflateRecorded(const TZLibPackedFile& entry, TStream& out) {
    TCappedStream capped(out, entry.UnpackedSize);
    uint8_t code = entry.ExtractTo(&capped);
    const std::string recorded = std::to_string(entry.UnpackedSize);
    if (capped.Over()) return "inflates to more than the recorded " + recorded + " bytes";
    if (code != zaOk) return TZLibAbstractArchive::ErrorCodeText(code);
    if (capped.Written() != entry.UnpackedSize)
        return "inflates to " + std::to_string(capped.Written()) + " bytes, recorded " + recorded;
    return {};
}

// A batch is put in place at this many files or bytes: large enough that
// flushing costs little per file, small enough to keep few files open.
constexpr size_t kBatchFiles = 256;
constexpr uint64_t kBatchBytes = 64 << 20;
// Past a few workers the disk, not inflating, sets the pace.
constexpr unsigned kMaxWorkers = 4;

// Entries on their way out in batches. The main thread checks names and
// opens folders in table order; workers inflate the entries into new
// files side by side (a solid archive's workers copy them from the window
// its decoder fills). A full batch is flushed to disk together
// in the background while the next is inflated, and its files are renamed
// into place in table order once the flush is done.
class TExtraction {
public:
    TExtraction(const std::string& file, const TSafeFolder& root, bool overwrite, unsigned workers);
    ~TExtraction();

    // Inflates entry number index; reported (with any problem) when its
    // batch is put in place.
    void Add(size_t index, const TZLibPackedFile& entry, std::string problem);
    // Starts flushing the entries added since the last batch when they are
    // enough; puts in place and reports those whose flush is done. The count
    // of bad ones.
    int Step();
    // Puts every entry in place and reports it; the count of bad ones.
    int Finish();

private:
    struct TEntry {
        size_t Index;
        const TZLibPackedFile* Entry;
        std::string Problem, Target;
        const TSafeFolder* Folder = nullptr;
        std::string Name;  // in Folder
        std::unique_ptr<TSafeNewFile> Out;
    };
    std::string Prepare(TEntry& item);
    std::string Inflate(TEntry& item);
    std::string Write(const TZLibPackedFile& entry, TSafeNewFile& out);
    void Work();
    void WaitInflated();
    int PutFlushedInPlace();
    const TSafeFolder& FolderOf(const std::vector<std::string>& parts);

    const std::string& file_;
    const TSafeFolder& root_;
    bool overwrite_;
    std::map<std::string, std::unique_ptr<TSafeFolder>> folders_;
    std::deque<TEntry> batch_;  // destroyed before the folders; workers hold pointers into it
    TFlushBatch flush_;
    uint64_t bytes_ = 0;
    size_t files_ = 0;  // added since the last batch started flushing

    TLock sourceLock_;             // the archive's stream, read by every worker
    std::deque<TEntry*> waiting_;  // for a worker
    size_t unfinished_ = 0;        // waiting or being inflated
    bool stop_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::thread> workers_;
};

TExtraction::TExtraction(const std::string& file, const TSafeFolder& root, bool overwrite, unsigned workers)
    : file_(file), root_(root), overwrite_(overwrite) {
    for (unsigned i = 0; i < workers; ++i) workers_.emplace_back([this] { Work(); });
}

TExtraction::~TExtraction() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

const TSafeFolder& TExtraction::FolderOf(const std::vector<std::string>& parts) {
    const TSafeFolder* folder = &root_;
    std::string key;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        key += parts[i] + '/';
        std::unique_ptr<TSafeFolder>& level = folders_[key];
        if (!level) level = std::make_unique<TSafeFolder>(folder->Enter(parts[i], true));
        folder = level.get();
    }
    return *folder;
}

// Checks the entry's name and opens the folders it goes into; an empty
// text when it can be inflated, otherwise why not.
std::string TExtraction::Prepare(TEntry& item) {
    std::vector<std::string> parts = NameParts(item.Entry->Name);
    for (std::string& part : parts) part = LocalName(part);
    if (parts.empty()) return "refused: the name is the folder itself";
    // Windows cannot open a longer path, nor a longer name in a folder;
    // the bounds also keep a deep name's walk short.
    if (item.Entry->Name.size() > kMaxExtractPath)
        return "refused: longer than " + std::to_string(kMaxExtractPath) + " bytes, more than Windows can open";
    for (const std::string& part : parts)
        if (part.size() > kMaxExtractComponent)
            return "refused: a folder or file name longer than " + std::to_string(kMaxExtractComponent) + " bytes";
    try {
        item.Folder = &FolderOf(parts);
        item.Name = parts.back();
        item.Target = item.Folder->PathOf(item.Name);
    } catch (const PackError& e) {
        return e.Subject() + " " + e.what();
    }
    return {};
}

// Inflates one entry into a new file below the root (on any thread); an
// empty text on success, otherwise why not. Nothing is written through a
// link.
std::string TExtraction::Inflate(TEntry& item) {
    try {
        item.Out = std::make_unique<TSafeNewFile>(*item.Folder, item.Name);
        std::string problem = Write(*item.Entry, *item.Out);
        if (!problem.empty()) {
            item.Out.reset();
            return problem + "; nothing was written";
        }
        flush_.Add(*item.Out);
    } catch (const PackError& e) {
        item.Out.reset();
        return e.Subject() + " " + e.what();
    } catch (const std::exception& e) {  // out of memory: nothing may leave a worker
        item.Out.reset();
        return std::string(e.what()) + "; nothing was written";
    }
    return {};
}

// Inflates the entry's bytes into out; an empty text on success.
std::string TExtraction::Write(const TZLibPackedFile& entry, TSafeNewFile& out) {
    TSharedView view(*entry.Source, sourceLock_);
    return InflateRecorded(entry.ReadingThrough(view), out.Stream());
}

void TExtraction::Work() {
    for (;;) {
        TEntry* item;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return stop_ || !waiting_.empty(); });
            if (waiting_.empty()) return;
            item = waiting_.front();
            waiting_.pop_front();
        }
        item->Problem = Inflate(*item);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            --unfinished_;
        }
        changed_.notify_all();
    }
}

void TExtraction::WaitInflated() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return unfinished_ == 0; });
}

void TExtraction::Add(size_t index, const TZLibPackedFile& entry, std::string problem) {
    batch_.push_back({index, &entry, std::move(problem), {}, nullptr, {}, nullptr});
    TEntry& item = batch_.back();
    if (item.Problem.empty()) item.Problem = Prepare(item);
    if (!item.Problem.empty()) return;
    bytes_ += entry.UnpackedSize;
    ++files_;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        waiting_.push_back(&item);
        ++unfinished_;
    }
    changed_.notify_one();
}

int TExtraction::Step() {
    if (files_ < kBatchFiles && bytes_ < kBatchBytes) return 0;
    files_ = 0;
    bytes_ = 0;
    WaitInflated();
    try {
        flush_.Start();
    } catch (const PackError& e) {
        for (TEntry& item : batch_)
            if (item.Out && item.Out->Flushed()) item.Problem = e.Subject() + " " + e.what(), item.Out.reset();
    }
    return PutFlushedInPlace();
}

int TExtraction::Finish() {
    WaitInflated();
    try {
        flush_.Wait();
    } catch (const PackError& e) {
        for (TEntry& item : batch_)
            if (item.Out) item.Problem = e.Subject() + " " + e.what(), item.Out.reset();
    }
    int bad = PutFlushedInPlace();
    folders_.clear();
    return bad;
}

// Renames the entries at the front whose flush is done, in their order.
int TExtraction::PutFlushedInPlace() {
    int bad = 0;
    size_t done = 0;
    for (; done < batch_.size() && (!batch_[done].Out || batch_[done].Out->Flushed()); ++done) {
        TEntry& item = batch_[done];
        try {
            if (item.Out && !item.Out->Commit(overwrite_)) item.Problem = item.Target + " exists (--overwrite replaces it)";
        } catch (const PackError& e) {
            item.Problem = e.Subject() + " " + e.what();
        }
        item.Out.reset();
        if (item.Problem.empty()) continue;
        ReportEntry(file_, item.Index, *item.Entry, item.Problem);
        ++bad;
    }
    batch_.erase(batch_.begin(), batch_.begin() + static_cast<std::ptrdiff_t>(done));
    return bad;
}

}  // namespace

int ExtractArchive(const std::string& file, const std::string& folder, bool overwrite) {
    OpenArchive archive(file);
    TSafeFolder root(folder, true);
    RemoveTemporaryLeftovers(root);
    std::set<std::string> seen;
    int bad = 0;
    Progress progress("extracting");
    const auto& files = archive.Unpacker.Files;
    const unsigned workers = std::min(kMaxWorkers, std::max(1u, std::thread::hardware_concurrency()));
    TExtraction extraction(file, root, overwrite, workers);
    for (size_t i = 0; i < files.size(); ++i) {
        const TZLibPackedFile& entry = files[i];
        progress.Step(i + 1, files.size(), ShownName(entry.Name));
        std::string problem;
        if (const char* fault = StoredNameFault(entry.Name))
            problem = std::string("refused: ") + fault;
        else if (!seen.insert(NameKey(entry.Name)).second)
            problem = "skipped: an earlier entry has the same name (the installer finds that one)";
        extraction.Add(i, entry, problem);
        bad += extraction.Step();
    }
    bad += extraction.Finish();
    // The last renames on disk too (POSIX; NTFS logs them in order).
    FlushFolderChanges(root);
    std::printf("%s: extracted %zu of %s to %s\n", file.c_str(), files.size() - bad,
                CountOf(files.size(), "entry", "entries").c_str(), folder.c_str());
    return bad > 0 ? 1 : 0;
}
