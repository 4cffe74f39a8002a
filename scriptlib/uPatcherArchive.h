#pragma once
// Writing archive entries out as files, the work behind the script function
// ArchiveFileCopy. Kept apart from the script host so that it runs, and is
// tested, on every platform.

#include <cstdint>
#include <string>

#include "archive/uZlibArchive.h"

// Writes entry index of unpacker to target, or under its stored name (taken
// relative to the current directory) when target is empty. True only when
// the whole entry inflated and was written.
//
// The entry goes to a new temporary file in the target's directory first;
// only a complete write replaces the target (an existing file, whatever its
// attributes). On any failure the temporary file is removed and an existing
// target stays exactly as it was. Refused, with nothing touched: an index
// outside the table, a target that is a directory, and, when target is
// empty, a stored name that is empty or would leave the current directory
// (absolute, with a drive, or with a .. component).
bool InstallArchiveEntry(const TZLibUnpacker& unpacker, int32_t index, const std::string& target);
