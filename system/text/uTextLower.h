#pragma once
// Lower-casing of 8-bit text in the system's ANSI code page, as the script
// function strtolower needs it. Windows: CharLowerBuffA, and in UTF-8 (a
// package whose manifest asks for it, GetACP() = 65001) each character by
// itself, so no character changes its length. Elsewhere the same rules
// for the code page set below (Windows-1250, the shipped texts' code page,
// unless set), with the C library's Unicode case tables.

#include <cstdint>
#include <string>

// Lowers every byte of text in place, NUL bytes included.
void AnsiLowerInPlace(std::string& text);

// The ANSI code page the installer's text is in: GetACP() on Windows.
uint32_t AnsiCodePage();

#ifndef _WIN32
// Sets the portable build's stand-in for the ANSI code page.
void SetAnsiCodePage(uint32_t codePage);
#endif
