#pragma once
// The packager's reading commands over an installer or a bare archive.
// Each prints to stdout and returns the process exit status.

#include <string>

// Name, packed size, unpacked size and ratio of every entry.
int ListArchive(const std::string& file);

// Inflates every entry and checks that it is one complete zlib stream that
// inflates to exactly its recorded size; names every bad entry.
int VerifyArchive(const std::string& file);

// Writes every entry below folder, creating folders for names with
// separators; refuses names that would leave it.
int ExtractArchive(const std::string& file, const std::string& folder);
