// Profile strings, the folder browser and program starts over the ANSI
// Win32 and shell calls.

#include "system/uSystemShell.h"

#include <shlobj.h>
#include <shellapi.h>

#include <cstring>
#include <memory>

namespace {

// Frees a shell item list with the shell's allocator.
struct ItemListFree {
    void operator()(ITEMIDLIST* list) const { CoTaskMemFree(list); }
};

struct HandleClose {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};

}  // namespace

std::string ReadIniString(const std::string& file, const std::string& section, const std::string& key,
                          const std::string& defaultValue) {
    char buffer[2048];
    DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(), buffer,
                                       sizeof buffer, file.c_str());
    return std::string(buffer, n < sizeof buffer ? n : sizeof buffer - 1);
}

bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value) {
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) != 0;
}

bool BrowseForDirectory(HWND owner, const std::string& title, std::string& path) {
    path.clear();
    BROWSEINFOA info;
    std::memset(&info, 0, sizeof info);
    info.hwndOwner = owner;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    std::unique_ptr<ITEMIDLIST, ItemListFree> chosen(SHBrowseForFolderA(&info));
    if (!chosen) return false;
    char buffer[MAX_PATH + 1] = {};
    SHGetPathFromIDListA(chosen.get(), buffer);
    path.assign(buffer, strnlen(buffer, sizeof buffer));
    return true;
}

namespace {

// Starts file through the shell with verb (null: the default one) in the
// current directory, which an elevated program would not get otherwise;
// true with the process (or null, when the shell gives none) in process.
bool ShellStart(const std::string& file, const std::string& parameters, bool hidden, bool wait,
                std::unique_ptr<void, HandleClose>& process, const char* verb = nullptr) {
    SHELLEXECUTEINFOA info;
    std::memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI | (wait ? SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_DDEWAIT : 0);
    info.lpVerb = verb;
    info.lpFile = file.c_str();
    info.lpParameters = parameters.c_str();
    char here[MAX_PATH];
    DWORD n = GetCurrentDirectoryA(sizeof here, here);
    info.lpDirectory = n > 0 && n < sizeof here ? here : nullptr;
    info.nShow = hidden ? SW_HIDE : SW_SHOWNORMAL;
    if (!ShellExecuteExA(&info)) return false;
    process.reset(info.hProcess);
    return true;
}

}  // namespace

bool StartProgram(const std::string& file, const std::string& parameters, bool hidden, bool wait) {
    std::unique_ptr<void, HandleClose> process;
    if (!ShellStart(file, parameters, hidden, wait, process)) return false;
    // No process comes back when the file went to an application that was
    // already running; then there is nothing to wait for.
    if (wait && process) WaitForSingleObject(process.get(), INFINITE);
    return true;
}

int32_t RunProgramToEnd(const std::string& file, const std::string& parameters, bool hidden, const char* verb) {
    std::unique_ptr<void, HandleClose> process;
    if (!ShellStart(file, parameters, hidden, true, process, verb) || !process) return -1;
    DWORD code = 0;
    if (WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0 || !GetExitCodeProcess(process.get(), &code))
        return -1;
    return static_cast<int32_t>(code);
}

bool DeleteAtRestart(const std::string& path) {
    return !path.empty() && MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
}
