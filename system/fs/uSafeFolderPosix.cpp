// The safe folder walk on POSIX: each level is opened relative to the one
// above it with O_NOFOLLOW, so a link planted anywhere below the folder the
// caller named is refused instead of followed. A new file has no name while
// it is written (O_TMPFILE, where the file system allows it), so a run that
// is killed leaves nothing behind; elsewhere it gets a random name made with
// O_EXCL, locked while it is written, and removed on SIGINT, SIGTERM and
// SIGHUP.

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <thread>
#include <vector>

#include "system/fs/uSafeFolder.h"

namespace {

std::string ErrnoText() { return std::strerror(errno); }

int Fd(THandle handle) { return static_cast<int>(handle); }

// The named temporary files being written, for the signal handler: slots
// that the handler reads without locks (a slot is claimed by one thread,
// filled, then marked used; unmarked before it is released for reuse).
struct TemporarySlot {
    std::atomic<bool> claimed{false}, used{false};
    int dir = -1;
    char name[32] = {};
};
TemporarySlot gTemporaries[64];

TemporarySlot* Register(int dir, const std::string& name) {
    for (TemporarySlot& slot : gTemporaries) {
        bool free = false;
        if (!slot.claimed.compare_exchange_strong(free, true)) continue;
        slot.dir = dir;
        std::snprintf(slot.name, sizeof slot.name, "%s", name.c_str());
        slot.used.store(true);
        return &slot;
    }
    return nullptr;  // more files at once than slots: that one is not cleaned on a signal
}

void Unregister(TemporarySlot* slot) {
    if (!slot) return;
    slot->used.store(false);
    slot->claimed.store(false);
}

extern "C" void RemoveTemporariesAndStop(int signal) {
    for (TemporarySlot& slot : gTemporaries)
        if (slot.used.load()) ::unlinkat(slot.dir, slot.name, 0);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// Why an existing entry cannot be entered as a folder.
std::string NotAFolder(int dir, const std::string& name) {
    struct stat st;
    if (fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
        return "is a link; nothing is written through links";
    return "is not a folder";
}

}  // namespace

void FillRandom(unsigned char* bytes, size_t count) {
    if (getrandom(bytes, count, 0) != static_cast<ssize_t>(count))
        throw EPathError("q7pack", "no random numbers for a temporary name: " + ErrnoText());
}

void RemoveTemporaryFilesOnStop() {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::signal(signal, RemoveTemporariesAndStop);
}

TSafeFolder::TSafeFolder(const std::string& path, bool create) : path_(path) {
    std::error_code ec;
    if (create && !path.empty() && !std::filesystem::is_directory(path, ec)) {
        if (std::filesystem::exists(path, ec)) throw EPathError(path, "is not a folder");
        std::filesystem::create_directories(path, ec);
        if (ec) throw EPathError(path, "cannot be created: " + ec.message());
    }
    handle_ = ::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle_ < 0) throw EPathError(path, "cannot be opened as a folder: " + ErrnoText());
}

TSafeFolder::~TSafeFolder() {
    if (handle_ >= 0) ::close(Fd(handle_));
}

TSafeFolder TSafeFolder::Enter(const std::string& name, bool create) const {
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::openat(Fd(handle_), name.c_str(), flags);
    if (fd < 0 && errno == ENOENT && create) {
        if (::mkdirat(Fd(handle_), name.c_str(), 0777) != 0 && errno != EEXIST)
            throw EPathError(PathOf(name), "cannot be created: " + ErrnoText());
        fd = ::openat(Fd(handle_), name.c_str(), flags);
    }
    if (fd < 0 && (errno == ELOOP || errno == ENOTDIR))
        throw EPathError(PathOf(name), NotAFolder(Fd(handle_), name));
    if (fd < 0) throw EPathError(PathOf(name), "cannot be opened as a folder: " + ErrnoText());
    return TSafeFolder(fd, PathOf(name));
}

TEntryKind TSafeFolder::KindOf(const std::string& name) const {
    struct stat st;
    if (fstatat(Fd(handle_), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return TEntryKind::Missing;
    if (S_ISLNK(st.st_mode)) return TEntryKind::Link;
    if (S_ISDIR(st.st_mode)) return TEntryKind::Folder;
    return S_ISREG(st.st_mode) ? TEntryKind::File : TEntryKind::Other;
}

bool TSafeFolder::RemoveFile(const std::string& name) const {
    if (::unlinkat(Fd(handle_), name.c_str(), 0) == 0) return true;
    if (errno == ENOENT) return false;
    throw EPathError(PathOf(name), errno == EISDIR ? "is a folder" : "cannot be removed: " + ErrnoText());
}

bool TSafeFolder::RemoveFolder(const std::string& name) const {
    // unlinkat never follows a link; ENOTDIR names what it found instead.
    if (::unlinkat(Fd(handle_), name.c_str(), AT_REMOVEDIR) == 0) return true;
    if (errno == ENOENT) return false;
    if (errno == ENOTDIR) throw EPathError(PathOf(name), NotAFolder(Fd(handle_), name));
    if (errno == ENOTEMPTY || errno == EEXIST) throw EPathError(PathOf(name), "is not empty");
    throw EPathError(PathOf(name), "cannot be removed: " + ErrnoText());
}

bool TSafeFolder::MoveTo(const std::string& from, const TSafeFolder& into, const std::string& to,
                         bool replace) const {
    if (KindOf(from) == TEntryKind::Missing) return false;
    if (into.KindOf(to) == TEntryKind::Folder) throw EPathError(into.PathOf(to), "is a folder");
    int result = ::renameat2(Fd(handle_), from.c_str(), Fd(into.handle_), to.c_str(), replace ? 0 : RENAME_NOREPLACE);
    if (result != 0 && !replace && (errno == EINVAL || errno == ENOSYS) && into.KindOf(to) == TEntryKind::Missing)
        result = ::renameat(Fd(handle_), from.c_str(), Fd(into.handle_), to.c_str());  // no no-replace rename here
    if (result == 0) return true;
    throw EPathError(PathOf(from), "cannot be renamed to " + into.PathOf(to) + ": " + ErrnoText());
}

THandle TSafeFolder::NewFile(const std::string& name) const {
    int fd = ::openat(Fd(handle_), name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) throw EPathError(PathOf(name), "cannot be created: " + ErrnoText());
    ::flock(fd, LOCK_EX | LOCK_NB);
    return fd;
}

bool TSafeFolder::Read(const std::string& name, std::string& bytes) const {
    int fd = ::openat(Fd(handle_), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) return false;
    if (fd < 0) throw EPathError(PathOf(name), "cannot be read: " + ErrnoText());
    THandleStream stream(fd);
    struct stat st;
    const char* fault = ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ? "is not a file"
                        : ::flock(fd, LOCK_SH | LOCK_NB) != 0      ? "is in use by a running installation"
                                                                   : nullptr;
    char buffer[65536];
    for (int32_t n; !fault && (n = stream.Read(buffer, sizeof buffer)) > 0;) bytes.append(buffer, n);
    ::close(fd);
    if (fault) throw EPathError(PathOf(name), fault);
    return true;
}

std::string TSafeFolder::PathOf(const std::string& name) const {
    return path_.empty() || path_.back() == '/' ? path_ + name : path_ + "/" + name;
}

namespace {

// A named temporary file in dir, locked; -1 with errno when none is made.
int CreateNamed(int dir, std::string& tempName) {
    const int flags = O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    for (int attempt = 0; attempt < 16; ++attempt) {
        tempName = TemporaryName();
        int fd = ::openat(dir, tempName.c_str(), flags, 0666);
        if (fd >= 0) {
            ::flock(fd, LOCK_EX | LOCK_NB);
            return fd;
        }
        if (errno != EEXIST) break;
    }
    return -1;
}

// Gives the nameless file open under fd the name in dir; false with errno
// when it cannot (EEXIST: something has that name already).
bool LinkAs(int fd, int dir, const std::string& name) {
    char proc[40];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    return ::linkat(AT_FDCWD, proc, dir, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

// Gives the nameless file open under fd a temporary name in dir.
bool LinkNamed(int fd, int dir, std::string& tempName) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        tempName = TemporaryName();
        if (LinkAs(fd, dir, tempName)) return true;
        if (errno != EEXIST) break;
    }
    tempName.clear();
    return false;
}

}  // namespace

void FlushFile(THandle file, const std::string& path) {
    if (::fsync(Fd(file)) != 0) throw EPathError(path, "cannot be written: " + ErrnoText());
}

void FlushFolderChanges(const TSafeFolder& folder) {
    if (::syncfs(Fd(folder.handle_)) != 0) throw EPathError(folder.Path(), "cannot be flushed: " + ErrnoText());
}

struct TFlushBatch::TRound {
    std::vector<TSafeNewFile*> files;
    std::thread thread;
    int error = 0;
};

TFlushBatch::TFlushBatch() = default;

TFlushBatch::~TFlushBatch() {
    if (round_) round_->thread.join();
}

void TFlushBatch::Add(TSafeNewFile& file) {
    // Write-back starts now, while the next files are inflated; the round's
    // syncfs only waits for what is left.
    ::sync_file_range(Fd(file.stream_->Handle), 0, 0, SYNC_FILE_RANGE_WRITE);
    TLockHold hold(lock_);
    files_.push_back(&file);
}

void TFlushBatch::Start() {
    Join();
    std::vector<TSafeNewFile*> files;
    {
        TLockHold hold(lock_);
        files.swap(files_);
    }
    if (files.empty()) return;
    round_ = std::make_unique<TRound>();
    round_->files.swap(files);
    TRound* round = round_.get();
    round->thread = std::thread([round] {
        if (::syncfs(Fd(round->files.front()->stream_->Handle)) != 0) round->error = errno;
    });
}

void TFlushBatch::Join() {
    if (!round_) return;
    round_->thread.join();
    std::unique_ptr<TRound> round = std::move(round_);
    for (TSafeNewFile* file : round->files) file->flushed_ = true;
    if (round->error != 0)
        throw EPathError(round->files.front()->folder_.PathOf(round->files.front()->name_),
                         std::string("cannot be written: ") + std::strerror(round->error));
}

void TFlushBatch::Wait() {
    Start();
    Join();
}

TSafeNewFile::TSafeNewFile(const TSafeFolder& folder, std::string name)
    : folder_(folder), name_(std::move(name)) {
    const int dir = Fd(folder_.handle_);
    // A nameless file needs no lock until it is given a temporary name.
    int fd = ::openat(dir, ".", O_RDWR | O_TMPFILE | O_CLOEXEC, 0666);
    if (fd < 0) {
        fd = CreateNamed(dir, tempName_);
        if (fd < 0)
            throw EPathError(folder_.PathOf(name_),
                             "cannot be written: no temporary file beside it: " + ErrnoText());
        slot_ = Register(dir, tempName_);
    }
    stream_ = std::make_unique<THandleStream>(fd);
}

TSafeNewFile::~TSafeNewFile() {
    Close();
    if (!committed_ && !tempName_.empty()) ::unlinkat(Fd(folder_.handle_), tempName_.c_str(), 0);
    Unregister(static_cast<TemporarySlot*>(slot_));
}

void TSafeNewFile::Close() {
    if (stream_ && stream_->Handle >= 0) ::close(Fd(stream_->Handle));
    if (stream_) stream_->Handle = InvalidHandle;
}

bool TSafeNewFile::Commit(bool replace) {
    const int dir = Fd(folder_.handle_);
    const int fd = Fd(stream_->Handle);
    if (!flushed_) FlushFile(fd, folder_.PathOf(name_));
    int result;
    if (tempName_.empty() && !replace) {
        // A nameless file that replaces nothing gets its name in one step;
        // the link fails when anything has the name, as the rename would.
        result = LinkAs(fd, dir, name_) ? 0 : -1;
    } else {
        if (tempName_.empty()) {
            ::flock(fd, LOCK_EX | LOCK_NB);
            if (!LinkNamed(fd, dir, tempName_))
                throw EPathError(folder_.PathOf(name_), "cannot be written: " + ErrnoText());
            slot_ = Register(dir, tempName_);
        }
        result = RenameTemporary(fd, replace);
    }
    if (result != 0 && errno == EEXIST && !replace) return false;
    if (result != 0)
        throw EPathError(folder_.PathOf(name_),
                         errno == EISDIR ? "is a folder" : "cannot be written: " + ErrnoText());
    Close();
    committed_ = true;
    // The rename itself; a folder that cannot be flushed is no failure of
    // the file. A batch's renames are flushed by whoever batched them.
    if (!flushed_) ::fsync(dir);
    return true;
}

int TSafeNewFile::RenameTemporary(int fd, bool replace) {
    const int dir = Fd(folder_.handle_);
    // A named file could have been swapped for another under its name.
    struct stat open, named;
    if (::fstat(fd, &open) != 0 || fstatat(dir, tempName_.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
        open.st_dev != named.st_dev || open.st_ino != named.st_ino) {
        tempName_.clear();  // whatever has the name now is not ours to remove
        throw EPathError(folder_.PathOf(name_), "cannot be written: its temporary file was replaced");
    }
    Close();
    int result = ::renameat2(dir, tempName_.c_str(), dir, name_.c_str(), replace ? 0 : RENAME_NOREPLACE);
    if (result != 0 && !replace && (errno == EINVAL || errno == ENOSYS)) {
        // A file system without the no-replace rename: look, then rename.
        struct stat st;
        if (fstatat(dir, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            errno = EEXIST;
        else
            result = ::renameat(dir, tempName_.c_str(), dir, name_.c_str());
    }
    return result;
}

void RemoveOldCopies(const TSafeFolder& folder) {
    int copy = ::openat(Fd(folder.handle_), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* listing = copy >= 0 ? ::fdopendir(copy) : nullptr;
    if (!listing && copy >= 0) ::close(copy);
    std::vector<std::string> names;
    while (dirent* found = listing ? ::readdir(listing) : nullptr)
        if (IsTemporaryName(found->d_name)) names.push_back(found->d_name);
    if (listing) ::closedir(listing);
    for (const std::string& name : names) ::unlinkat(Fd(folder.handle_), name.c_str(), 0);
}

int RemoveTemporaryLeftovers(const TSafeFolder& folder) {
    const int dir = Fd(folder.handle_);
    int copy = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* listing = copy >= 0 ? ::fdopendir(copy) : nullptr;
    if (!listing) {
        if (copy >= 0) ::close(copy);
        return 0;
    }
    int removed = 0;
    const time_t now = std::time(nullptr);
    while (dirent* found = ::readdir(listing)) {
        if (!IsTemporaryName(found->d_name)) continue;
        int fd = ::openat(dir, found->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st;
        // A writer holds the lock from the file's first moment, and a file
        // that was just touched may belong to a writer that is starting.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
            now - st.st_mtime > 10 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::unlinkat(dir, found->d_name, 0) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(listing);
    return removed;
}
