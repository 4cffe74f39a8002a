// The installer executable's entry point. The command line is read with
// GetCommandLineA by the start-up itself; the exit status is always 0.

#include <windows.h>

#include "startup/uStartup.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    RunInstaller();
    return 0;
}
