// The folder browser over the ANSI shell calls.

#include "system/win/uFolderBrowser.h"

#include <shlobj.h>

#include <cstring>
#include <memory>

#include "system/io/uDllSearch.h"

namespace {

// Frees a shell item list with the shell's allocator (COM's, which is
// loaded by the time a list exists).
struct ItemListFree {
    void operator()(ITEMIDLIST* list) const {
        if (auto free = Q7_SYSTEM_FUNCTION("ole32.dll", CoTaskMemFree)) free(list);
    }
};

}  // namespace

bool BrowseForDirectory(HWND owner, const std::string& title, std::string& path) {
    path.clear();
    BROWSEINFOA info;
    std::memset(&info, 0, sizeof info);
    info.hwndOwner = owner;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    auto browse = Q7_SYSTEM_FUNCTION("shell32.dll", SHBrowseForFolderA);
    auto pathOf = Q7_SYSTEM_FUNCTION("shell32.dll", SHGetPathFromIDListA);
    if (!browse || !pathOf) return false;
    std::unique_ptr<ITEMIDLIST, ItemListFree> chosen(browse(&info));
    if (!chosen) return false;
    char buffer[MAX_PATH + 1] = {};
    pathOf(chosen.get(), buffer);
    path.assign(buffer, strnlen(buffer, sizeof buffer));
    return true;
}
