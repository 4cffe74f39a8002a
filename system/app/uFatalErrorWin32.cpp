#include "system/app/uFatalError.h"

#include "system/app/uInstallLog.h"
#include "system/uSystem.h"

void ShowFatalError(HWND owner, const std::string& message, const std::string& detail) {
    LogLine("fatal error: " + message + detail);
    MessageBoxA(owner, (message + detail).c_str(), ResourceText(kCaptionText).c_str(), MB_ICONERROR);
}
