#pragma once
// Stored names and the packager's own file names. Stored names are bytes of
// the package's code page (Windows-1250 unless a brand chooses one), with
// '\' between folders. The packager's file names are local: UTF-8 on
// Linux, converted both ways; the ANSI code page on Windows, taken as they
// are unless a brand chooses the code page.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The code page of the package being built (a brand's codepage key), set
// once per command; none is today's way (Windows-1250 names).
void SetPackageCodePage(std::optional<uint32_t> codePage);

// The stored form of a name given on the packager's side: '/' becomes '\',
// and the local name becomes the package's code page. Raises PackError about subject for
// text that is not UTF-8 or holds a character the code page lacks, naming
// that character.
std::string StoredName(const std::string& local, const std::string& subject);

// The local form of a stored name: the package's code page to UTF-8
// where local names are UTF-8. Separators are left as they are.
std::string LocalName(std::string_view stored);

// A stored name for the terminal: in its code page (UTF-8 on Linux, the
// console's on Windows), with
// control bytes written as \xNN, so that no name rewrites the screen.
std::string ShownName(std::string_view stored);

// UTF-8 text read from a file (an installer's title, its version) for the
// terminal: C0 and C1 controls, DEL and bytes that are not UTF-8 written
// as \xNN, as ShownName writes them.
std::string ShownText(std::string_view utf8);


// What makes two stored names the same file for the installer: A-Z lowered,
// '/' taken as '\', empty and "." parts dropped (Windows drops them).
std::string NameKey(std::string_view stored);

// The first line (from 1) that holds a byte above 0x7F, when the text is
// valid UTF-8 and has such a byte (a leading byte-order mark not counted);
// 0 otherwise.
int FirstUtf8Line(std::string_view text);

// "1 entry", "2 entries".
std::string CountOf(size_t n, const char* one, const char* many);
