#pragma once
// The rule for names stored in an archive: which names may be written out
// under the current directory as they stand. The installer (an entry copied
// without a target) and q7pack (create and extract) apply the same rule, so
// an archive q7pack builds always installs, and one it refuses never does.

#include <string>
#include <string_view>
#include <vector>

// True for a stored name that would leave the directory it is extracted
// into: one that starts with \ or /, carries a drive (X:), or has a ..
// component (both \ and / separate components).
bool IsEscapingName(std::string_view name);

// The folder the installer keeps its undo journal in, inside the folder it
// installs into (scriptlib/installer/uInstallJournal.h); no stored name lies in it.
inline constexpr char JournalFolderName[] = ".q7journal";

// Why Windows would not write a file under this name, or nullptr when the
// name is safe: it is empty, escapes (IsEscapingName), lies in the
// installer's JournalFolderName (in any case), holds a byte below
// 0x20 or one of : < > " | ? *, or one of its components is a reserved
// device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, COM and LPT with a
// superscript 1-3 in Windows-1252 or UTF-8, with any extension, in any
// case) or ends with a dot or a space (Windows strips those, so the file
// would get another name). The text is English, for q7pack's messages.
const char* StoredNameFault(std::string_view name);

// The folders and the file name of a stored name, split at \ and /; empty
// and "." parts are dropped, as Windows drops them.
std::vector<std::string> NameParts(std::string_view stored);
