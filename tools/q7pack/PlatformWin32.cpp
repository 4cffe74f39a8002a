#include <io.h>
#include <windows.h>

#include "tools/q7pack/Platform.h"

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

const char* PathSeparators() { return "\\/:"; }
