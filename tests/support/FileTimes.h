#pragma once
// Sets a file's last-write time to a local calendar time, for the tests of
// the DOS-date routines.

#include <string>

#ifdef _WIN32
#include <windows.h>

inline bool SetLocalWriteTime(const std::string& path, int year, int month, int day, int hour, int minute,
                              int second) {
    SYSTEMTIME calendar = {};
    calendar.wYear = static_cast<WORD>(year);
    calendar.wMonth = static_cast<WORD>(month);
    calendar.wDay = static_cast<WORD>(day);
    calendar.wHour = static_cast<WORD>(hour);
    calendar.wMinute = static_cast<WORD>(minute);
    calendar.wSecond = static_cast<WORD>(second);
    FILETIME local, utc;
    if (!SystemTimeToFileTime(&calendar, &local) || !LocalFileTimeToFileTime(&local, &utc)) return false;
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool done = SetFileTime(file, nullptr, nullptr, &utc) != 0;
    CloseHandle(file);
    return done;
}
#else
#include <sys/time.h>

#include <ctime>

inline bool SetLocalWriteTime(const std::string& path, int year, int month, int day, int hour, int minute,
                              int second) {
    struct tm local = {};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    struct timeval times[2] = {};
    times[0].tv_sec = times[1].tv_sec = std::mktime(&local);
    return ::utimes(path.c_str(), times) == 0;
}
#endif
