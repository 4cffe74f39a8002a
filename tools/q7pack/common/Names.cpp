#include "tools/q7pack/common/Names.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "system/fs/uStoredName.h"
#include "system/text/uCodePage.h"
#include "system/text/uUtf8.h"
#include "system/uSystem.h"
#include "tools/q7pack/common/PackError.h"
#include "tools/q7pack/common/Platform.h"

namespace {

std::optional<uint32_t> gPackageCodePage;

uint32_t NamesCodePage() { return gPackageCodePage.value_or(1250); }

// A name of the local system as UTF-8: Linux names are, Windows gives them
// in its ANSI code page.
std::string LocalUtf8(const std::string& local) {
    uint32_t codePage = LocalCodePage();
    return codePage == kUtf8CodePage ? local : CodePageToUtf8(local, codePage);
}

std::string Utf8ToStored(const std::string& utf8, const std::string& subject) {
    std::string out;
    std::optional<TUnmapped> bad = Utf8ToCodePage(utf8, NamesCodePage(), out);
    if (!bad) return out;
    if (bad->character == kNoCharacter)
        throw PackError(subject, "the name is not UTF-8 text, so its characters are unknown: rename it");
    size_t end = bad->offset;
    NextUtf8(utf8, end);
    throw PackError(subject, "'" + utf8.substr(bad->offset, end - bad->offset) + "' (" +
                                 CharacterCode(bad->character) + ") is not in " + CodePageName(NamesCodePage()) +
                                 ", the installer's code page: rename it" +
                                 (NamesCodePage() == kUtf8CodePage ? "" : ", or build with codepage = utf-8"));
}

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

void AppendEscaped(std::string& out, unsigned char value) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02x", value);
    out += escaped;
}

}  // namespace

void SetPackageCodePage(std::optional<uint32_t> codePage) { gPackageCodePage = codePage; }

std::string StoredName(const std::string& local, const std::string& subject) {
    // Without a package code page, Windows names stay the ANSI bytes they are.
    bool convert = LocalNamesAreUtf8() || gPackageCodePage;
    std::string stored = convert ? Utf8ToStored(LocalUtf8(local), subject) : local;
    std::replace(stored.begin(), stored.end(), '/', '\\');
    return stored;
}

std::string LocalName(std::string_view stored) {
    if (!LocalNamesAreUtf8()) return std::string(stored);
    return CodePageToUtf8(stored, NamesCodePage());
}

std::string ShownName(std::string_view stored) {
    const bool utf8 = LocalNamesAreUtf8();
    const uint32_t codePage = NamesCodePage();
    std::string out;
    for (size_t i = 0; i < stored.size();) {
        unsigned char b = static_cast<unsigned char>(stored[i]);
        size_t start = i;
        int32_t c = codePage == kUtf8CodePage ? NextUtf8(stored, i) : -1;
        uint32_t u = c >= 0 ? static_cast<uint32_t>(c) : codePage == kUtf8CodePage ? kNoCharacter : CodePageBytes(codePage)[b];
        if (c < 0) ++i;
        if (IsControl(b) || (utf8 && (u == kNoCharacter || (u >= 0x80 && u < 0xA0)))) {
            AppendEscaped(out, b);
        } else if (utf8) {
            AppendUtf8(out, u);
        } else {
            out.append(stored.substr(start, i - start));
        }
    }
    return LocalToTerminal(out);
}

std::string ShownText(std::string_view utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        size_t start = i;
        int32_t cp = NextUtf8(utf8, i);
        if (cp < 0) {
            AppendEscaped(out, static_cast<unsigned char>(utf8[i++]));
        } else if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0)) {
            AppendEscaped(out, static_cast<unsigned char>(cp));
        } else {
            out.append(utf8, start, i - start);
        }
    }
    return out;
}

std::string NameKey(std::string_view stored) {
    std::string key;
    for (const std::string& part : NameParts(stored)) key += (key.empty() ? "" : "\\") + AsciiLower(part);
    return key;
}

int FirstUtf8Line(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    int line = 1, first = 0;
    for (size_t i = 0; i < text.size();) {
        if (text[i] == '\n') ++line;
        if (static_cast<unsigned char>(text[i]) >= 0x80 && first == 0) first = line;
        if (NextUtf8(text, i) < 0) return 0;
    }
    return first;
}

std::string CountOf(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}
