// The file routines' OS calls on POSIX systems. Installer paths separate
// their parts with backslashes; the OS gets them as slashes. Names are taken
// literally: there are no wildcard patterns here.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "system/fs/uFiles.h"
#include "system/io/uPosixPath.h"

namespace {

// Local time as DOS date and time, or -1 outside the years 1980 to 2107.
int32_t PackDosDateTime(time_t when) {
    struct tm local;
    if (!localtime_r(&when, &local)) return -1;
    int year = local.tm_year + 1900;
    if (year < 1980 || year > 2107) return -1;
    uint32_t date = static_cast<uint32_t>(((year - 1980) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
    uint32_t time = static_cast<uint32_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
    return static_cast<int32_t>((date << 16) | time);
}

}  // namespace

int32_t GetFileDosDateTime(const std::string& name) {
    struct stat info;
    if (name.empty() || ::stat(PosixPath(name).c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return -1;
    return PackDosDateTime(info.st_mtime);
}

bool IsExistingDirectory(const std::string& path) {
    struct stat info;
    return !path.empty() && ::stat(PosixPath(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool CreateSingleDirectory(const std::string& path) { return ::mkdir(PosixPath(path).c_str(), 0777) == 0; }

// POSIX has no read-only attribute that stops a delete: unlinking is both
// steps at once, and it refuses directories as DeleteFileA does.
bool DeleteFileForced(const std::string& name) { return ::unlink(PosixPath(name).c_str()) == 0; }

bool ResolveFileTarget(const std::string& name, TFileTarget& target) {
    std::string path = PosixPath(name);
    if (path.empty() || path.back() == '/') return false;
    size_t slash = path.rfind('/');
    target.Path = path;
    target.Folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    struct stat info;
    target.IsDevice = ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
    return true;
}
