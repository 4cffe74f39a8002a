#pragma once
// The installer's fatal-error box, which start-up and the script host both
// show. Windows only.

#include <windows.h>

#include <string>

// message immediately followed by detail, under the installer's caption with
// the error icon, owned by owner (the page on screen; null when none is);
// also a line of the installation log when one is open.
void ShowFatalError(HWND owner, const std::string& message, const std::string& detail);
