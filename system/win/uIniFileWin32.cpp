// Profile strings over the ANSI Win32 profile calls.

#include <windows.h>

#include "system/win/uIniFile.h"

std::string ReadIniString(const std::string& file, const std::string& section, const std::string& key,
                          const std::string& defaultValue) {
    char buffer[2048];
    DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(), buffer,
                                       sizeof buffer, file.c_str());
    return std::string(buffer, n < sizeof buffer ? n : sizeof buffer - 1);
}

bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value) {
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) != 0;
}
