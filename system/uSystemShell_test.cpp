#include "system/uSystemShell.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <thread>
#include <vector>

#include "tests/support/TempDir.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// The sleeping helper of the test suite, by its Windows name (Wine shows the
// Unix root as drive Z:).
std::string SleepHelper() {
    const char* unixPath = std::getenv("Q7_SLEEP_HELPER");
    if (!unixPath) return {};
    std::string path = std::string("Z:") + unixPath;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

// Waits for the marker file the helper writes; empty when it does not come.
std::string WaitForMarker(const std::string& path, std::chrono::milliseconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (fs::exists(path)) return ReadFileBytes(path);
        std::this_thread::sleep_for(50ms);
    }
    return {};
}

TEST(IniStrings, MissingFileSectionOrKeyGivesTheDefault) {
    TempDir dir;
    std::string file = dir / "settings.ini";
    EXPECT_EQ(ReadIniString(file, "Setup", "Path", "fallback"), "fallback");
    EXPECT_EQ(ReadIniString(file, "Setup", "Path", ""), "");
    WriteFileBytes(file, "[Setup]\r\nPath=C:\\Q7\r\n");
    EXPECT_EQ(ReadIniString(file, "Setup", "Path", "fallback"), "C:\\Q7");
    EXPECT_EQ(ReadIniString(file, "Other", "Path", "fallback"), "fallback");
    EXPECT_EQ(ReadIniString(file, "Setup", "Missing", "fallback"), "fallback");
}

TEST(IniStrings, WritesCreateFileAndSectionAndEmptyValuesStayKeys) {
    TempDir dir;
    std::string file = dir / "new.ini";
    EXPECT_TRUE(WriteIniString(file, "Setup", "Path", "D:\\Games"));
    EXPECT_TRUE(WriteIniString(file, "Setup", "Empty", ""));
    EXPECT_EQ(ReadIniString(file, "Setup", "Path", ""), "D:\\Games");
    EXPECT_EQ(ReadIniString(file, "Setup", "Empty", "fallback"), "") << "written empty, not deleted";
    EXPECT_FALSE(WriteIniString(dir / "missing-dir\\x.ini", "S", "K", "V"));
}

TEST(IniStrings, LongValuesAreCutTo2047Bytes) {
    TempDir dir;
    std::string file = dir / "long.ini";
    std::string value;
    for (int i = 0; i < 3000; ++i) value += static_cast<char>('a' + i % 26);
    WriteFileBytes(file, "[S]\r\nK=" + value + "\r\n");
    EXPECT_EQ(ReadIniString(file, "S", "K", ""), value.substr(0, 2047));
}

TEST(StartProgram, AMissingFileFailsQuietly) {
    TempDir dir;
    EXPECT_FALSE(StartProgram(dir / "no-such-program.exe", "", false, false));
    EXPECT_FALSE(StartProgram(dir / "no-such-program.exe", "", true, true));
}

TEST(StartProgram, WithoutWaitReturnsWhileTheProgramRuns) {
    std::string helper = SleepHelper();
    ASSERT_FALSE(helper.empty()) << "Q7_SLEEP_HELPER is not set";
    TempDir dir;
    std::string marker = dir / "marker";
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(StartProgram(helper, "3000 \"" + marker + "\"", false, false));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_EQ(WaitForMarker(marker, 20s), "show=1");
}

TEST(StartProgram, WithWaitReturnsAfterTheProgramEndedAndHiddenHidesIt) {
    std::string helper = SleepHelper();
    ASSERT_FALSE(helper.empty()) << "Q7_SLEEP_HELPER is not set";
    TempDir dir;
    std::string marker = dir / "marker";
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(StartProgram(helper, "700 \"" + marker + "\"", true, true));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 700ms);
    ASSERT_TRUE(fs::exists(marker)) << "the program had not finished when the wait ended";
    EXPECT_EQ(ReadFileBytes(marker), "show=0");
}

// --- the folder browser, answered from a second thread -------------------

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

bool HasText(const FoundDialog& dialog, const std::string& text) {
    for (const std::string& t : dialog.texts)
        if (t == text) return true;
    return false;
}

TEST(BrowseForDirectory, CancelGivesFalseAndAnEmptyPath) {
    auto answer = std::async(std::launch::async, AnswerDialog, IDCANCEL);
    std::string path = "left over";
    EXPECT_FALSE(BrowseForDirectory(nullptr, "Choose the target folder", path));
    FoundDialog dialog = answer.get();
    ASSERT_NE(dialog.window, nullptr) << "no folder browser appeared";
    EXPECT_TRUE(HasText(dialog, "Choose the target folder"));
    EXPECT_EQ(path, "");
}

TEST(BrowseForDirectory, OkGivesTheChosenFolder) {
    auto answer = std::async(std::launch::async, AnswerDialog, IDOK);
    std::string path;
    bool chosen = BrowseForDirectory(nullptr, "", path);
    ASSERT_NE(answer.get().window, nullptr) << "no folder browser appeared";
    ASSERT_TRUE(chosen);
    EXPECT_TRUE(fs::is_directory(path)) << path;
}

}  // namespace
