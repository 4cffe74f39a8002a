#pragma once
// The little the packager needs from the operating system beyond streams.

#include <cstdint>
#include <string>

// True when standard error is a terminal (progress is shown only there).
bool StderrIsTerminal();

// True when file names on this system are UTF-8: on Linux, and on Windows
// where q7pack's manifest makes UTF-8 its ANSI code page (Windows 10 1903
// and later); false where they are in another ANSI code page.
bool LocalNamesAreUtf8();

// The code page of local file names: 65001 (UTF-8) on Linux, the ANSI
// code page on Windows.
uint32_t LocalCodePage();

// Text in the local code page as the terminal shows it: on Windows, ANSI
// text converted to the console's code page when standard output is a
// console; unchanged otherwise.
std::string LocalToTerminal(const std::string& text);

// True when path itself is a symbolic link (or, on Windows, any reparse
// point: a link or a junction), whether or not it leads anywhere.
bool IsLink(const std::string& path);

// True when path leads to a device rather than to a file or a folder (POSIX:
// a character or block device, a FIFO or a socket, also through a link;
// Windows: a name the system takes for a device, such as NUL or CON).
bool IsDevice(const std::string& path);

// The characters after which a file name starts in a path: "/", or "\\/:"
// on Windows (where "C:name" is name in the current folder of drive C).
const char* PathSeparators();

// True when writing output would replace the file input leads to: output's
// own entry (a link there is replaced itself) is that file (POSIX: the same
// device and inode; Windows: the same volume and file id).
bool WouldReplace(const std::string& output, const std::string& input);

// The path of the running q7pack program, to find what is shipped beside
// it ("" when the system does not say).
std::string OwnProgramPath();
