#include "system/app/uFatalError.h"

#include <iterator>

#include "system/app/uBoxCaption.h"
#include "system/app/uInstallLog.h"
#include "system/uSystem.h"

namespace {

bool Silent = false;

}  // namespace

void SetSilentRun(bool silent) {
    Silent = silent;
    if (silent) SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

bool IsSilentRun() { return Silent; }

int ShowBox(HWND owner, const std::string& text, const std::string& caption, UINT style) {
    if (!Silent) return FittedMessageBox(owner, text.c_str(), caption.c_str(), style);
    // By the buttons: OK, OK/Cancel, Abort/Retry/Ignore, Yes/No/Cancel,
    // Yes/No, Retry/Cancel, Cancel/Try again/Continue.
    static const int kDeclined[] = {IDOK, IDCANCEL, IDABORT, IDCANCEL, IDNO, IDCANCEL, IDCANCEL};
    UINT buttons = style & MB_TYPEMASK;
    return buttons < std::size(kDeclined) ? kDeclined[buttons] : 0;
}

void ShowFatalError(HWND owner, const std::string& message, const std::string& detail, const std::string& cause) {
    LogLine("fatal error: " + message + detail + (cause.empty() ? "" : " - " + cause));
    ShowBox(owner, message + detail, ResourceText(kCaptionText), MB_ICONERROR);
}
