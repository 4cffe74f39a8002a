// The folder browser over the ANSI shell calls.

#include "system/win/uFolderBrowser.h"

#include <shlobj.h>

#include <cstring>
#include <memory>

namespace {

// Frees a shell item list with the shell's allocator.
struct ItemListFree {
    void operator()(ITEMIDLIST* list) const { CoTaskMemFree(list); }
};

}  // namespace

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
