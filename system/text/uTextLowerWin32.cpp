// Lower-casing on Windows: CharLowerBuffA in the ANSI code page, and each
// character by itself (CharLowerBuffW) where that code page is UTF-8.

#include <windows.h>

#include <algorithm>

#include "system/text/uTextLower.h"
#include "system/text/uUtf8.h"

uint32_t AnsiCodePage() { return GetACP(); }

namespace {

uint32_t LowerCharacter(uint32_t c) {
    WCHAR units[2];
    int n = 1;
    if (c < 0x10000) {
        units[0] = static_cast<WCHAR>(c);
    } else {
        units[0] = static_cast<WCHAR>(0xD800 + ((c - 0x10000) >> 10));
        units[1] = static_cast<WCHAR>(0xDC00 + ((c - 0x10000) & 0x3FF));
        n = 2;
    }
    CharLowerBuffW(units, n);
    return n == 1 ? units[0] : 0x10000 + ((units[0] - 0xD800u) << 10) + (units[1] - 0xDC00u);
}

}  // namespace

void AnsiLowerInPlace(std::string& text) {
    if (GetACP() == CP_UTF8) return Utf8LowerInPlace(text, LowerCharacter);
    // CharLowerBuffA takes a 32-bit count; lower longer text piece by piece.
    constexpr size_t kPiece = 1u << 30;
    for (size_t done = 0; done < text.size(); done += kPiece)
        CharLowerBuffA(text.data() + done, static_cast<DWORD>(std::min(kPiece, text.size() - done)));
}
