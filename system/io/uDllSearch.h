#pragma once
// Loading DLLs only from System32. Windows looks for a DLL that is named
// without a path in the program's own folder first, and an installer's
// folder is often Downloads, holding files the user never looked at; a DLL
// planted there would run with the installer's rights. The installer
// therefore imports only DLLs that Windows maps from System32 itself (its
// KnownDLLs; scripts/imports.py checks the built stubs), and these routines
// keep every later load there. Windows only.

#include <windows.h>

// Limits the search of every later load by name to System32: the first
// thing the installer does. Where Windows lacks SetDefaultDllDirectories
// (Vista, and 7 without its 2011 update), it at least takes the current
// folder out of the search.
void RestrictDllSearch();

// The DLL name (a bare file name) loaded from System32 by its full path,
// its own dependencies looked for there first; null when it cannot be
// loaded.
HMODULE LoadSystemLibrary(const char* name);
