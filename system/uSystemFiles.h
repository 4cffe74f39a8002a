#pragma once
// Files, directories and path text for the installer library: existence
// tests, the recursive directory creation, the forced delete and the small
// path routines they rest on. None of them raises; each reports failure
// through its result.
//
// Paths are byte strings in the ANSI code page. The separators are the
// backslash and the colon (a drive); the forward slash is an ordinary
// character to the path-text routines. On POSIX systems the file layer
// hands a path to the OS with its backslashes read as slashes, so that the
// same installer paths work in the native tests.

#include <cstdint>
#include <string>
#include <string_view>

#include "system/uSystem.h"

// The delimiters of a directory part: backslash and colon.
constexpr std::string_view DirectoryDelimiters = "\\:";

// The local last-write time of the first match of name (a pattern where it
// holds wildcards, on Windows), packed as DOS date (high 16 bits) and time
// (low 16 bits). -1 when nothing matches, the match is a directory, or its
// time lies outside the DOS range (years 1980 to 2107).
int32_t GetFileDosDateTime(const std::string& name);

// True when GetFileDosDateTime(name) finds a file: not a directory, and not
// a file whose time cannot be given as a DOS date.
bool IsExistingFile(const std::string& name);

// True when path names an existing directory.
bool IsExistingDirectory(const std::string& path);

// The 1-based position of the last character of text that occurs among
// delimiters, searching from the end; NUL characters of text never match.
// 0 when there is none.
int32_t FindLastDelimiter(std::string_view delimiters, std::string_view text);

// The path up to and including its last backslash or colon: C:\dir\f.txt
// gives C:\dir\ , C:f.txt gives C: , f.txt gives the empty text.
std::string ExtractDirectoryPart(std::string_view path);

// True when 1 <= position <= length of text and a backslash stands there.
bool HasBackslashAt(std::string_view text, int32_t position);

// path without one trailing backslash, if it ends in one.
std::string StripTrailingBackslash(std::string_view path);

// Creates path and every missing parent, outermost first. True when the
// directory exists afterwards or path (without a trailing backslash) is
// shorter than 3 characters (a drive, a root: nothing is touched); false for
// the empty text, for a bare relative name of 3 or more characters that does
// not exist (its parent part is empty), and when a level cannot be created:
// the levels made before that stay.
bool CreateDirectoryTree(const std::string& path);

// Creates one directory whose parent exists, with default security.
bool CreateSingleDirectory(const std::string& path);

// Removes one empty directory; false when it is not empty or not there.
bool RemoveSingleDirectory(const std::string& path);

// True when anything (file, folder, link, device) goes by path.
bool IsExistingName(const std::string& path);

// Gives the file from the name to, which must be free: false, with nothing
// changed, when to exists or the OS refuses (the file is in use without
// sharing, the folder is read-only).
bool RenameFile(const std::string& from, const std::string& to);

// Resets the file's attributes to normal (so read-only, hidden and system
// files go too), then deletes it. True when both steps succeed; false for a
// missing file or a directory.
bool DeleteFileForced(const std::string& name);

// Where a file name leads, as the operating system resolves it: on Windows
// the full path GetFullPathNameA gives (backslash and slash both separate, a
// relative name is relative to the current directory, . and .. components
// are followed, a reserved device name leads to the device); on POSIX the
// name with backslashes read as slashes.
struct TFileTarget {
    std::string Path;       // what to open
    std::string Folder;     // the folder that holds it, ending in a separator
                            // (empty for the current directory)
    bool IsDevice = false;  // a device (NUL, CON, COM1, ...; on POSIX anything
                            // but a file or folder), not a file in a folder
};

// False when name leads to no file: it is empty or ends in a separator.
bool ResolveFileTarget(const std::string& name, TFileTarget& target);

// A new file with a name of its own in a folder (empty, or ending in a
// separator), created and opened in one step and written only through that
// handle, so that nothing else can be put under its name in between. It is
// removed on destruction unless it was moved into place.
class TTemporaryFile {
public:
    explicit TTemporaryFile(const std::string& folder);
    ~TTemporaryFile();
    TTemporaryFile(const TTemporaryFile&) = delete;
    TTemporaryFile& operator=(const TTemporaryFile&) = delete;

    // False when no file could be made.
    bool IsOpen() const { return stream_.Handle >= 0; }
    TStream& Stream() { return stream_; }
    const std::string& Path() const { return path_; }
    // Closes the file and puts it in the place of target (ReplaceFileWith).
    // False when the move fails (the file is then removed) and when the
    // name no longer leads to the file this object made (whatever is there
    // now is left alone).
    bool MoveTo(const std::string& target);

private:
    std::string path_;
    THandleStream stream_{InvalidHandle};
};

// Puts source in the place of target in one step, replacing a target file
// whatever its attributes (they are reset first, and restored when the move
// fails). False, with both files as they were, when the OS refuses: target
// is a directory, in use, or on another volume.
bool ReplaceFileWith(const std::string& source, const std::string& target);

// True when path still names the file open under handle (POSIX: the same
// device and inode). Windows keeps the name of a file opened without
// sharing from being taken over, so there it is always true.
bool IsSameFile(THandle handle, const std::string& path);
