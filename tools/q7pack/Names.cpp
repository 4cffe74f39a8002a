#include "tools/q7pack/Names.h"

#include <algorithm>
#include <cstdio>

#include "system/uCodePage1250.h"
#include "system/uSystem.h"
#include "system/uUtf8.h"
#include "tools/q7pack/PackError.h"
#include "tools/q7pack/Platform.h"

namespace {

// The Windows-1250 byte of a character, or -1 when the code page lacks it.
int Cp1250Byte(uint32_t cp) {
    if (cp < 0x80) return static_cast<int>(cp);
    for (int b = 0x80; b < 0x100; ++b)
        if (Cp1250ToUnicode(static_cast<unsigned char>(b)) == cp) return b;
    return -1;
}

std::string Utf8ToStored(const std::string& local, const std::string& subject) {
    std::string out;
    for (size_t i = 0; i < local.size();) {
        size_t start = i;
        int32_t cp = NextUtf8(local, i);
        if (cp < 0)
            throw PackError(subject, "the name is not UTF-8 text, so its characters are unknown: rename it");
        int b = Cp1250Byte(static_cast<uint32_t>(cp));
        if (b < 0) {
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(cp));
            throw PackError(subject, "'" + local.substr(start, i - start) + "' (" + code +
                                         ") is not in Windows-1250, the installer's code page: rename it");
        }
        out += static_cast<char>(b);
    }
    return out;
}

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

void AppendEscaped(std::string& out, unsigned char value) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02x", value);
    out += escaped;
}

}  // namespace

std::string StoredName(const std::string& local, const std::string& subject) {
    std::string stored = LocalNamesAreUtf8() ? Utf8ToStored(local, subject) : local;
    std::replace(stored.begin(), stored.end(), '/', '\\');
    return stored;
}

std::string LocalName(std::string_view stored) {
    if (!LocalNamesAreUtf8()) return std::string(stored);
    std::string out;
    for (char c : stored) AppendUtf8(out, Cp1250ToUnicode(static_cast<unsigned char>(c)));
    return out;
}

std::string ShownName(std::string_view stored) {
    const bool utf8 = LocalNamesAreUtf8();
    std::string out;
    for (char c : stored) {
        unsigned char b = static_cast<unsigned char>(c);
        char16_t cp = utf8 ? Cp1250ToUnicode(b) : b;
        if (IsControl(b) || (utf8 && cp >= 0x80 && cp < 0xA0)) {
            AppendEscaped(out, b);
        } else if (utf8) {
            AppendUtf8(out, cp);
        } else {
            out += c;
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

std::vector<std::string> NameParts(std::string_view stored) {
    std::vector<std::string> parts;
    std::string part;
    for (size_t i = 0; i <= stored.size(); ++i) {
        if (i < stored.size() && stored[i] != '\\' && stored[i] != '/') {
            part += stored[i];
            continue;
        }
        if (!part.empty() && part != ".") parts.push_back(part);
        part.clear();
    }
    return parts;
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
