#pragma once
// Lower-casing of 8-bit text in the system's ANSI code page, as the script
// function strtolower needs it: CharLowerBuffA on Windows, the Windows-1250
// table (the code page of the shipped texts) elsewhere.

#include <string>

// Lowers every byte of text in place, NUL bytes included.
void AnsiLowerInPlace(std::string& text);
