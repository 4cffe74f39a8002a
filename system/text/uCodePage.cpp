#include "system/text/uCodePage.h"

#include <cstdio>
#include <map>

const std::array<uint32_t, 256>& CodePageBytes(uint32_t codePage) {
    // Built once, all together, so that threads may share them.
    static const std::map<uint32_t, std::array<uint32_t, 256>> tables = [] {
        std::map<uint32_t, std::array<uint32_t, 256>> all;
        for (uint32_t cp : {874u, 1250u, 1251u, 1252u, 1253u, 1254u, 1255u, 1256u, 1257u, 1258u})
            all.emplace(cp, SystemCodePageTable(cp));
        return all;
    }();
    static const std::array<uint32_t, 256> none = [] {
        std::array<uint32_t, 256> t;
        t.fill(kNoCharacter);
        return t;
    }();
    auto found = tables.find(codePage);
    return found == tables.end() ? none : found->second;
}

bool IsPackageCodePage(uint32_t codePage) {
    return codePage == kUtf8CodePage || codePage == 874 || (codePage >= 1250 && codePage <= 1258);
}

std::string CodePageName(uint32_t codePage) {
    return codePage == kUtf8CodePage ? "UTF-8" : "Windows-" + std::to_string(codePage);
}

std::optional<TUnmapped> Utf8ToCodePage(std::string_view utf8, uint32_t codePage, std::string& out) {
    out.clear();
    out.reserve(utf8.size());
    const std::array<uint32_t, 256>* bytes = codePage == kUtf8CodePage ? nullptr : &CodePageBytes(codePage);
    // The reverse of the byte table, for the upper half (ASCII is shared).
    std::map<uint32_t, char> reverse;
    if (bytes)
        for (int b = 0x80; b < 0x100; ++b)
            if ((*bytes)[b] != kNoCharacter) reverse.emplace((*bytes)[b], static_cast<char>(b));
    for (size_t i = 0; i < utf8.size();) {
        size_t start = i;
        int32_t c = NextUtf8(utf8, i);
        if (c < 0) return TUnmapped{start, kNoCharacter};
        if (!bytes || c < 0x80) {
            out.append(utf8.substr(start, i - start));
            continue;
        }
        auto found = reverse.find(static_cast<uint32_t>(c));
        if (found == reverse.end()) return TUnmapped{start, static_cast<uint32_t>(c)};
        out += found->second;
    }
    return std::nullopt;
}

std::string CodePageToUtf8(std::string_view text, uint32_t codePage) {
    if (codePage == kUtf8CodePage) return std::string(text);
    const std::array<uint32_t, 256>& bytes = CodePageBytes(codePage);
    std::string out;
    for (char c : text) {
        uint32_t u = bytes[static_cast<unsigned char>(c)];
        AppendUtf8(out, u == kNoCharacter ? 0xFFFD : u);
    }
    return out;
}

std::string CharacterCode(uint32_t character) {
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(character));
    return code;
}

