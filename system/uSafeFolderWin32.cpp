// The safe folder walk on Windows: each level is opened without following
// reparse points (symbolic links, junctions), which are refused, and held
// open without delete sharing, so nobody can rename a level or swap it for a
// link while it is used. A new file is marked for deletion from the moment
// it is made, so the system removes it when the process ends in any way
// before Commit; Commit unmarks it and renames it through its own handle.

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <vector>

#include "system/uDllSearch.h"
#include "system/uSafeFolder.h"

namespace {

std::string LastErrorText() { return OsErrorText(GetLastError()); }

HANDLE Win(THandle handle) { return reinterpret_cast<HANDLE>(handle); }

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

bool IsLink(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

constexpr char kNoLinks[] = "is a link (reparse point); nothing is written through links";

// UTF-16 names are held in a vector, not a std::wstring: the library
// ships std::wstring's members compiled in its archive, which would link
// all of them (about 35 KiB) into the installer for these few uses.
using TWide = std::vector<wchar_t>;

TWide Wide(const std::string& text) {
    int wide = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    TWide result(static_cast<size_t>(std::max(wide, 0)));
    if (wide > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result.data(), wide);
    return result;
}

// The full name of an open file or folder as the system's own path ("\??\C:\dir"), which the
// rename through a handle takes, in UTF-16.
TWide NativePath(HANDLE folder) {
    std::vector<char> path(MAX_PATH);
    DWORD n;
    while ((n = GetFinalPathNameByHandleA(folder, path.data(), static_cast<DWORD>(path.size()), 0)) >=
           path.size())
        path.resize(n + 1);
    if (n == 0) return {};
    std::string text(path.data(), n);
    if (text.rfind("\\\\?\\", 0) == 0) text = "\\??\\" + text.substr(4);
    return Wide(text);
}

bool SetDeleteOnClose(HANDLE file, bool remove) {
    FILE_DISPOSITION_INFO disposition = {static_cast<BOOLEAN>(remove ? TRUE : FALSE)};
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// name inside the folder open under folder, as the system's own path;
// empty when the folder's name cannot be had.
TWide NativeChild(HANDLE folder, const std::string& name) {
    TWide path = NativePath(folder);
    if (path.empty()) return path;
    if (path.back() != L'\\') path.push_back(L'\\');
    TWide child = Wide(name);
    path.insert(path.end(), child.begin(), child.end());
    return path;
}

// Renames the open file to name in folder; false with the error set.
bool RenameOpenFile(HANDLE file, HANDLE folder, const std::string& name, bool replace) {
    TWide target = NativeChild(folder, name);
    if (target.empty()) return false;
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = replace ? TRUE : FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    std::wmemcpy(info->FileName, target.data(), target.size());
    return SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(buffer.size())) != 0;
}

}  // namespace

// The system's generator through bcrypt.dll, loaded from System32: the
// older RtlGenRandom (ADVAPI32!SystemFunction036) is forwarded to
// CRYPTBASE.dll, which Windows would look for beside the program.
void FillRandom(unsigned char* bytes, size_t count) {
    using TGenRandom = LONG(WINAPI*)(void*, unsigned char*, ULONG, ULONG);
    constexpr ULONG kSystemPreferred = 2;  // BCRYPT_USE_SYSTEM_PREFERRED_RNG
    static HMODULE bcrypt = LoadSystemLibrary("bcrypt.dll");
    auto generate = reinterpret_cast<TGenRandom>(
        bcrypt ? reinterpret_cast<void*>(GetProcAddress(bcrypt, "BCryptGenRandom")) : nullptr);
    if (!generate || generate(nullptr, bytes, static_cast<ULONG>(count), kSystemPreferred) != 0)
        throw EPathError("q7pack", "no random numbers for a temporary name");
}

// Nothing to do: the system removes a file marked for deletion when the
// process ends, however it ends.
void RemoveTemporaryFilesOnStop() {}

TSafeFolder::TSafeFolder(const std::string& path, bool create) : path_(path) {
    if (create && !path.empty() && !CreateFolders(path))
        throw EPathError(path, "cannot be created: " + LastErrorText());
    HANDLE h = OpenFolder(path.empty() ? "." : path, 0);
    if (h == INVALID_HANDLE_VALUE) throw EPathError(path, "cannot be opened as a folder: " + LastErrorText());
    handle_ = reinterpret_cast<THandle>(h);
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(h, &info) && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(h);
        handle_ = InvalidHandle;
        throw EPathError(path, "is not a folder");
    }
}

TSafeFolder::~TSafeFolder() {
    if (handle_ != InvalidHandle) CloseHandle(Win(handle_));
}

TSafeFolder TSafeFolder::Enter(const std::string& name, bool create) const {
    const std::string path = PathOf(name);
    // Wine opens a Unix symbolic link as what it points to even with
    // FILE_FLAG_OPEN_REPARSE_POINT but reports it in the attributes.
    if (IsLink(GetFileAttributesA(path.c_str()))) throw EPathError(path, kNoLinks);
    HANDLE h = OpenFolder(path, FILE_FLAG_OPEN_REPARSE_POINT);
    if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND && create) {
        if (!CreateDirectoryA(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            throw EPathError(path, "cannot be created: " + LastErrorText());
        h = OpenFolder(path, FILE_FLAG_OPEN_REPARSE_POINT);
    }
    if (h == INVALID_HANDLE_VALUE) throw EPathError(path, "cannot be opened as a folder: " + LastErrorText());
    TSafeFolder folder(reinterpret_cast<THandle>(h), path);
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info)) throw EPathError(path, "cannot be read: " + LastErrorText());
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) throw EPathError(path, kNoLinks);
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) throw EPathError(path, "is not a folder");
    return folder;
}

TEntryKind TSafeFolder::KindOf(const std::string& name) const {
    const std::string path = PathOf(name);
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return TEntryKind::Missing;
    if (IsLink(attributes)) return TEntryKind::Link;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return TEntryKind::Folder;
    // Wine shows a Unix link to a file as the file; its full name tells.
    HANDLE h = OpenFolder(path, FILE_FLAG_OPEN_REPARSE_POINT);
    if (h == INVALID_HANDLE_VALUE) return TEntryKind::File;
    TWide found = NativePath(h), expected = NativeChild(Win(handle_), name);
    CloseHandle(h);
    return CompareStringOrdinal(found.data(), static_cast<int>(found.size()), expected.data(),
                                static_cast<int>(expected.size()), TRUE) == CSTR_EQUAL
               ? TEntryKind::File
               : TEntryKind::Link;
}

bool TSafeFolder::RemoveFile(const std::string& name) const {
    const std::string path = PathOf(name);
    TEntryKind kind = KindOf(name);
    if (kind == TEntryKind::Missing) return false;
    if (kind == TEntryKind::Folder) throw EPathError(path, "is a folder");
    if (kind == TEntryKind::Link) {
        // Wine deletes what a Unix link points to; a file renamed over the
        // link replaces the link itself everywhere, and then goes. A
        // junction refuses that and is removed itself by RemoveDirectory.
        try {
            TSafeNewFile filler(*this, name);
            filler.Commit(true);
        } catch (const EPathError&) {
            if (RemoveDirectoryA(path.c_str())) return true;
            throw;
        }
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);  // a read-only file goes too
    if (!DeleteFileA(path.c_str())) throw EPathError(path, "cannot be removed: " + LastErrorText());
    return true;
}

bool TSafeFolder::RemoveFolder(const std::string& name) const {
    const std::string path = PathOf(name);
    TEntryKind kind = KindOf(name);
    if (kind == TEntryKind::Missing) return false;
    if (kind == TEntryKind::Link) throw EPathError(path, kNoLinks);
    if (kind != TEntryKind::Folder) throw EPathError(path, "is not a folder");
    if (RemoveDirectoryA(path.c_str())) return true;
    if (GetLastError() == ERROR_DIR_NOT_EMPTY) throw EPathError(path, "is not empty");
    throw EPathError(path, "cannot be removed: " + LastErrorText());
}

bool TSafeFolder::Rename(const std::string& from, const std::string& to) const {
    if (KindOf(from) == TEntryKind::Missing) return false;
    TEntryKind in = KindOf(to);
    if (in == TEntryKind::Folder) throw EPathError(PathOf(to), "is a folder");
    // MoveFileEx renames a link itself; a read-only file in the way goes too.
    if (in == TEntryKind::File) SetFileAttributesA(PathOf(to).c_str(), FILE_ATTRIBUTE_NORMAL);
    if (MoveFileExA(PathOf(from).c_str(), PathOf(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    throw EPathError(PathOf(from), "cannot be renamed to " + to + ": " + LastErrorText());
}

std::string TSafeFolder::PathOf(const std::string& name) const {
    return path_.empty() || std::strchr("\\/:", path_.back()) ? path_ + name : path_ + "\\" + name;
}

TSafeNewFile::TSafeNewFile(const TSafeFolder& folder, std::string name)
    : folder_(folder), name_(std::move(name)) {
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0; h == INVALID_HANDLE_VALUE && attempt < 16; ++attempt) {
        tempName_ = TemporaryName();
        h = CreateFileA(folder_.PathOf(tempName_).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (h == INVALID_HANDLE_VALUE)
        throw EPathError(folder_.PathOf(name_),
                         "cannot be written: no temporary file beside it: " + LastErrorText());
    stream_ = std::make_unique<THandleStream>(reinterpret_cast<THandle>(h));
    if (!SetDeleteOnClose(h, true)) {
        std::string why = LastErrorText();
        Close();
        DeleteFileA(folder_.PathOf(tempName_).c_str());
        throw EPathError(folder_.PathOf(name_), "cannot be written: " + why);
    }
}

TSafeNewFile::~TSafeNewFile() { Close(); }

void TSafeNewFile::Close() {
    if (stream_ && stream_->Handle != InvalidHandle) CloseHandle(Win(stream_->Handle));
    if (stream_) stream_->Handle = InvalidHandle;
}

bool TSafeNewFile::Commit(bool replace) {
    const std::string target = folder_.PathOf(name_);
    HANDLE h = Win(stream_->Handle);
    if (!FlushFileBuffers(h) || !SetDeleteOnClose(h, false))
        throw EPathError(target, "cannot be written: " + LastErrorText());
    // A read-only file in the way is replaced like any other.
    DWORD attributes = replace ? GetFileAttributesA(target.c_str()) : INVALID_FILE_ATTRIBUTES;
    bool resetting = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
                     !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
    if (resetting) SetFileAttributesA(target.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (RenameOpenFile(h, Win(folder_.handle_), name_, replace)) {
        committed_ = true;
        FlushFileBuffers(h);  // the new name with the data
        Close();
        return true;
    }
    DWORD code = GetLastError();
    if (resetting) SetFileAttributesA(target.c_str(), attributes);
    SetDeleteOnClose(h, true);
    if (!replace && (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS)) return false;
    DWORD now = GetFileAttributesA(target.c_str());
    if (now != INVALID_FILE_ATTRIBUTES && (now & FILE_ATTRIBUTE_DIRECTORY))
        throw EPathError(target, "is a folder");
    throw EPathError(target, "cannot be written: " + OsErrorText(code));
}

int RemoveTemporaryLeftovers(const TSafeFolder& folder) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(folder.PathOf(".q7pack-*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int removed = 0;
    do {
        // A running writer holds its file open without sharing, so the
        // delete fails for it.
        if (IsTemporaryName(found.cFileName) &&
            !(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
            DeleteFileA(folder.PathOf(found.cFileName).c_str()))
            ++removed;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return removed;
}
