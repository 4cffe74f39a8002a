// The installer's string table on Windows: the executable's own, in the
// language the installer chose for its pages (uResourceLanguage.h) or as
// LoadStringA finds it.

#include <windows.h>

#include <vector>

#include "system/app/uResourceLanguage.h"
#include "system/uSystem.h"

namespace {

// The text of id in the chosen language's string table, in the ANSI code
// page, cut as LoadStringA cuts it into 4096 bytes.
std::string LanguageText(uint32_t id) {
    uint32_t size = 0;
    auto* block = static_cast<const unsigned char*>(
        LanguageResource(MAKEINTRESOURCEA(6) /* RT_STRING */, MAKEINTRESOURCEA(id / 16 + 1), size));
    if (!block) return {};
    uint32_t at = 0;
    for (uint32_t i = 0; i < id % 16 && at + 2 <= size; ++i) at += 2 + 2 * (block[at] | block[at + 1] << 8);
    if (at + 2 > size) return {};
    uint32_t length = block[at] | block[at + 1] << 8;
    if (length == 0 || length > (size - at - 2) / 2) return {};
    // A vector: std::wstring would link all of the library's wide string.
    std::vector<wchar_t> wide(length);
    for (uint32_t c = 0; c < length; ++c) wide[c] = static_cast<wchar_t>(block[at + 2 + 2 * c] | block[at + 3 + 2 * c] << 8);
    char buffer[4096];
    int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(length), buffer, sizeof buffer - 1, nullptr, nullptr);
    return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

}  // namespace

std::string ResourceText(uint32_t id) {
    if (ResourceLanguage() != 0) return LanguageText(id);
    char buffer[4096];
    int n = LoadStringA(GetModuleHandleA(nullptr), id, buffer, sizeof buffer);
    return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}
