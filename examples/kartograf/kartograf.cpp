// Kartograf, the program of the German product example: it counts the
// maps installed beside it, so a test sees which components went in.
// Small on purpose: examples/kartograf/product.ini is what it shows.

#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    folder = folder.substr(0, folder.find_last_of(L'\\'));
    int maps = 0;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\Karten\\Beispiele\\*.karte").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do ++maps;
        while (FindNextFileW(search, &found));
        FindClose(search);
    }
    std::wstring text = L"Kartograf 2.1 l\u00e4uft aus " + folder + L".\n\nBeispielkarten: " + std::to_wstring(maps);
    MessageBoxW(nullptr, text.c_str(), L"Kartograf 2.1", MB_OK | MB_ICONINFORMATION);
    return 0;
}
