#include <io.h>
#include <windows.h>

#include "tools/q7pack/Platform.h"

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

bool LocalNamesAreUtf8() { return false; }

bool IsLink(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

const char* PathSeparators() { return "\\/:"; }
