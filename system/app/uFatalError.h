#pragma once
// The installer's own boxes, which start-up and the script host both show,
// and the rule that keeps a silent run free of them. Windows only.

#include <windows.h>

#include <string>

// A silent run (/S in an installer with options) shows no box at all: its
// errors go to the installation log only, and Windows is asked not to show
// its own boxes (a drive without a disk) either. Start-up decides once.
void SetSilentRun(bool silent);
bool IsSilentRun();

// MessageBoxA's box and answer; in a silent run no box, and the answer of a
// user who declines: Cancel where the box has it, else No or Abort, OK for
// a box with OK only. The caller logs what the box would have said.
int ShowBox(HWND owner, const std::string& text, const std::string& caption, UINT style);

// message immediately followed by detail, under the installer's caption with
// the error icon, owned by owner (the page on screen; null when none is);
// also a line of the installation log when one is open, followed by " - "
// and cause, the reason the box does not show (a file and the OS's text),
// when there is one.
void ShowFatalError(HWND owner, const std::string& message, const std::string& detail,
                    const std::string& cause = {});
