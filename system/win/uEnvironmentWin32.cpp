// The machine's folders, environment and free space over the ANSI Win32
// and shell calls.

#include <shlobj.h>
#include <windows.h>

#include <climits>
#include <vector>

#include "system/fs/uFiles.h"
#include "system/io/uDllSearch.h"
#include "system/win/uEnvironment.h"

namespace {

// Calls get(buffer, size), which answers the length it wrote or, when the
// buffer was too small, a larger size it needs; grows the buffer until the
// text fits. get answers 0 for a failure, which gives the empty text.
template <typename Get>
std::string GrowingText(Get get) {
    std::vector<char> buffer(MAX_PATH + 1);
    for (int attempts = 0; attempts < 8; ++attempts) {
        DWORD n = get(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return std::string(buffer.data(), n);
        buffer.resize(std::max<size_t>(n + 1, 2 * buffer.size()));
    }
    return {};
}

}  // namespace

std::string SpecialFolderPath(int32_t csidl) {
    if (csidl == kProgramFiles64) {
        std::string native = EnvironmentValue("ProgramW6432");
        if (!native.empty()) return native;
        csidl = CSIDL_PROGRAM_FILES;
    }
    if (csidl < 0 || csidl > 0xFF) return {};
    char buffer[MAX_PATH + 1] = {};
    // Not verified: a folder Windows knows but has not made yet (a new
    // user's Startup) still has its path.
    auto folderPath = Q7_SYSTEM_FUNCTION("shell32.dll", SHGetFolderPathA);
    if (!folderPath ||
        folderPath(nullptr, csidl | CSIDL_FLAG_DONT_VERIFY, nullptr, SHGFP_TYPE_CURRENT, buffer) != S_OK)
        return {};
    std::string path(buffer, strnlen(buffer, sizeof buffer));
    if (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

std::string EnvironmentValue(const std::string& name) {
    if (name.empty()) return {};
    return GrowingText(
        [&](char* buffer, DWORD size) { return GetEnvironmentVariableA(name.c_str(), buffer, size); });
}

std::string ExpandEnvironment(const std::string& text) {
    if (text.empty()) return {};
    // The count Windows answers includes the closing zero.
    return GrowingText([&](char* buffer, DWORD size) {
        DWORD n = ExpandEnvironmentStringsA(text.c_str(), buffer, size);
        return n == 0 ? 0 : n <= size ? n - 1 : n;
    });
}

std::string OwnProgramPath() {
    // A buffer that is too small is filled to its end: then grow it.
    return GrowingText([](char* buffer, DWORD size) {
        DWORD n = GetModuleFileNameA(nullptr, buffer, size);
        return n >= size ? size : n;
    });
}

bool FreeDiskBytes(const std::string& path, uint64_t& bytes) {
    // C:\Missing goes on with C:\ , never with C: (the current folder of
    // drive C); a root that fails ends the search.
    std::string folder = path, name;
    ULARGE_INTEGER free{};
    while (folder.empty() || !GetDiskFreeSpaceExA(folder.c_str(), &free, nullptr, nullptr))
        if (folder.empty() || !SplitLastName(folder, folder, name)) return false;
    bytes = free.QuadPart;
    return true;
}

int32_t FreeDiskKiB(const std::string& path) {
    uint64_t bytes = 0;
    if (!FreeDiskBytes(path, bytes)) return -1;
    return bytes / 1024 > INT32_MAX ? INT32_MAX : static_cast<int32_t>(bytes / 1024);
}

bool BroadcastEnvironmentChange() {
    DWORD_PTR answer = 0;
    return SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>("Environment"),
                               SMTO_ABORTIFHUNG, 5000, &answer) != 0;
}

void NotifyAssociationChange() {
    if (auto notify = Q7_SYSTEM_FUNCTION("shell32.dll", SHChangeNotify))
        notify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

bool RunsAsAdministrator() {
    auto isAdmin = Q7_SYSTEM_FUNCTION("shell32.dll", IsUserAnAdmin);
    return isAdmin && isAdmin() != FALSE;
}
