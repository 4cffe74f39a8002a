#pragma once
// Which entries of the archive ArchiveInstall writes: all of them at first;
// a script leaves some out (ArchiveSelect), such as every entry below the
// folder of a component the user did not choose. Portable.

#include <cstdint>
#include <string>

#include "archive/uZlibArchive.h"

// By entry index: a byte not 0 for an entry left out. An index past its
// end is chosen, so the empty selection chooses every entry. (Bytes of a
// string: the installer has its code already, and so stays small.)
using TLeftOut = std::string;

inline bool IsLeftOut(const TLeftOut& leftOut, size_t index) { return index < leftOut.size() && leftOut[index]; }

// Chooses or leaves out the one entry index, which must be in the table.
inline void SelectEntry(TLeftOut& leftOut, size_t entries, size_t index, bool chosen) {
    if (leftOut.size() < entries) leftOut.resize(entries);
    leftOut[index] = !chosen;
}

// Whether the stored name lies at or below path: it is path, or path is a
// folder of it. Letters A-Z compare without case and / and \ alike, as the
// archive's names are looked up; the empty path holds every name.
bool EntryUnder(const std::string& name, const std::string& path);

// Chooses (chosen) or leaves out every entry at or below path; answers how
// many entries that were.
int32_t SelectEntries(const TZLibUnpacker& unpacker, TLeftOut& leftOut, const std::string& path, bool chosen);

// The unpacked bytes of the entries ArchiveInstall would write: the chosen
// ones but setup.ini.
uint64_t ChosenBytes(const TZLibUnpacker& unpacker, const TLeftOut& leftOut);
