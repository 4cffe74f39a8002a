#include <unistd.h>

#include <cstdio>

#include "tools/q7pack/Platform.h"

bool StderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }

bool MoveOverFile(const std::string& source, const std::string& target) {
    return std::rename(source.c_str(), target.c_str()) == 0;
}

unsigned long ProcessId() { return static_cast<unsigned long>(getpid()); }
