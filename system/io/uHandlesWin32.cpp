// The handle layer on Windows: the Win32 file API.

#include <windows.h>
#include <winternl.h>

#include "system/uSystem.h"

// ntdll's read, which the SDK's user-mode headers leave out.
extern "C" NTSTATUS NTAPI NtReadFile(HANDLE file, HANDLE event, PIO_APC_ROUTINE routine, PVOID context,
                                     PIO_STATUS_BLOCK io, PVOID buffer, ULONG length, PLARGE_INTEGER offset,
                                     PULONG key);

namespace {

HANDLE Win(THandle handle) { return reinterpret_cast<HANDLE>(handle); }

THandle Num(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? InvalidHandle : reinterpret_cast<THandle>(handle);
}

}  // namespace

THandle HandleOpen(const std::string& path, uint16_t mode) {
    static const DWORD kAccess[] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
    // Sharing "both" lets others rename the file too: the installer reads
    // its own archive from its own file, which an uninstaller moves aside
    // (ExecuteCopyWait) while it runs.
    static const DWORD kShare[] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE};
    unsigned access = mode & 3u;
    unsigned sharing = (mode & 0xF0u) >> 4;
    if (access == 3 || sharing > 4 || (mode & ~0xF3u) != 0) return InvalidHandle;
    return Num(CreateFileA(path.c_str(), kAccess[access], kShare[sharing], nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
}

THandle HandleCreate(const std::string& path) {
    return Num(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
}

THandle HandleCreateNew(const std::string& path) {
    return Num(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
}

namespace {

// True when the file open under file has the last name of path. Wine opens
// a Unix link as what it leads to even when asked for the link itself; the
// file's own name then tells. (A name Windows shortened to 8.3 does not
// match; give the long one.)
bool HasLastName(HANDLE file, const std::string& path) {
    char final[MAX_PATH];
    DWORD n = GetFinalPathNameByHandleA(file, final, MAX_PATH, 0);
    if (n == 0 || n >= MAX_PATH) return true;  // a path this long: the flag alone decides
    const char* own = final + n;
    while (own > final && own[-1] != '\\') --own;
    size_t at = path.find_last_of("\\/:");
    return lstrcmpiA(own, path.c_str() + (at == std::string::npos ? 0 : at + 1)) == 0;
}

}  // namespace

THandle HandleOpenRegular(const std::string& path) {
    // A link at the last name is opened itself, and then refused.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return InvalidHandle;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) || !HasLastName(h, path)) {
        CloseHandle(h);
        return InvalidHandle;
    }
    return Num(h);
}

int32_t HandleRead(THandle handle, void* buffer, int32_t count) {
    if (count <= 0) return 0;
    DWORD done = 0;
    if (!ReadFile(Win(handle), buffer, static_cast<DWORD>(count), &done, nullptr)) return -1;
    return static_cast<int32_t>(done);
}

int32_t HandleReadAt(THandle handle, int32_t position, void* buffer, int32_t count) {
    if (count <= 0 || position < 0) return 0;
    // NtReadFile rather than ReadFile with an OVERLAPPED: that one names
    // the OVERLAPPED as the context of a completion port the handle might
    // have, and Wine asks its server about the port after every read (one
    // request for each of the thousands of reads of an installation).
    LARGE_INTEGER at{};
    at.QuadPart = position;
    IO_STATUS_BLOCK io{};
    NTSTATUS status =
        NtReadFile(Win(handle), nullptr, nullptr, nullptr, &io, buffer, static_cast<ULONG>(count), &at, nullptr);
    if (status == static_cast<NTSTATUS>(0x103L)) {  // STATUS_PENDING: a handle opened for overlapped reads
        WaitForSingleObject(Win(handle), INFINITE);
        status = io.Status;
    }
    if (status >= 0) return static_cast<int32_t>(io.Information);
    if (status == static_cast<NTSTATUS>(0xC0000011L)) return 0;  // STATUS_END_OF_FILE
    SetLastError(RtlNtStatusToDosError(status));
    return -1;
}

int32_t HandleWrite(THandle handle, const void* buffer, int32_t count) {
    const char* bytes = static_cast<const char*>(buffer);
    int32_t total = 0;
    while (total < count) {
        DWORD done = 0;
        if (!WriteFile(Win(handle), bytes + total, static_cast<DWORD>(count - total), &done, nullptr))
            return total > 0 ? total : -1;
        if (done == 0) {  // nothing written and no reason given
            SetLastError(ERROR_DISK_FULL);
            return total;
        }
        total += static_cast<int32_t>(done);
    }
    return total;
}

// Positions are signed 32-bit: a seek that would land at 2^31 or beyond
// fails without moving, and a position already there (reads may carry it
// past) reads as -1.
int32_t HandleSeek(THandle handle, int32_t offset, uint16_t origin) {
    LARGE_INTEGER distance, position;
    distance.QuadPart = offset;
    if (origin == soFromEnd) {
        LARGE_INTEGER size;
        if (!GetFileSizeEx(Win(handle), &size)) return -1;
        distance.QuadPart += size.QuadPart;
        origin = soFromBeginning;
    }
    if (origin > soFromCurrent || distance.QuadPart > INT32_MAX) return -1;
    if (!SetFilePointerEx(Win(handle), distance, &position,
                          origin == soFromBeginning ? FILE_BEGIN : FILE_CURRENT))
        return -1;
    if (position.QuadPart > INT32_MAX) {
        distance.QuadPart = -static_cast<LONGLONG>(offset);
        SetFilePointerEx(Win(handle), distance, nullptr, FILE_CURRENT);
        return -1;
    }
    return static_cast<int32_t>(position.QuadPart);
}

int HandleSetEnd(THandle handle) { return SetEndOfFile(Win(handle)) ? 1 : 0; }

void HandleClose(THandle handle) { CloseHandle(Win(handle)); }

uint32_t LastOsError() { return GetLastError(); }

std::string OsErrorText(uint32_t code) {
    char text[256] = {};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                             sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == '.')) --n;
    return n > 0 ? std::string(text, n) : "error " + IntegerText(static_cast<int32_t>(code));
}
