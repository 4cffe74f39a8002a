// The private copy of the running program: the folder and the file are
// made with the native NtCreateFile, which creates and opens in one step
// and takes a folder handle to create the file in. Paths are UTF-16 in
// fixed buffers: the installer is kept small.

#include "system/win/uPrivateCopy.h"

#include <windows.h>
#include <sddl.h>
#include <winternl.h>

#include <memory>
#include <vector>

#include "system/fs/uSafeFolder.h"
#include "system/fs/uStoredName.h"

namespace {

struct HandleClose {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using THeld = std::unique_ptr<void, HandleClose>;

// Room for the temporary folder (at most MAX_PATH), the copy's folder (16
// digits and a backslash) and its name (at most 255), and a NUL.
constexpr int kPathRoom = 2 * MAX_PATH + 16;

// Copies text to to; the end of what was written (its closing NUL).
wchar_t* Put(wchar_t* to, const wchar_t* text) {
    while ((*to = *text++) != L'\0') ++to;
    return to;
}

// Creates (FILE_CREATE: never opens what is there) or opens name below
// root, never through a link; null on failure.
HANDLE Create(HANDLE root, const wchar_t* name, ACCESS_MASK access, ULONG share, ULONG disposition, ULONG options,
              PSECURITY_DESCRIPTOR security = nullptr) {
    USHORT bytes = 0;
    while (name[bytes / 2]) bytes += 2;
    UNICODE_STRING text{bytes, bytes, const_cast<wchar_t*>(name)};
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, root, security);
    IO_STATUS_BLOCK io;
    HANDLE handle = nullptr;
    NTSTATUS status = NtCreateFile(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
                                   share, disposition,
                                   options | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT, nullptr, 0);
    return status >= 0 ? handle : nullptr;
}

// A new folder in the temporary folder named by sixteen random hex digits
// (tried again on the rare clash), held without delete sharing; its path,
// with a trailing backslash, in path. Only the system and the owner of
// this process's new files (OW) may open it or what it holds.
HANDLE CreatePrivateFolder(wchar_t (&path)[kPathRoom]) {
    PSECURITY_DESCRIPTOR security = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;OW)",
                                                              SDDL_REVISION_1, &security, nullptr))
        return nullptr;
    wchar_t native[kPathRoom] = L"\\??\\";
    DWORD n = GetTempPathW(MAX_PATH + 1, native + 4);
    HANDLE folder = nullptr;
    for (int attempt = 0; n > 0 && n <= MAX_PATH && !folder && attempt < 8; ++attempt) {
        unsigned char random[8];
        FillRandom(random, sizeof random);
        wchar_t* at = native + 4 + n;
        for (unsigned char b : random) {
            *at++ = "0123456789abcdef"[b >> 4];
            *at++ = "0123456789abcdef"[b & 15];
        }
        *at = L'\0';
        folder = Create(nullptr, native, FILE_LIST_DIRECTORY | FILE_TRAVERSE | DELETE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE, FILE_DIRECTORY_FILE, security);
    }
    LocalFree(security);
    Put(Put(path, native + 4), L"\\");
    return folder;
}

// Marks what handle holds (opened with DELETE) to go when it is closed.
void Discard(HANDLE handle) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition);
}

// Starts program with parameters in folder; its process in process.
bool Start(const wchar_t* folder, const wchar_t* program, const std::string& parameters, THeld& process) {
    int extra = static_cast<int>(parameters.size());
    std::vector<wchar_t> line(kPathRoom + parameters.size() + 4);
    wchar_t* end = Put(Put(Put(line.data(), L"\""), program), L"\" ");
    MultiByteToWideChar(CP_ACP, 0, parameters.data(), extra, end, extra);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(program, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder, &startup, &started))
        return false;
    CloseHandle(started.hThread);
    process.reset(started.hProcess);
    return true;
}

// The running program's own file goes into the copy's folder as aside (a
// rename, which Windows allows for a running program on the same drive),
// so that the copy can remove the folder it came from while this one
// waits; gone at the next restart where Windows grants that.
void MoveAside(const wchar_t* self, const wchar_t* aside) {
    if (MoveFileExW(self, aside, 0)) MoveFileExW(aside, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

}  // namespace

bool StartPrivateCopy(const std::string& name, const std::string& parameters, int32_t* status) {
    wchar_t self[kPathRoom], file[256] = {}, path[kPathRoom], program[kPathRoom];
    // A name longer than 255 characters fails the conversion.
    if (StoredNameFault(name) || name.find_first_of("\\/") != std::string::npos ||
        !MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), file, 255))
        return false;
    DWORD n = GetModuleFileNameW(nullptr, self, kPathRoom);
    THeld folder(n > 0 && n < kPathRoom ? CreatePrivateFolder(path) : nullptr);
    if (!folder) return false;
    Put(Put(program, path), file);
    // Copied new into the held folder (nothing of that name can be there;
    // a copy that fails removes what it wrote), then held against writing,
    // renaming and deleting until the copy runs.
    THeld reader(CopyFileW(self, program, TRUE) ? Create(folder.get(), file, GENERIC_READ | DELETE, FILE_SHARE_READ,
                                                          FILE_OPEN, FILE_NON_DIRECTORY_FILE)
                                                 : nullptr);
    wchar_t aside[kPathRoom];
    Put(Put(aside, path), L"original.exe");
    if (reader && status) MoveAside(self, aside);
    THeld process;
    if (reader && Start(path, program, parameters, process)) {
        if (!status) return true;
        reader.reset();
        folder.reset();
        DWORD code = 0;
        bool ended = WaitForSingleObject(process.get(), INFINITE) == WAIT_OBJECT_0 &&
                     GetExitCodeProcess(process.get(), &code);
        *status = ended ? static_cast<int32_t>(code) : -1;
        // A copy that did not finish leaves the product where it was, and
        // its uninstaller goes back, to be run again.
        if (*status != 0) MoveFileExW(aside, self, 0);
        return ended;
    }
    if (status) MoveFileExW(aside, self, 0);
    if (reader) Discard(reader.get());
    reader.reset();
    Discard(folder.get());  // empty now: its file went with the handles
    return false;
}
