// The installer executable's entry point. The command line is read with
// GetCommandLineA by the start-up itself, which also chooses the status.

#include <windows.h>

#include "startup/uStartup.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return RunInstaller(); }
