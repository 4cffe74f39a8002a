#include "system/win/uDeleteAtRestart.h"

#include <windows.h>

bool DeleteAtRestart(const std::string& path) {
    return !path.empty() && MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
}
