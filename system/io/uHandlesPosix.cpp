// The handle layer on POSIX systems. POSIX has no
// sharing modes, so the sharing bits are checked for validity and otherwise
// ignored. Installer paths separate their parts with backslashes; the OS
// gets them as slashes, as in the file routines of system/fs/uFilesPosix.cpp.

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "system/io/uPosixPath.h"
#include "system/uSystem.h"

namespace {

// Access flags for the mode, or -1 for a mode outside the tables.
int AccessFlags(uint16_t mode) {
    unsigned access = mode & 3u;
    unsigned sharing = (mode & 0xF0u) >> 4;
    if (access == 3 || sharing > 4 || (mode & ~0xF3u) != 0) return -1;
    static const int kAccess[] = {O_RDONLY, O_WRONLY, O_RDWR};
    return kAccess[access];
}

}  // namespace

THandle HandleOpen(const std::string& path, uint16_t mode) {
    int flags = AccessFlags(mode);
    if (flags < 0) return InvalidHandle;
    return ::open(PosixPath(path).c_str(), flags | O_CLOEXEC);
}

THandle HandleCreate(const std::string& path) {
    return ::open(PosixPath(path).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

THandle HandleCreateNew(const std::string& path) {
    return ::open(PosixPath(path).c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

THandle HandleOpenRegular(const std::string& path) {
    // Without a reader a FIFO would block the open; with one it is refused
    // below.
    int file = ::open(PosixPath(path).c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    struct stat info;
    if (file >= 0 && (::fstat(file, &info) != 0 || !S_ISREG(info.st_mode))) {
        ::close(file);
        return InvalidHandle;
    }
    if (file >= 0) ::fcntl(file, F_SETFL, ::fcntl(file, F_GETFL) & ~O_NONBLOCK);
    return file < 0 ? InvalidHandle : file;
}

int32_t HandleRead(THandle handle, void* buffer, int32_t count) {
    if (count <= 0) return 0;
    ssize_t n;
    do n = ::read(static_cast<int>(handle), buffer, static_cast<size_t>(count));
    while (n < 0 && errno == EINTR);
    return static_cast<int32_t>(n);
}

int32_t HandleReadAt(THandle handle, int32_t position, void* buffer, int32_t count) {
    if (count <= 0 || position < 0) return 0;
    ssize_t n;
    do n = ::pread(static_cast<int>(handle), buffer, static_cast<size_t>(count), position);
    while (n < 0 && errno == EINTR);
    return static_cast<int32_t>(n);
}

int32_t HandleWrite(THandle handle, const void* buffer, int32_t count) {
    const char* bytes = static_cast<const char*>(buffer);
    int32_t total = 0;
    while (total < count) {
        ssize_t n = ::write(static_cast<int>(handle), bytes + total, static_cast<size_t>(count - total));
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = ENOSPC;  // nothing written and no reason given
        if (n <= 0) return total > 0 ? total : -1;
        total += static_cast<int32_t>(n);
    }
    return total;
}

// Positions are signed 32-bit: a seek that would land at 2^31 or beyond
// fails without moving, and a position already there (reads may carry it
// past) reads as -1.
int32_t HandleSeek(THandle handle, int32_t offset, uint16_t origin) {
    int file = static_cast<int>(handle);
    if (origin == soFromEnd) {
        struct stat info;
        if (::fstat(file, &info) != 0 || info.st_size + offset < 0 || info.st_size + offset > INT32_MAX)
            return -1;
        return static_cast<int32_t>(::lseek(file, info.st_size + offset, SEEK_SET));
    }
    if (origin > soFromCurrent) return -1;
    off_t position = ::lseek(file, offset, origin == soFromBeginning ? SEEK_SET : SEEK_CUR);
    if (position > INT32_MAX) {
        if (offset != 0) ::lseek(file, -static_cast<off_t>(offset), SEEK_CUR);
        return -1;
    }
    return static_cast<int32_t>(position);
}

int HandleSetEnd(THandle handle) {
    off_t here = ::lseek(static_cast<int>(handle), 0, SEEK_CUR);
    return here >= 0 && ::ftruncate(static_cast<int>(handle), here) == 0;
}

void HandleClose(THandle handle) { ::close(static_cast<int>(handle)); }

uint32_t LastOsError() { return static_cast<uint32_t>(errno); }

std::string OsErrorText(uint32_t code) { return std::strerror(static_cast<int>(code)); }
