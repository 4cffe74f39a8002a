// The portable part of the file routines: path text and the recursion of
// the directory creation. The OS calls sit in uFilesWin32.cpp and
// uFilesPosix.cpp.

#include "system/fs/uFiles.h"


bool IsExistingFile(const std::string& name) { return GetFileDosDateTime(name) != -1; }

int32_t FindLastDelimiter(std::string_view delimiters, std::string_view text) {
    for (size_t i = text.size(); i > 0; --i) {
        char c = text[i - 1];
        if (c != '\0' && delimiters.find(c) != std::string_view::npos) return static_cast<int32_t>(i);
    }
    return 0;
}

std::string ExtractDirectoryPart(std::string_view path) {
    return std::string(path.substr(0, static_cast<size_t>(FindLastDelimiter(DirectoryDelimiters, path))));
}

namespace {

bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

// The length of path's root: \\server\share\, C:\, C:, \ or /; 0 when
// path is relative.
size_t RootLength(const std::string& path) {
    if (path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
        size_t server = path.find_first_of("\\/", 2);
        size_t share = server == std::string::npos ? server : path.find_first_of("\\/", server + 1);
        return share == std::string::npos ? path.size() : share + 1;
    }
    if (path.size() >= 2 && path[1] == ':') return path.size() >= 3 && IsPathSeparator(path[2]) ? 3 : 2;
    return !path.empty() && IsPathSeparator(path[0]) ? 1 : 0;
}

}  // namespace

bool SplitLastName(const std::string& path, std::string& folder, std::string& name) {
    size_t root = RootLength(path), end = path.size();
    while (end > root && IsPathSeparator(path[end - 1])) --end;
    if (end <= root) return false;
    size_t start = end;
    while (start > root && !IsPathSeparator(path[start - 1])) --start;
    size_t cut = start;
    while (cut > root && IsPathSeparator(path[cut - 1])) --cut;
    name = path.substr(start, end - start);
    folder = path.substr(0, cut);
    return true;
}

bool HasBackslashAt(std::string_view text, int32_t position) {
    return position >= 1 && static_cast<size_t>(position) <= text.size() &&
           text[static_cast<size_t>(position) - 1] == '\\';
}

std::string StripTrailingBackslash(std::string_view path) {
    if (HasBackslashAt(path, static_cast<int32_t>(path.size()))) path.remove_suffix(1);
    return std::string(path);
}

bool CreateDirectoryTree(const std::string& path) {
    if (path.empty()) return false;
    std::string directory = StripTrailingBackslash(path);
    // Ends the recursion at a drive (C:) or a root with one short name.
    if (directory.size() < 3) return true;
    if (IsExistingDirectory(directory)) return true;
    std::string parent = ExtractDirectoryPart(directory);
    if (parent == directory) return true;
    return CreateDirectoryTree(parent) && CreateSingleDirectory(directory);
}
