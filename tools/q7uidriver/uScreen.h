#pragma once
// What the UI driver sees of another process: its visible top-level
// windows with their controls and texts, written as UTF-8 lines.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct TWindowShot {
    HWND Window = nullptr;
    bool MessageBox = false;
    std::string Text;  // the window's lines of the transcript
};

// The visible top-level windows of the process, topmost first: their
// handles alone, which asks the process nothing.
std::vector<HWND> VisibleWindows(DWORD processId);

// The same windows with their controls' texts, which the process answers
// through messages.
std::vector<TWindowShot> TakeScreen(DWORD processId);

// The screen as transcript lines; "(no window)" when nothing is shown.
std::string ScreenText(const std::vector<TWindowShot>& screen);

// UTF-8 and UTF-16 conversions for the transcript and the command line.
std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& utf8);

// The colour the screen shows, as "#rrggbb": at x, y from the top-left
// corner of control's window, or (x < 0) at the middle of control, or of the
// page's own background near its bottom-left corner when control is the page.
std::string ColourOf(HWND page, HWND control, int x = -1, int y = -1);

// The pixels of a rectangle of source (the screen when source is null), as
// 32-bit BGRX values, top row first; empty when they cannot be read.
std::vector<uint32_t> Pixels(HDC source, int x, int y, int w, int h);

// A control of window found by identifier, compared as the 16-bit value the
// dialog templates hold (so -1 matches 65535); the first in template order.
HWND FindControl(HWND window, int id);
