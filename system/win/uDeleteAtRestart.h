#pragma once
// Removals that Windows carries out at its next restart, for what a running
// program still holds when the uninstaller ends.

#include <string>

// Asks Windows to delete the file or empty folder at its next restart.
// True when it took the request, which needs administrator rights.
bool DeleteAtRestart(const std::string& path);
