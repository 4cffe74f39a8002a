#include "system/app/uBoxCaption.h"

#include <windows.h>

namespace {

constexpr int kBoxText = 0xFFFF;  // the text control of every message box

// The window width the caption of window needs: its text in the caption
// font, the close button, the frame and a margin on either side.
int CaptionWidth(HWND window) {
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    char caption[512] = {};
    if (!GetWindowTextA(window, caption, sizeof caption) ||
        !SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        return 0;
    HFONT font = CreateFontIndirectA(&metrics.lfCaptionFont);
    HDC dc = GetDC(window);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE text{};
    GetTextExtentPoint32A(dc, caption, lstrlenA(caption), &text);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    DeleteObject(font);
    RECT frame{0, 0, 0, 0};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrA(window, GWL_EXSTYLE)));
    return text.cx + 2 * metrics.iCaptionWidth + (frame.right - frame.left) + 2 * metrics.iBorderWidth + 8;
}

// Widens a message box by what its caption lacks, half to either side,
// and moves its controls by half of it to stay in the middle.
void Widen(HWND box) {
    RECT outer{};
    GetWindowRect(box, &outer);
    int missing = CaptionWidth(box) - (outer.right - outer.left);
    if (missing <= 0) return;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT r{};
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&r), 2);
        SetWindowPos(child, nullptr, r.left + missing / 2, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    SetWindowPos(box, nullptr, outer.left - missing / 2, outer.top, outer.right - outer.left + missing,
                 outer.bottom - outer.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

// A box has laid itself out once its WM_INITDIALOG is answered.
LRESULT CALLBACK Watch(int code, WPARAM wParam, LPARAM lParam) {
    const auto* sent = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == WM_INITDIALOG && GetDlgItem(sent->hwnd, kBoxText)) Widen(sent->hwnd);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

int FittedMessageBox(HWND owner, const char* text, const char* caption, UINT style) {
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROCRET, Watch, nullptr, GetCurrentThreadId());
    int answer = MessageBoxA(owner, text, caption, style);
    if (hook) UnhookWindowsHookEx(hook);
    return answer;
}
