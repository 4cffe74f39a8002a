#pragma once
// What the installer learns about the machine it runs on: the shell's
// special folders, environment variables, its own file and the free space
// of a volume (Windows only). Nothing here raises; a failure comes back as
// the empty text or -1.

#include <cstdint>
#include <string>

// The current path of the shell's special folder csidl (CSIDL_PROGRAMS,
// CSIDL_PROGRAM_FILES, ...) without a trailing backslash, whether the
// folder exists yet or not; nothing is created. Empty when Windows has no such folder, and for a number with
// bits beyond the folder's (flags like CSIDL_FLAG_CREATE are not passed on).
// kProgramFiles64, a number of the installer's own, is the 64-bit Program
// Files, which the shell does not name to a 32-bit program: Windows' own
// ProgramW6432 variable where it is set (64-bit Windows), else the only
// Program Files there is.
constexpr int32_t kProgramFiles64 = 0x126;
std::string SpecialFolderPath(int32_t csidl);

// The value of the environment variable name; empty when it is not set.
std::string EnvironmentValue(const std::string& name);

// text with every %NAME% of a set variable replaced by its value, as
// Windows expands it (references to unset variables stay as they are);
// empty when Windows cannot expand it.
std::string ExpandEnvironment(const std::string& text);

// The full path of the running program's own file.
std::string OwnProgramPath();

// The KiB free to this user on the volume that holds path, capped at
// 2147483647; -1 when no volume can be found. A path that does not exist
// yet (the folder an installation is about to create) counts for the
// nearest existing folder above it.
int32_t FreeDiskKiB(const std::string& path);
// The same in bytes, uncapped; false when no volume can be found.
bool FreeDiskBytes(const std::string& path, uint64_t& bytes);

// Tells every top-level window that the environment in the registry
// changed (WM_SETTINGCHANGE "Environment"), so that Explorer gives programs
// started from now on the new values; a window that does not answer within
// a few seconds is skipped. True when the broadcast went out.
bool BroadcastEnvironmentChange();

// Tells the shell that file associations changed (SHCNE_ASSOCCHANGED), so
// that Explorer shows the new icons and verbs at once.
void NotifyAssociationChange();

// True when the installer runs with administrator rights (elevated where
// Windows splits an administrator's rights).
bool RunsAsAdministrator();
