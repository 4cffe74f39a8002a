#pragma once
// Symbolic links for tests of code that must not follow them. Under Wine,
// whose CreateSymbolicLink makes nothing, the Linux side makes the link:
// a Unix link in the Wine drive is what someone plants there.

#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

// Makes link (a path) point to target (a path relative to link's folder, or
// absolute); true when the link exists afterwards.
inline bool MakeLink(const std::string& target, const std::string& link) {
#ifdef _WIN32
    using Convert = char*(CDECL*)(const WCHAR*);
    auto convert = reinterpret_cast<Convert>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
    if (!convert) return false;
    std::wstring wide(link.begin(), link.end());
    char* unix = convert(wide.c_str());
    if (!unix) return false;
    std::string unixTarget = target;
    for (char& c : unixTarget)
        if (c == '\\') c = '/';
    std::string line = "Z:\\bin\\ln -s \"" + unixTarget + "\" \"" + unix + "\"";
    HeapFree(GetProcessHeap(), 0, unix);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // Wine gives no handle to wait on for a Linux program: look for the link
    // (which must lead somewhere to be seen).
    for (int waited = 0; waited < 200; ++waited, Sleep(50))
        if (GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    return false;
#else
    return ::symlink(target.c_str(), link.c_str()) == 0;
#endif
}
