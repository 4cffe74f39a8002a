#include "system/app/uBoxCaption.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

namespace {

// The width a window needs for caption in the caption font beside the
// close button, as the system's metrics say.
int Needed(HWND box, const char* caption) {
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    HFONT font = CreateFontIndirectA(&metrics.lfCaptionFont);
    HDC dc = GetDC(box);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE text{};
    GetTextExtentPoint32A(dc, caption, lstrlenA(caption), &text);
    SelectObject(dc, old);
    ReleaseDC(box, dc);
    DeleteObject(font);
    return text.cx + GetSystemMetrics(SM_CXSIZE);
}

// A short question under a product's long title: the box is widened to
// show the title whole, its button kept in the middle.
TEST(BoxCaption, ABoxIsWideEnoughForItsCaption) {
    const char caption[] = "Kartograf 2.1 Installation und Einrichtung fuer alle Benutzer";
    int width = 0, needed = 0, middle = 0, button = 0;
    std::thread answer([&] {
        HWND box = nullptr;
        // Visible once laid out: the window exists before its contents do.
        for (int i = 0; i < 500 && !((box = FindWindowA(nullptr, caption)) && IsWindowVisible(box)); ++i) Sleep(10);
        RECT outer{}, ok{};
        GetWindowRect(box, &outer);
        GetWindowRect(GetDlgItem(box, IDOK), &ok);
        width = outer.right - outer.left, needed = Needed(box, caption);
        middle = (outer.left + outer.right) / 2, button = (ok.left + ok.right) / 2;
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    FittedMessageBox(nullptr, "Go?", caption, MB_OK);
    answer.join();
    EXPECT_GE(width, needed);
    EXPECT_NEAR(button, middle, 4);  // as Windows centres them, to a few pixels
}

}  // namespace
