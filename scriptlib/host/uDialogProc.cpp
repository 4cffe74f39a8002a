// The dialog procedure of every wizard page: the page's messages become
// script events of the one running host.

#include "scriptlib/host/uPages.h"
#include "scriptlib/uPatcherScript.h"

namespace {

constexpr int kInstallerIcon = 1;
// The page moved to a monitor of another scale (WM_DPICHANGED); Windows
// lays it out anew once this procedure has answered, so the page's own
// pictures are fitted after that, on a message of its own.
constexpr UINT kScaleChanged = 0x02E0;
constexpr UINT kFitToScale = WM_APP + 1;

// The system colour index that COLORDLG names: an integer as it is, a
// string by the integer text rule; none for a string that breaks the rule.
bool ColourIndex(const TValue& value, int32_t& index) {
    if (value.Kind == vkInteger) {
        index = value.Int;
        return true;
    }
    return IntegerFromText(value.Str, index);
}

// The brush for a page's and its static controls' background, or 0 for
// the platform's own colours.
INT_PTR ColourAnswer(TPatcherMemory& memory, HDC dc) {
    int32_t found = memory.FindVariable("COLORDLG");
    int32_t index = 0;
    if (found < 0 || !ColourIndex(memory.VariableAt(found), index)) return 0;
    HBRUSH brush = GetSysColorBrush(index);
    if (!brush) return 0;
    SetBkColor(dc, GetSysColor(index));
    return reinterpret_cast<INT_PTR>(brush);
}

INT_PTR Dispatch(TPatcherScript& host, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    TPatcherMemory& memory = *host.PatcherMemory();
    switch (message) {
        case WM_INITDIALOG:
            SetClassLongPtrA(window, GCLP_HICON,
                             reinterpret_cast<LONG_PTR>(
                                 LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kInstallerIcon))));
            PageCreated(window);
            memory.PushDialog(memory.CurrentDialog, window);
            host.RunEvent(evInitDialog, 0, static_cast<int32_t>(lParam));
            PageFilled(window);
            PageEventDone(memory, window);
            return 0;
        case WM_COMMAND:
            host.RunEvent(evCommand, LOWORD(wParam), HIWORD(wParam));
            PageEventDone(memory, window);
            return 0;
        case WM_CLOSE:
            host.RunEvent(evClose, 0, 0);
            return 0;
        case WM_DESTROY:
            PageDestroyed(window);
            memory.PopDialog(memory.CurrentDialog);
            host.RunEvent(evDestroy, 0, 0);
            return 0;
        case kScaleChanged:
            PostMessageA(window, kFitToScale, 0, 0);
            return 0;
        case kFitToScale:
            PageRescaled(window);
            return 0;
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
            return ColourAnswer(memory, reinterpret_cast<HDC>(wParam));
        default:
            return 0;
    }
}

}  // namespace

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!ActiveScript) return 0;
    try {
        return Dispatch(*ActiveScript, window, message, wParam, lParam);
    } catch (...) {
        return 0;  // only PushDialog can raise (out of memory); the page goes on
    }
}
