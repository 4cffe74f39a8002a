#pragma once
// Profile (INI) strings, the folder browser, starting programs through the
// shell and removals at restart: the Windows-only routines of the installer
// library. None of
// them raises or shows a message of its own.
//
// Empty texts reach the OS as empty strings, never as null pointers, so the
// profile routines neither list nor delete keys and sections.

#include <windows.h>

#include <cstdint>
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

// Shows the shell's modal folder browser (owner may be null), with title as
// its caption text, rooted at the desktop and offering only file-system
// folders. True with the chosen path in path; false with path empty when
// the user cancels.
bool BrowseForDirectory(HWND owner, const std::string& title, std::string& path);

// Starts file through the shell with its default verb and parameters, in
// the current directory, shown normally or hidden, without the shell's
// error dialogs. With wait, returns only after the started process has
// ended (no time-out). True when the shell started the file.
bool StartProgram(const std::string& file, const std::string& parameters, bool hidden, bool wait);

// Starts file as StartProgram does and waits until the process has ended
// (no time-out). Its exit code; -1 when nothing was started, and when the
// shell handed the file to a program that gives no process to wait on (a
// document opened by an application that was already running). The verb
// "runas" asks Windows for administrator rights first (the consent
// prompt); -1 when the user declines.
int32_t RunProgramToEnd(const std::string& file, const std::string& parameters, bool hidden,
                        const char* verb = nullptr);

// Asks Windows to delete the file or empty folder at its next restart.
// True when it took the request, which needs administrator rights.
bool DeleteAtRestart(const std::string& path);
