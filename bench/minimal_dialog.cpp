// The baseline of the start-up benchmark: the least a program can do to put
// one dialog from its resources on the screen.

#include <windows.h>

namespace {

INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) EndDialog(window, 0);
    return message == WM_INITDIALOG;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    DialogBoxParamA(instance, MAKEINTRESOURCEA(101), nullptr, Proc, 0);
    return 0;
}
