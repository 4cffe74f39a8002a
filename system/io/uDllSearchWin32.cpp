// The DLL search on Windows: SetDefaultDllDirectories where it exists
// (resolved at run time, so the installer still starts where it does not),
// and loads by full path.

#include "system/io/uDllSearch.h"

#include <cstring>

void RestrictDllSearch() {
    using TSetDefault = BOOL(WINAPI*)(DWORD);
    auto setDefault = reinterpret_cast<TSetDefault>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
    if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) SetDllDirectoryA("");
}

HMODULE LoadSystemLibrary(const char* name) {
    char path[MAX_PATH];
    size_t length = std::strlen(name);
    UINT n = GetSystemDirectoryA(path, MAX_PATH);
    if (n == 0 || n + 1 + length >= MAX_PATH) return nullptr;
    path[n] = '\\';
    std::memcpy(path + n + 1, name, length + 1);
    // The altered search looks for the DLL's own dependencies in its folder
    // (System32) first, on every Windows version.
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

FARPROC SystemProcedure(const char* dll, const char* name) {
    HMODULE module = LoadSystemLibrary(dll);
    return module ? GetProcAddress(module, name) : nullptr;
}
