#include <io.h>
#include <windows.h>

#include "tools/q7pack/Platform.h"

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

bool MoveOverFile(const std::string& source, const std::string& target) {
    return MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

unsigned long ProcessId() { return GetCurrentProcessId(); }
