#pragma once
// Pictures of the screen for the demo: a rectangle of the screen saved as
// a PNG file (24-bit colour, zlib-compressed).

#include <windows.h>

#include <string>

// The screen's pixels inside rect (screen coordinates), written to path;
// false when the pixels cannot be read or the file cannot be written.
bool SaveScreenPng(const RECT& rect, const std::wstring& path);
