#pragma once
// The shell's folder browser, the page that SelectDirectory opens.

#include <windows.h>

#include <string>

// Shows the shell's modal folder browser (owner may be null), with title as
// its caption text, rooted at the desktop and offering only file-system
// folders. True with the chosen path in path; false with path empty when
// the user cancels.
bool BrowseForDirectory(HWND owner, const std::string& title, std::string& path);
