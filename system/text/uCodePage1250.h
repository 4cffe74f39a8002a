#pragma once
// Windows-1250, the code page of the shipped texts and control script. The
// portable build uses it where Windows would use the ANSI code page: to give
// the installer's texts back as LoadStringA does, and to lower-case text as
// CharLowerBuffA does.

#include <cstdint>
#include <string>
#include <string_view>

// The Unicode character of one Windows-1250 byte.
char16_t Cp1250ToUnicode(unsigned char byte);

// The lower-case partner of one Windows-1250 byte (A to Z and the accented
// capitals); every other byte is returned unchanged.
char Cp1250Lower(char c);

// UTF-8 text in Windows-1250; characters the code page lacks become '?',
// as the ANSI conversion of Windows makes them.
std::string Utf8ToCp1250(std::string_view text);
