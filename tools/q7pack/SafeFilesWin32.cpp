// Safe output on Windows: each level is opened without following reparse
// points (symbolic links, junctions), which are refused, and held open
// without delete sharing, so nobody can swap a level for a link while files
// are made in it. Files are made with CREATE_NEW under a random name.

#include <windows.h>
// bcrypt.h needs the types of windows.h.
#include <bcrypt.h>

#include <cstdio>
#include <cstring>

#include "tools/q7pack/PackError.h"
#include "tools/q7pack/SafeFiles.h"

namespace {

std::string ErrorText(DWORD code) {
    char text[256] = {};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                             text, sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == '.')) text[--n] = '\0';
    return n > 0 ? std::string(text, n) : "Windows error " + std::to_string(code);
}

std::string LastErrorText() { return ErrorText(GetLastError()); }

}  // namespace

void FillRandom(unsigned char* bytes, size_t count) {
    if (BCryptGenRandom(nullptr, bytes, static_cast<ULONG>(count), BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0)
        throw PackError("q7pack", "no random numbers for a temporary name");
}

namespace {

HANDLE OpenFolder(const std::string& path, DWORD flags) {
    return CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
}

// Makes path and the folders above it that are missing.
bool CreateFolders(const std::string& path) {
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    size_t slash = path.find_last_of("\\/");
    if (slash != std::string::npos && slash > 0 && path[slash - 1] != ':' &&
        !CreateFolders(path.substr(0, slash)))
        return false;
    return CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

}  // namespace

OutputFolder::OutputFolder(const std::string& path, bool create) : path_(path), handle_(InvalidHandle) {
    if (create && !path.empty() && !CreateFolders(path))
        throw PackError(path, "cannot be created: " + LastErrorText());
    HANDLE h = OpenFolder(path.empty() ? "." : path, 0);
    if (h == INVALID_HANDLE_VALUE) throw PackError(path, "cannot be opened as a folder: " + LastErrorText());
    handle_ = reinterpret_cast<THandle>(h);
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(h, &info) && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(h);
        handle_ = InvalidHandle;
        throw PackError(path, "is not a folder");
    }
}

OutputFolder::~OutputFolder() {
    if (handle_ != InvalidHandle) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

OutputFolder::OutputFolder(OutputFolder&& other) noexcept
    : path_(std::move(other.path_)), handle_(other.handle_) {
    other.handle_ = InvalidHandle;
}

OutputFolder OutputFolder::Enter(const std::string& name) const {
    const std::string path = PathOf(name);
    HANDLE h = OpenFolder(path, FILE_FLAG_OPEN_REPARSE_POINT);
    if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
        if (!CreateDirectoryA(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            throw PackError(path, "cannot be created: " + LastErrorText());
        h = OpenFolder(path, FILE_FLAG_OPEN_REPARSE_POINT);
    }
    if (h == INVALID_HANDLE_VALUE) throw PackError(path, "cannot be opened as a folder: " + LastErrorText());
    OutputFolder folder(reinterpret_cast<THandle>(h), path);
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info)) throw PackError(path, "cannot be read: " + LastErrorText());
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        throw PackError(path, "is a link (reparse point); nothing is written through links");
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) throw PackError(path, "is not a folder");
    return folder;
}

std::string OutputFolder::PathOf(const std::string& name) const {
    return path_.empty() || std::strchr("\\/:", path_.back()) ? path_ + name : path_ + "\\" + name;
}

NewFile::NewFile(const OutputFolder& folder, std::string name) : folder_(folder), name_(std::move(name)) {
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0; h == INVALID_HANDLE_VALUE && attempt < 16; ++attempt) {
        tempName_ = TemporaryName();
        h = CreateFileA(folder_.PathOf(tempName_).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (h == INVALID_HANDLE_VALUE)
        throw PackError(folder_.PathOf(name_),
                        "cannot be written: no temporary file beside it: " + LastErrorText());
    stream_ = std::make_unique<THandleStream>(reinterpret_cast<THandle>(h));
}

NewFile::~NewFile() {
    Close();
    if (!committed_) DeleteFileA(folder_.PathOf(tempName_).c_str());
}

void NewFile::Close() {
    if (stream_ && stream_->Handle != InvalidHandle) CloseHandle(reinterpret_cast<HANDLE>(stream_->Handle));
    if (stream_) stream_->Handle = InvalidHandle;
}

void NewFile::Commit(bool replace) {
    Close();
    const std::string target = folder_.PathOf(name_);
    if (MoveFileExA(folder_.PathOf(tempName_).c_str(), target.c_str(),
                    replace ? MOVEFILE_REPLACE_EXISTING : 0)) {
        committed_ = true;
        return;
    }
    DWORD code = GetLastError();
    if (!replace && (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS))
        throw PackError(target, "exists (--overwrite replaces it)");
    throw PackError(target, "cannot be written: " + ErrorText(code));
}
