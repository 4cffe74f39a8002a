// The file routines' OS calls on Windows, through the ANSI file API.

#include <windows.h>

#include <vector>

#include "system/fs/uFiles.h"

int32_t GetFileDosDateTime(const std::string& name) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(name.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return -1;
    FindClose(search);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
    FILETIME local;
    WORD date = 0, time = 0;
    if (!FileTimeToLocalFileTime(&found.ftLastWriteTime, &local)) return -1;
    if (!FileTimeToDosDateTime(&local, &date, &time)) return -1;
    return static_cast<int32_t>((static_cast<uint32_t>(date) << 16) | time);
}

bool IsExistingDirectory(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateSingleDirectory(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

bool DeleteFileForced(const std::string& name) {
    return SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL) && DeleteFileA(name.c_str());
}

bool ResolveFileTarget(const std::string& name, TFileTarget& target) {
    if (name.empty()) return false;
    std::vector<char> full(MAX_PATH);
    char* filePart = nullptr;
    DWORD n;
    while ((n = GetFullPathNameA(name.c_str(), static_cast<DWORD>(full.size()), full.data(), &filePart)) >=
           full.size())
        full.resize(n);
    if (n == 0) return false;
    target.Path.assign(full.data(), n);
    // The system names a device by its own prefix: NUL becomes \\.\NUL.
    target.IsDevice = target.Path.rfind("\\\\.\\", 0) == 0;
    if (target.IsDevice) return true;
    if (filePart == nullptr) return false;  // ends in a separator
    target.Folder.assign(full.data(), static_cast<size_t>(filePart - full.data()));
    return true;
}
