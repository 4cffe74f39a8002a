#pragma once
// Message boxes size themselves to their text and buttons, not to their
// caption: a product's long title over a short question runs into the
// close button. Windows only.

#include <windows.h>

// MessageBoxA, its box widened before it shows when it is narrower than
// its caption needs, its contents kept centred. The hook that does it lives
// only as long as the box: under Wine a hook on the thread's window
// messages costs three wineserver calls per message, some 600 before the
// first page has shown.
int FittedMessageBox(HWND owner, const char* text, const char* caption, UINT style);
