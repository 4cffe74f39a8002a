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

// The function `name` of the System32 DLL `dll`, which loads on this first
// use and stays for the rest of the run; null when either is missing. The
// shell's and COM's DLLs come this way rather than through the import
// table: each imported DLL is mapped and started, with the DLLs it imports
// in turn, before the first page can show, and most installations call
// those functions late or never.
FARPROC SystemProcedure(const char* dll, const char* name);

// SystemProcedure with the type of the declared function F.
template <typename F>
F* SystemFunction(const char* dll, const char* name) {
    return reinterpret_cast<F*>(reinterpret_cast<void*>(SystemProcedure(dll, name)));
}
// The declared function F of the System32 DLL `dll`, by F's own name and
// type: Q7_SYSTEM_FUNCTION("shell32.dll", IsUserAnAdmin).
#define Q7_SYSTEM_FUNCTION(dll, F) SystemFunction<decltype(F)>(dll, #F)
