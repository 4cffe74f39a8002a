// The installer executable's entry point. The command line is read with
// GetCommandLineA by the start-up itself, which also chooses the status.
// Before anything loads a DLL, the search is kept to System32.

#include <windows.h>

#include "startup/uStartup.h"
#include "system/io/uDllSearch.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    RestrictDllSearch();
    return RunInstaller();
}
