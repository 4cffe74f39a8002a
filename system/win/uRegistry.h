#pragma once
// The registry for the installer library (Windows only). Keys travel as the
// script's signed 32-bit integers: the predefined roots are the platform's
// handle values with the high bit set (HKEY_CURRENT_USER is -2147483647),
// opened keys are small numbers, 0 is no key. A number becomes a handle by
// sign extension, so the same numbers work in the 32-bit and 64-bit builds.
// Nothing here raises; failures come back as 0, false or an empty value,
// with the OS's code for why in the thread's last error (LastOsError).
//
// view is the registry view that keys named by a path are opened, created
// and deleted in: KEY_WOW64_64KEY or KEY_WOW64_32KEY, or 0 for the
// program's own (a 32-bit program on 64-bit Windows sees the 32-bit view of
// HKEY_LOCAL_MACHINE\Software). A key once open stays in its view.

#include <windows.h>

#include <cstdint>
#include <string>

inline HKEY KeyFromNumber(int32_t key) { return reinterpret_cast<HKEY>(static_cast<INT_PTR>(key)); }

// Opens (or, for the second, creates with every missing level) root\subkey
// with full access; the key's number, or 0 when the OS refuses.
int32_t OpenRegistryKey(int32_t root, const std::string& subkey, uint32_t view);
int32_t CreateRegistryKey(int32_t root, const std::string& subkey, uint32_t view);
// True when the OS closed the key.
bool CloseRegistryKey(int32_t key);

// A value as the script sees it: text for the text types (REG_SZ,
// REG_EXPAND_SZ unexpanded, REG_MULTI_SZ with a zero byte after each
// string), a number for REG_DWORD and REG_DWORD_BIG_ENDIAN (both taken
// little-endian), nothing for every other type and for values that cannot
// be read.
struct TRegistryValue {
    enum TKind { None, Text, Number };
    TKind Kind = None;
    std::string Str;
    int32_t Int = 0;
};

// The value of that name (empty: the key's default value) in key.
TRegistryValue QueryRegistryValue(int32_t key, const std::string& name);

// Writes text (with its closing zero byte) as type, REG_SZ or
// REG_EXPAND_SZ; type 0 writes REG_EXPAND_SZ where the value exists with
// that type already and REG_SZ otherwise, so that rewriting a Path keeps
// its %VARIABLE% entries working. A number is written as REG_DWORD. True
// when the OS took it.
bool SetRegistryText(int32_t key, const std::string& name, const std::string& text, uint32_t type);
bool SetRegistryNumber(int32_t key, const std::string& name, int32_t number);

// Deletes the value of that name (empty: the default value) from key; true
// when it was there and is gone.
bool DeleteRegistryValue(int32_t key, const std::string& name);

// Deletes key\path with every key and value below it; true when it is gone
// afterwards (also when it was never there). Refused, with false and
// nothing deleted, when path names no level at all (empty, or only
// backslashes) and when key is a predefined root and path names a single
// level below it: one empty script variable must not wipe
// HKEY_LOCAL_MACHINE\Software. A path holding a NUL is refused too: Windows
// would act only on the part before it.
bool DeleteRegistryKey(int32_t key, const std::string& path, uint32_t view);

// Deletes key\path only when it holds no key and no value (its default
// value included); true when it is gone afterwards (also when it was never
// there). False, with nothing deleted, when it holds anything and when path
// names no level or holds a NUL.
bool DeleteEmptyRegistryKey(int32_t key, const std::string& path, uint32_t view);
