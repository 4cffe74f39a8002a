#pragma once
// The installation log that /LOG=file asks for: one line per library call
// that changes the machine or starts a program, per fatal error and per
// script error, each written to the file at once, so that a crash leaves
// the log complete up to its last call. docs/packaging.md describes the
// format; nothing is written while no log is open.

#include <string>
#include <string_view>

#include "system/uSystem.h"

// Opens path for appending (creating it when missing; other programs may
// read it meanwhile) and makes it the log for as long as it lives. Only a
// regular file: a link at path (followed by nobody), a folder, a device
// (NUL, CON) or a FIFO is not opened (HandleOpenRegular).
class TInstallLog {
public:
    explicit TInstallLog(const std::string& path);
    ~TInstallLog();
    TInstallLog(const TInstallLog&) = delete;
    TInstallLog& operator=(const TInstallLog&) = delete;

    bool Opened() const { return handle_ != InvalidHandle; }

private:
    THandle handle_ = InvalidHandle;
    TInstallLog* outer_;
    friend void LogLine(std::string_view text);
};

// Appends "YYYY-MM-DD hh:mm:ss text" (local time) to the open log; bytes
// below 0x20 in text are written as <XX>, so every entry stays one line.
void LogLine(std::string_view text);
bool LogOpened();
