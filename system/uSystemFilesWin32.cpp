// The file routines' OS calls on Windows, through the ANSI file API.

#include <windows.h>

#include "system/uSystemFiles.h"

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

bool CreateNewFile(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

bool ReplaceFileWith(const std::string& source, const std::string& target) {
    DWORD attributes = GetFileAttributesA(target.c_str());
    bool resetting = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (resetting) SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    if (resetting) SetFileAttributesA(target.c_str(), attributes);
    return false;
}
