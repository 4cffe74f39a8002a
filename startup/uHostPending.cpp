// Until the script host is built, the run ends once the control script has
// been extracted, and no page is ever open to own the fatal-error box.

#include <windows.h>

#include "startup/uStartup.h"
#include "system/uSystem.h"

void ReportFatalError(const std::string& message, const std::string& detail) {
    MessageBoxA(nullptr, (message + detail).c_str(), ResourceText(65519).c_str(), MB_ICONERROR);
}

void RunControlScript(TZLibUnpacker&, const std::string&) {}
