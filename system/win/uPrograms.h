#pragma once
// Starting programs through the shell, with or without waiting for their
// end. Neither routine raises or shows a message of its own.

#include <cstdint>
#include <string>

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
