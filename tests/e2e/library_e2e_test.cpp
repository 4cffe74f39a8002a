// The installer library in the real installer: a packed installer that
// installs its payload as a control script does, and the folder browser
// answered by the UI driver.

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "archive/uZlibWriter.h"
#include "tests/e2e/uE2e.h"

namespace fs = std::filesystem;

namespace {

const char kCaption[] = "Inštalácia modulu Q7";

std::string Answered(const std::vector<std::string>& lines) {
    std::string transcript;
    for (const auto& line : lines) transcript += line;
    return transcript + kEnd;
}

// Reads a value written by the installer, which shares the test's Wine
// prefix and so its registry.
std::string RegistryText(const std::string& key, const char* name) {
    char text[512] = {};
    DWORD size = sizeof text;
    if (RegGetValueA(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return "(none)";
    return text;
}

DWORD RegistryNumber(const std::string& key, const char* name) {
    DWORD number = 0, size = sizeof number;
    RegGetValueA(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_DWORD, nullptr, &number, &size);
    return number;
}

TEST(Library, AnInstallerCopiesItsPayloadAndRecordsItInTheRegistryAndAnIniFile) {
    TempDir dir;
    std::string target = (dir.Path() / "target").string();
    std::string key = "Software\\q7e2e-" + std::to_string(std::random_device()());
    std::string binary;
    for (uint32_t i = 0; i < 300000; ++i) binary += static_cast<char>((i * 7919u) >> 3);
    std::string script = R"(
        if (MESSAGE == INITAPP) {
            CreateDirectory(")" + target + R"(\app\data\");
            SetCurrentDirectory(")" + target + R"(\app");
            n = ArchiveFileCount();
            copied = 0;
            i = 0;
            while (i < n) {
                if (ArchiveFileName(i) != "setup.ini") if (ArchiveFileCopy(i)) copied = copied + 1;
                i = i + 1;
            }
            if (ArchiveFileCopy(1, "data\copy.txt")) copied = copied + 1;
            k = RegCreateKey(HKEY_CURRENT_USER, ")" + key + R"(");
            RegSetValue(k, "Path", GetCurrentDirectory());
            RegSetValue(k, "Files", copied);
            RegCloseKey(k);
            WriteIni(GetCurrentDirectory() + "\app.ini", "Setup", "Files", copied);
            MessageBox("files " + copied + ", entries " + n);
        }
    )";
    std::string installer = Pack(dir, "setup.exe", script, {{"readme.txt", "hello"}, {"data.bin", binary}}, true);
    EXPECT_EQ(Drive({"answer:1"}, installer),
              Answered({"@ answer:1\n", Box(kCaption, "information", "files 3, entries 3", "1")}));

    fs::path app = fs::path(target) / "app";
    EXPECT_EQ(ReadFileBytes((app / "readme.txt").string()), "hello");
    EXPECT_EQ(ReadFileBytes((app / "data.bin").string()), binary);
    EXPECT_EQ(ReadFileBytes((app / "data" / "copy.txt").string()), "hello");
    EXPECT_FALSE(fs::exists(app / "setup.ini"));
    EXPECT_EQ(ReadFileBytes((app / "app.ini").string()), "[Setup]\r\nFiles=3\r\n");
    EXPECT_EQ(RegistryText(key, "Path"), app.string());
    EXPECT_EQ(RegistryNumber(key, "Files"), 3u);
    RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
}

TEST(Library, StoredNamesWindowsWouldTurnIntoADeviceAStreamOrAnotherNameAreNotCopied) {
    TempDir dir;
    std::string target = (dir.Path() / "target").string();
    fs::create_directory(target);
    std::string script = R"(
        SetCurrentDirectory(")" + target + R"(");
        copied = 0;
        i = 1;
        while (i < ArchiveFileCount()) {
            if (ArchiveFileCopy(i)) copied = copied + 1;
            i = i + 1;
        }
        MessageBox("copied " + copied);
    )";
    // q7pack refuses these names, so the archive is written here.
    {
        TFileStream out(dir / "names.q7", CreateMode);
        TZLibArchiveWriter writer(out);
        writer.AppendEntry("setup.ini", CompressZlib(script, 9), static_cast<uint32_t>(script.size()));
        for (const char* name : {"CON", "ads.txt:hidden", "trail.", "nul.txt"})
            writer.AppendEntry(name, CompressZlib("payload", 9), 7);
        writer.WriteEnd();
    }
    EXPECT_EQ(Drive({"answer:1"}, InstallerExe(), {dir / "names.q7"}),
              Answered({"@ answer:1\n", Box(kCaption, "information", "copied 0", "1")}));
    EXPECT_TRUE(fs::is_empty(target));
}

// A value of HKEY_LOCAL_MACHINE\key in one registry view, or "(none)".
std::string MachineText(const std::string& key, unsigned long view) {
    char text[512] = {};
    DWORD size = sizeof text;
    HKEY opened;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS)
        return "(none)";
    LSTATUS status = RegGetValueA(opened, nullptr, "Text", RRF_RT_REG_SZ, nullptr, text, &size);
    RegCloseKey(opened);
    return status == ERROR_SUCCESS ? text : "(none)";
}

// Keys written and read back under both roots, where the installer's build
// keeps them (see TInstallerBuild), and a program started hidden and
// waited for.
TEST(Library, RegistryRoundTripsInTheInstallersViewAndExecuteWithWait) {
    TempDir dir;
    std::string key = "Software\\q7e2e-" + std::to_string(std::random_device()());
    std::string marker = (dir.Path() / "waited").string();
    std::string script = "K = \"" + key + "\"; H = \"" + WinePath(Q7_E2E_SLEEP_HELPER) + "\"; M = \"" +
                         marker + "\";\r\n" + R"(
        if (MESSAGE == INITAPP) {
            k = RegCreateKey(HKEY_LOCAL_MACHINE, K);
            w = RegSetValue(k, "Text", "Z" + chr(225) + "pisn" + chr(237) + "k") + RegSetValue(k, "Number", -2);
            w = w + RegCloseKey(k);
            k = RegOpenKey(HKEY_LOCAL_MACHINE, K);
            m = RegQueryValue(k, "Text") + " " + RegQueryValue(k, "Number");
            RegCloseKey(k);
            k = RegCreateKey(HKEY_CURRENT_USER, K);
            w = w + RegSetValue(k, "Number", 2147483647) + RegCloseKey(k);
            k = RegOpenKey(HKEY_CURRENT_USER, K);
            u = RegQueryValue(k, "Number");
            RegCloseKey(k);
            e = Execute(H, "300 " + chr(34) + M + chr(34), 1, 1);
            MessageBox("written " + w + ", HKLM " + m + ", HKCU " + u + ", waited " + e + " " + FileExists(M));
        }
    )";
    std::string installer = Pack(dir, "setup.exe", script, {}, true);
    std::string transcript = Drive({"answer:1"}, installer);
    unsigned long view = InstallerBuild().RegistryView;
    unsigned long otherView = view == KEY_WOW64_32KEY ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    std::string inView = MachineText(key, view), inOtherView = MachineText(key, otherView);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), view, 0);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), otherView, 0);
    RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());

    EXPECT_EQ(
        transcript,
        Answered({"@ answer:1\n", Box(kCaption, "information",
                                      "written -5, HKLM Zápisník -2, HKCU 2147483647, waited -1 -1", "1")}));
    EXPECT_EQ(inView, "Z\xE1pisn\xEDk");
    EXPECT_EQ(inOtherView, "(none)") << "the installer wrote into the other registry view";
    EXPECT_EQ(ReadFileBytes(marker), "show=0") << "started hidden";
}

TEST(Library, CancellingTheFolderBrowserGivesTheEmptyText) {
    TempDir dir;
    std::string installer = Pack(dir, "setup.exe", R"(
        d = SelectDirectory("Choose the target folder");
        MessageBox("[" + d + "]" + (d + 1));
    )",
                                 {}, true);
    std::string transcript = Drive({"answer:2", "answer:1"}, installer);
    std::string box = Box(kCaption, "information", "[]1", "1");
    // The browser's caption is the shell's own; its buttons are OK and Cancel.
    ASSERT_EQ(transcript.rfind("@ answer:2\nbox ", 0), 0u) << transcript;
    EXPECT_NE(transcript.find(" icon=none \"\" [1 2]\n@ answer:1\n" + box + kEnd), std::string::npos) << transcript;
}

}  // namespace
