#pragma once
// A .lnk file read back through the shell's IShellLinkA, as the Start menu
// reads it: "target|arguments|folder|icon,index|description".

#include <objbase.h>
#include <shlobj.h>
#include <windows.h>

#include <string>

inline std::string ReadShortcut(const std::string& link) {
    CoInitialize(nullptr);
    IShellLinkA* shell = nullptr;
    IPersistFile* file = nullptr;
    char target[MAX_PATH] = {}, args[MAX_PATH] = {}, folder[MAX_PATH] = {}, icon[MAX_PATH] = {},
         text[MAX_PATH] = {};
    int index = 0;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&shell))) &&
        SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(std::wstring(link.begin(), link.end()).c_str(), STGM_READ))) {
        shell->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH), shell->GetArguments(args, MAX_PATH);
        shell->GetWorkingDirectory(folder, MAX_PATH), shell->GetDescription(text, MAX_PATH);
        shell->GetIconLocation(icon, MAX_PATH, &index);
    }
    if (file) file->Release();
    if (shell) shell->Release();
    return std::string(target) + "|" + args + "|" + folder + "|" + icon + "," + std::to_string(index) + "|" +
           text;
}
