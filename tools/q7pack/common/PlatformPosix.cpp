#include <sys/stat.h>
#include <unistd.h>

#include "tools/q7pack/common/Platform.h"

bool StderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }

uint32_t LocalCodePage() { return 65001; }

bool LocalNamesAreUtf8() { return true; }

std::string LocalToTerminal(const std::string& text) { return text; }

bool IsLink(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool IsDevice(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

const char* PathSeparators() { return "/"; }

bool WouldReplace(const std::string& output, const std::string& input) {
    struct stat out, in;
    return lstat(output.c_str(), &out) == 0 && stat(input.c_str(), &in) == 0 && out.st_dev == in.st_dev &&
           out.st_ino == in.st_ino;
}

std::string OwnProgramPath() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : "";
}
