#pragma once
// Reads a .lnk file back through the shell's IShellLinkA, as Explorer and
// the Start menu read it: "target|arguments|folder|icon,index|description",
// or "(unreadable)".

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>

inline std::string ReadShortcut(const std::string& link) {
    HRESULT com = CoInitialize(nullptr);
    std::string out = "(unreadable)";
    IShellLinkA* shell = nullptr;
    IPersistFile* file = nullptr;
    std::wstring name(link.begin(), link.end());
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&shell))) &&
        SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(name.c_str(), STGM_READ))) {
        char target[MAX_PATH] = {}, args[1024] = {}, folder[MAX_PATH] = {}, icon[MAX_PATH] = {}, text[1024] = {};
        int index = 0;
        shell->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
        shell->GetArguments(args, sizeof args);
        shell->GetWorkingDirectory(folder, MAX_PATH);
        shell->GetIconLocation(icon, MAX_PATH, &index);
        shell->GetDescription(text, sizeof text);
        out = std::string(target) + "|" + args + "|" + folder + "|" + icon + "," + std::to_string(index) + "|" + text;
    }
    if (file) file->Release();
    if (shell) shell->Release();
    if (SUCCEEDED(com)) CoUninitialize();
    return out;
}
