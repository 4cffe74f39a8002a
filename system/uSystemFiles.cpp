// The portable part of the file routines: path text and the recursion of
// the directory creation. The OS calls sit in uSystemFilesWin32.cpp and
// uSystemFilesPosix.cpp.

#include "system/uSystemFiles.h"

#include <random>

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

namespace {

// "~q7" and eight hex digits of word, ".tmp". Written by hand: the C
// library's formatting would bring its whole printf machinery (about
// 27 KiB) into the installer for this one name.
std::string TemporaryName(uint32_t word) {
    std::string name = "~q7XXXXXXXX.tmp";
    for (size_t i = 10; i >= 3; --i, word >>= 4) name[i] = "0123456789abcdef"[word & 0xF];
    return name;
}

}  // namespace

TTemporaryFile::TTemporaryFile(const std::string& folder) {
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string path = folder + TemporaryName(static_cast<uint32_t>(random()));
        stream_.Handle = HandleCreateNew(path);
        if (stream_.Handle >= 0) {
            path_ = path;
            return;
        }
        // Only a name that is already taken is worth another try.
        if (!IsExistingFile(path) && !IsExistingDirectory(path)) return;
    }
}

TTemporaryFile::~TTemporaryFile() {
    if (stream_.Handle >= 0) {
        if (!IsSameFile(stream_.Handle, path_)) path_.clear();  // not ours to delete
        HandleClose(stream_.Handle);
    }
    if (!path_.empty()) DeleteFileForced(path_);
}

bool TTemporaryFile::MoveTo(const std::string& target) {
    if (path_.empty()) return false;
    // Only the file made here may go in place of the target.
    bool same = IsSameFile(stream_.Handle, path_);
    HandleClose(stream_.Handle);
    stream_.Handle = InvalidHandle;
    if (!same) {
        path_.clear();  // the file under that name is not ours to delete
        return false;
    }
    if (!ReplaceFileWith(path_, target)) return false;
    path_.clear();
    return true;
}
