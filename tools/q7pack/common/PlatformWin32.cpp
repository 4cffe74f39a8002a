#include <io.h>
#include <windows.h>

#include "system/fs/uFiles.h"
#include "tools/q7pack/common/Platform.h"

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

uint32_t LocalCodePage() { return GetACP(); }

bool LocalNamesAreUtf8() { return GetACP() == CP_UTF8; }

std::string LocalToTerminal(const std::string& text) {
    UINT console = GetConsoleOutputCP();
    if (text.empty() || console == 0 || console == GetACP() || !_isatty(_fileno(stdout))) return text;
    int size = static_cast<int>(text.size());
    std::wstring wide(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0)),
                      L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), static_cast<int>(wide.size()));
    int wideSize = static_cast<int>(wide.size());
    std::string out(static_cast<size_t>(
                        WideCharToMultiByte(console, 0, wide.data(), wideSize, nullptr, 0, nullptr, nullptr)),
                    '\0');
    WideCharToMultiByte(console, 0, wide.data(), wideSize, out.data(), static_cast<int>(out.size()), nullptr,
                        nullptr);
    return out;
}

bool IsLink(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool IsDevice(const std::string& path) {
    TFileTarget target;
    return ResolveFileTarget(path, target) && target.IsDevice;
}

const char* PathSeparators() { return "\\/:"; }

namespace {

// The volume and file id of what path names, or false.
bool FileId(const std::string& path, DWORD flags, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE h = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    return ok;
}

}  // namespace

bool WouldReplace(const std::string& output, const std::string& input) {
    BY_HANDLE_FILE_INFORMATION out, in;
    return FileId(output, FILE_FLAG_OPEN_REPARSE_POINT, out) && FileId(input, 0, in) &&
           out.dwVolumeSerialNumber == in.dwVolumeSerialNumber && out.nFileIndexHigh == in.nFileIndexHigh &&
           out.nFileIndexLow == in.nFileIndexLow;
}

std::string OwnProgramPath() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(path, n) : "";
}
