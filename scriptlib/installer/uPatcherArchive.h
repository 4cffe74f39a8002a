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
// The target is resolved as the system resolves it (ResolveFileTarget), and
// the entry goes to a new temporary file in the folder it resolves to; only
// a complete write replaces the target (an existing file, whatever its
// attributes). On any failure the temporary file is removed and an existing
// target stays exactly as it was. A target that is a device (NUL, CON, ...)
// is written directly. Refused, with nothing touched: an index outside the
// table, a target that is a directory or ends in a separator, and, when
// target is empty, a stored name that StoredNameFault refuses (empty,
// escaping, a device name, a stream, reserved characters, a trailing dot
// or space).
bool InstallArchiveEntry(const TZLibUnpacker& unpacker, int32_t index, const std::string& target);

// The entry index names in the table; null outside it. Every function that
// takes an index from a script finds its entry here.
const TZLibPackedFile* EntryAt(const TZLibUnpacker& unpacker, int32_t index);

// The most ArchiveFileText gives: a license or a readme, not a payload.
constexpr uint32_t ArchiveTextLimit = 4 * 1024 * 1024;

// The bytes of entry index as a text. False, with text empty, outside the
// table, when the entry does not inflate whole, and when it holds (or
// claims) more than ArchiveTextLimit bytes: no more than that is inflated.
bool ReadArchiveEntryText(const TZLibUnpacker& unpacker, int32_t index, std::string& text);
