#include "tools/q7pack/common/Shipped.h"

#include <filesystem>

#include "tools/q7pack/common/Platform.h"

namespace fs = std::filesystem;

std::string ShippedFolder() {
    std::string own = OwnProgramPath();
    return own.empty() ? "" : (fs::path(own).parent_path().parent_path() / "lib" / "q7patcher").string();
}

std::string ShippedFile(const std::string& name) {
    std::string own = OwnProgramPath();
    if (own.empty()) return "";
    std::error_code error;
    for (const fs::path& folder : {fs::path(ShippedFolder()), fs::path(own).parent_path()})
        if (fs::is_regular_file(folder / name, error)) return (folder / name).string();
    return "";
}

std::string StubName(const std::string& arch) {
    return arch == "i686" ? "q7patcher.exe" : arch == "x86_64" ? "q7patcher-x86_64.exe" : "";
}
