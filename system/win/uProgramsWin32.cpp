// Program starts over the ANSI shell call.

#include "system/win/uPrograms.h"

#include <windows.h>

#include <shellapi.h>

#include <cstring>
#include <memory>

#include "system/io/uDllSearch.h"

namespace {

struct HandleClose {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};

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
    auto execute = Q7_SYSTEM_FUNCTION("shell32.dll", ShellExecuteExA);
    if (!execute || !execute(&info)) return false;
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
