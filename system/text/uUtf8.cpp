#include "system/text/uUtf8.h"

int32_t NextUtf8(std::string_view text, size_t& i) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) return text[i++];
    size_t len = lead >= 0xC2 && lead < 0xE0   ? 2
                 : lead >= 0xE0 && lead < 0xF0 ? 3
                 : lead >= 0xF0 && lead < 0xF5 ? 4
                                               : 0;
    if (len == 0 || len > text.size() - i) return -1;
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

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
        return;
    }
    static const unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
    int extra = cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;
    out += static_cast<char>(kLead[extra] | (cp >> (6 * extra)));
    for (int k = extra - 1; k >= 0; --k) out += static_cast<char>(0x80 | ((cp >> (6 * k)) & 0x3F));
}

std::optional<std::u16string> Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        int32_t cp = NextUtf8(text, i);
        if (cp < 0) return std::nullopt;
        if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        bool high = c >= 0xD800 && c < 0xDC00;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD;
        AppendUtf8(out, c);
    }
    return out;
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
