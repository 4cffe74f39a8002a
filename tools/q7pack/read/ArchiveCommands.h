#pragma once
// The packager's reading commands over an installer or a bare archive.
// Each prints to stdout and returns the process exit status.

#include <string>

// Name, packed size, unpacked size and ratio of every entry; names the
// installer would refuse to write are reported on stderr.
int ListArchive(const std::string& file);

// Inflates every entry and checks that it is one complete zlib stream that
// inflates to exactly its recorded size and whose name the installer
// writes; names every bad entry.
int VerifyArchive(const std::string& file);

// Writes every entry below folder, creating folders for names with
// separators; refuses names that would leave it, never writes through a
// link, and replaces an existing file only with overwrite. Each file is
// written beside its place and renamed there when complete.
int ExtractArchive(const std::string& file, const std::string& folder, bool overwrite = false);
