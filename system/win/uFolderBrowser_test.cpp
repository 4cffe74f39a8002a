#include "system/win/uFolderBrowser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// The folder browser, answered from a second thread. Profile strings and
// program starts are covered through the scripts that use them, in
// scriptlib/host/uPatcherLibrary_test.cpp.

struct FoundDialog {
    HWND window = nullptr;
    std::vector<std::string> texts;  // the texts of its child windows
};

BOOL CALLBACK CollectText(HWND child, LPARAM found) {
    char text[512];
    int n = GetWindowTextA(child, text, sizeof text);
    reinterpret_cast<FoundDialog*>(found)->texts.emplace_back(text, n > 0 ? n : 0);
    return TRUE;
}

BOOL CALLBACK FindOwnDialog(HWND window, LPARAM found) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char cls[64];
    GetClassNameA(window, cls, sizeof cls);
    if (process != GetCurrentProcessId() || std::string(cls) != "#32770" || !IsWindowVisible(window))
        return TRUE;
    reinterpret_cast<FoundDialog*>(found)->window = window;
    return FALSE;
}

// Waits for this process's dialog, records its texts and presses button.
FoundDialog AnswerDialog(int button) {
    FoundDialog found;
    auto end = std::chrono::steady_clock::now() + 20s;
    while (!found.window && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(100ms);
        EnumWindows(FindOwnDialog, reinterpret_cast<LPARAM>(&found));
    }
    if (!found.window) return found;
    std::this_thread::sleep_for(300ms);  // let the dialog settle
    EnumChildWindows(found.window, CollectText, reinterpret_cast<LPARAM>(&found));
    PostMessageA(found.window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    return found;
}

// Cancel gives false and an empty path, OK the folder shown.
TEST(BrowseForDirectory, ShowsTheTitleAndGivesTheChosenFolderOrNothing) {
    for (int button : {IDCANCEL, IDOK}) {
        auto answer = std::async(std::launch::async, AnswerDialog, button);
        std::string path = "left over";
        bool chosen = BrowseForDirectory(nullptr, "Choose the target folder", path);
        FoundDialog dialog = answer.get();
        ASSERT_NE(dialog.window, nullptr) << "no folder browser appeared";
        EXPECT_EQ(std::count(dialog.texts.begin(), dialog.texts.end(), "Choose the target folder"), 1);
        EXPECT_EQ(chosen, button == IDOK);
        EXPECT_TRUE(chosen ? fs::is_directory(path) : path.empty()) << path;
    }
}

}  // namespace
