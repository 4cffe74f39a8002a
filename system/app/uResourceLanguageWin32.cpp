#include <windows.h>

#include "system/app/uResourceLanguage.h"

namespace {

constexpr WORD kFirstPage = 101;

BOOL CALLBACK AddLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR into) {
    reinterpret_cast<std::vector<uint16_t>*>(into)->push_back(language);
    return TRUE;
}

uint16_t Choose() {
    std::vector<uint16_t> available;
    EnumResourceLanguagesA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(5) /* RT_DIALOG */,
                           MAKEINTRESOURCEA(kFirstPage), AddLanguage, reinterpret_cast<LONG_PTR>(&available));
    return available.size() < 2 ? 0 : ChooseLanguage(GetUserDefaultUILanguage(), available);
}

}  // namespace

uint16_t ResourceLanguage() {
    static const uint16_t chosen = Choose();
    return chosen;
}

const void* LanguageResource(const char* type, const char* name, uint32_t& size) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceExA(module, type, name, ResourceLanguage());
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    size = loaded ? SizeofResource(module, found) : 0;
    return loaded ? LockResource(loaded) : nullptr;
}
