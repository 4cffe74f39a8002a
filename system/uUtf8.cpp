#include "system/uUtf8.h"

int32_t NextUtf8(std::string_view text, size_t& i) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) return text[i++];
    size_t len = lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3 : lead >= 0xF0 && lead < 0xF5 ? 4 : 0;
    if (len == 0 || i + len > text.size()) return -1;
    uint32_t cp = lead & (0x7F >> len);
    for (size_t k = 1; k < len; ++k) {
        unsigned char c = static_cast<unsigned char>(text[i + k]);
        if ((c & 0xC0) != 0x80) return -1;
        cp = (cp << 6) | (c & 0x3F);
    }
    static const uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kLeast[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) return -1;
    i += len;
    return static_cast<int32_t>(cp);
}

void AppendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void Utf8LowerInPlace(std::string& text, uint32_t (*lower)(uint32_t)) {
    for (size_t i = 0; i < text.size();) {
        size_t start = i;
        int32_t c = NextUtf8(text, i);
        if (c < 0) {
            ++i;
            continue;
        }
        std::string lowered;
        AppendUtf8(lowered, lower(static_cast<uint32_t>(c)));
        if (lowered.size() == i - start) text.replace(start, lowered.size(), lowered);
    }
}
