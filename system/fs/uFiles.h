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

// Splits path into the folder that holds it and its last name, \ and /
// both separating: C:\a\b gives C:\a and b, C:\a gives C:\ and a, \a gives
// \ and a, a\b\ gives a and b, a gives the empty text (the current folder)
// and a, \\server\share\a gives \\server\share\ and a. False, with nothing
// changed, for a root (C:\, C:, \, /, \\server\share), which has no name.
bool SplitLastName(const std::string& path, std::string& folder, std::string& name);

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
