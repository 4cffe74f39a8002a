// Hello, the program that the English example package installs: one
// message box that greets the user and names the folder it runs from.
// Small on purpose: it is the payload of the walkthrough in
// docs/tutorial.md.

#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    folder = folder.substr(0, folder.find_last_of(L'\\'));
    std::wstring text = L"Hello, world!\n\nHello 1.0 runs from " + folder + L".";
    MessageBoxW(nullptr, text.c_str(), L"Hello 1.0", MB_OK | MB_ICONINFORMATION);
    return 0;
}
