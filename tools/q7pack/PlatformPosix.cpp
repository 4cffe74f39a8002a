#include <sys/stat.h>
#include <unistd.h>

#include "tools/q7pack/Platform.h"

bool StderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }

uint32_t LocalCodePage() { return 65001; }

bool LocalNamesAreUtf8() { return true; }

std::string LocalToTerminal(const std::string& text) { return text; }

bool IsLink(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

const char* PathSeparators() { return "/"; }
