// Lower-casing on POSIX systems: the rules of the ANSI code page set by
// SetAnsiCodePage (Windows-1250 unless set), with the C library's Unicode
// case tables.

#include <locale.h>
#include <wctype.h>

#include "system/text/uCodePage.h"
#include "system/text/uTextLower.h"

namespace {

uint32_t gAnsiCodePage = 1250;

// Unicode's simple lower-case mapping, from the C library's tables.
uint32_t UnicodeLower(uint32_t c) {
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    return utf8 ? static_cast<uint32_t>(towlower_l(static_cast<wint_t>(c), utf8)) : c;
}

// The lower-case partner of every byte of a single-byte code page: the
// byte of the character's lower-case form where the code page holds it.
std::array<unsigned char, 256> LowerBytes(uint32_t codePage) {
    const std::array<uint32_t, 256>& chars = CodePageBytes(codePage);
    std::array<unsigned char, 256> lower;
    for (int b = 0; b < 256; ++b) {
        lower[b] = static_cast<unsigned char>(b);
        if (chars[b] == kNoCharacter) continue;
        uint32_t target = UnicodeLower(chars[b]);
        for (int t = 0; t < 256 && target != chars[b]; ++t)
            if (chars[t] == target) lower[b] = static_cast<unsigned char>(t);
    }
    return lower;
}

}  // namespace

uint32_t AnsiCodePage() { return gAnsiCodePage; }

void SetAnsiCodePage(uint32_t codePage) { gAnsiCodePage = codePage; }

void AnsiLowerInPlace(std::string& text) {
    if (gAnsiCodePage == kUtf8CodePage) return Utf8LowerInPlace(text, UnicodeLower);
    static uint32_t tableOf = 0;
    static std::array<unsigned char, 256> lower;
    if (tableOf != gAnsiCodePage) {
        lower = LowerBytes(gAnsiCodePage);
        tableOf = gAnsiCodePage;
    }
    for (char& c : text) c = static_cast<char>(lower[static_cast<unsigned char>(c)]);
}
