#pragma once
// Profile (INI) strings over the Windows profile functions. Neither routine
// raises. Empty texts reach the OS as empty strings, never as null
// pointers, so the routines neither list nor delete keys and sections.

#include <string>

// The value of key in section of the INI file, at most 2047 bytes; the
// default when the file, section or key is missing. A file name without a
// directory means the Windows directory (the OS's own rule).
std::string ReadIniString(const std::string& file, const std::string& section, const std::string& key,
                          const std::string& defaultValue);

// Writes key = value into section of the INI file, creating the file and
// the section when missing. True when the OS reports success.
bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value);
