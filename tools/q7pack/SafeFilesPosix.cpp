// Safe output on POSIX: each level is opened relative to the one above it
// with O_NOFOLLOW, so a link planted anywhere below the folder the user
// named is refused instead of followed, and files are made with O_EXCL.

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "tools/q7pack/PackError.h"
#include "tools/q7pack/SafeFiles.h"

namespace {

std::string ErrnoText() { return std::strerror(errno); }

}  // namespace

void FillRandom(unsigned char* bytes, size_t count) {
    if (getrandom(bytes, count, 0) != static_cast<ssize_t>(count))
        throw PackError("q7pack", "no random numbers for a temporary name: " + ErrnoText());
}

namespace {

// Why an existing entry cannot be entered as a folder.
std::string NotAFolder(int dir, const std::string& name) {
    struct stat st;
    if (fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
        return "is a link; nothing is written through links";
    return "is not a folder";
}

}  // namespace

OutputFolder::OutputFolder(const std::string& path, bool create) : path_(path), handle_(InvalidHandle) {
    std::error_code ec;
    if (create && !path.empty() && !std::filesystem::is_directory(path, ec)) {
        if (std::filesystem::exists(path, ec)) throw PackError(path, "is not a folder");
        std::filesystem::create_directories(path, ec);
        if (ec) throw PackError(path, "cannot be created: " + ec.message());
    }
    handle_ = ::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle_ < 0) throw PackError(path, "cannot be opened as a folder: " + ErrnoText());
}

OutputFolder::~OutputFolder() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

OutputFolder::OutputFolder(OutputFolder&& other) noexcept
    : path_(std::move(other.path_)), handle_(other.handle_) {
    other.handle_ = InvalidHandle;
}

OutputFolder OutputFolder::Enter(const std::string& name) const {
    const int dir = static_cast<int>(handle_);
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::openat(dir, name.c_str(), flags);
    if (fd < 0 && errno == ENOENT) {
        if (::mkdirat(dir, name.c_str(), 0777) != 0 && errno != EEXIST)
            throw PackError(PathOf(name), "cannot be created: " + ErrnoText());
        fd = ::openat(dir, name.c_str(), flags);
    }
    if (fd < 0 && (errno == ELOOP || errno == ENOTDIR)) throw PackError(PathOf(name), NotAFolder(dir, name));
    if (fd < 0) throw PackError(PathOf(name), "cannot be opened as a folder: " + ErrnoText());
    return OutputFolder(fd, PathOf(name));
}

std::string OutputFolder::PathOf(const std::string& name) const {
    return path_.empty() || path_.back() == '/' ? path_ + name : path_ + "/" + name;
}

NewFile::NewFile(const OutputFolder& folder, std::string name) : folder_(folder), name_(std::move(name)) {
    const int flags = O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 16; ++attempt) {
        tempName_ = TemporaryName();
        fd = ::openat(static_cast<int>(folder_.handle_), tempName_.c_str(), flags, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0)
        throw PackError(folder_.PathOf(name_),
                        "cannot be written: no temporary file beside it: " + ErrnoText());
    stream_ = std::make_unique<THandleStream>(fd);
}

NewFile::~NewFile() {
    Close();
    if (!committed_) ::unlinkat(static_cast<int>(folder_.handle_), tempName_.c_str(), 0);
}

void NewFile::Close() {
    if (stream_ && stream_->Handle >= 0) ::close(static_cast<int>(stream_->Handle));
    if (stream_) stream_->Handle = InvalidHandle;
}

void NewFile::Commit(bool replace) {
    Close();
    const int dir = static_cast<int>(folder_.handle_);
    int result = ::renameat2(dir, tempName_.c_str(), dir, name_.c_str(), replace ? 0 : RENAME_NOREPLACE);
    if (result != 0 && !replace && (errno == EINVAL || errno == ENOSYS)) {
        // A file system without the no-replace rename: look, then rename.
        struct stat st;
        if (fstatat(dir, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            errno = EEXIST;
        else
            result = ::renameat(dir, tempName_.c_str(), dir, name_.c_str());
    }
    if (result != 0 && errno == EEXIST)
        throw PackError(folder_.PathOf(name_), "exists (--overwrite replaces it)");
    if (result != 0) throw PackError(folder_.PathOf(name_), "cannot be written: " + ErrnoText());
    committed_ = true;
}
