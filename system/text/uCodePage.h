#pragma once
// The code pages a package may be written in: UTF-8 and the single-byte
// Windows code pages 874 and 1250 to 1258. One conversion for everything
// that stores text for the installer (setup.ini, stored names, brand
// texts): the system's tables do the work, iconv on Linux and the
// Windows conversion functions on Windows.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "system/text/uUtf8.h"

constexpr uint32_t kUtf8CodePage = 65001;

// 65001, 874 or 1250 to 1258.
bool IsPackageCodePage(uint32_t codePage);

// "UTF-8", "Windows-1252", ...
std::string CodePageName(uint32_t codePage);

// The character of every byte of a single-byte code page, kNoCharacter
// where the code page leaves a byte undefined. Built once per code page
// from the system's conversion.
constexpr uint32_t kNoCharacter = 0xFFFFFFFF;
const std::array<uint32_t, 256>& CodePageBytes(uint32_t codePage);

// The same table as the system gives it (one file per platform).
std::array<uint32_t, 256> SystemCodePageTable(uint32_t codePage);

// Where a conversion stopped: the byte offset into the UTF-8 text and the
// character there, or kNoCharacter where the text is not UTF-8.
struct TUnmapped {
    size_t offset;
    uint32_t character;
};

// UTF-8 text in codePage, into out; the first character the code page lacks
// (or the first byte that is not UTF-8) otherwise.
std::optional<TUnmapped> Utf8ToCodePage(std::string_view utf8, uint32_t codePage, std::string& out);

// Text of codePage as UTF-8; an undefined byte becomes U+FFFD.
std::string CodePageToUtf8(std::string_view text, uint32_t codePage);

// "U+00E8".
std::string CharacterCode(uint32_t character);
