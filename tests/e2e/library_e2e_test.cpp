// The installer library where only the real installer shows it: the
// registry view its build writes into and a program it starts and waits
// for. The folder browser's answers are BrowseForDirectory's own test
// (system/win/uFolderBrowser_test.cpp) and the sample's wizard. Installing a payload
// through the wizard is the sample package's scenario (sample_e2e_test.cpp);
// which stored names a copy refuses is InstallArchiveEntry's.

#include <windows.h>

#include <gtest/gtest.h>

#include <random>

#include "tests/e2e/uE2e.h"

namespace {

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
    std::string inView = RegText(HKEY_LOCAL_MACHINE, key, "Text", view),
                inOtherView = RegText(HKEY_LOCAL_MACHINE, key, "Text", otherView);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), view, 0);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), otherView, 0);
    RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());

    EXPECT_EQ(transcript, Answered(InfoBox("written -5, HKLM Zápisník -2, HKCU 2147483647, waited -1 -1")));
    EXPECT_EQ(inView, "Zápisník");
    EXPECT_EQ(inOtherView, "(none)") << "the installer wrote into the other registry view";
    EXPECT_EQ(ReadFileBytes(marker), "show=0") << "started hidden";
}

// The view a script chooses holds for creating and deleting, from either
// build: the i686 one reaches the 64-bit view and its own, the x86_64 one
// both too. The 64-bit Program Files is the same folder for both.
TEST(Library, KeysGoToTheViewTheScriptChose) {
    TempDir dir;
    std::string key = "Software\\q7e2e-view-" + std::to_string(std::random_device()());
    std::string script = "K = \"" + key + "\";\r\n" + R"(
        if (MESSAGE == INITAPP) {
            RegSetView(KEY_WOW64_64KEY);
            k = RegCreateKey(HKEY_LOCAL_MACHINE, K); RegSetValue(k, "View", "64"); RegCloseKey(k);
            RegCloseKey(RegCreateKey(HKEY_LOCAL_MACHINE, K + "\Gone"));
            RegSetView(KEY_WOW64_32KEY);
            k = RegCreateKey(HKEY_LOCAL_MACHINE, K); RegSetValue(k, "View", "32"); RegCloseKey(k);
            RegCloseKey(RegCreateKey(HKEY_LOCAL_MACHINE, K + "\Gone"));
            d = RegDeleteKey(HKEY_LOCAL_MACHINE, K + "\Gone");
            RegSetView(0);
            k = RegOpenKey(HKEY_LOCAL_MACHINE, K);
            MessageBox(RegQueryValue(k, "View") + " " + d + " " + GetSpecialFolder(CSIDL_PROGRAM_FILES64));
            RegCloseKey(k);
        }
    )";
    std::string transcript = Drive({"answer:1"}, Pack(dir, "setup.exe", script, {}, true));
    std::string in64 = RegText(HKEY_LOCAL_MACHINE, key, "View", KEY_WOW64_64KEY),
                in32 = RegText(HKEY_LOCAL_MACHINE, key, "View", KEY_WOW64_32KEY);
    bool gone64 = !RegKeyExists(HKEY_LOCAL_MACHINE, key + "\\Gone", KEY_WOW64_64KEY),
         gone32 = !RegKeyExists(HKEY_LOCAL_MACHINE, key + "\\Gone", KEY_WOW64_32KEY);
    for (unsigned long view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, (key + "\\Gone").c_str(), view, 0);
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), view, 0);
    }
    const char* own = InstallerBuild().RegistryView == KEY_WOW64_32KEY ? "32" : "64";
    EXPECT_EQ(transcript, Answered(InfoBox(std::string(own) + " -1 C:\\\\Program Files")));
    EXPECT_EQ(in64, "64");
    EXPECT_EQ(in32, "32");
    EXPECT_FALSE(gone64) << "deleted in the 64-bit view, which the script had not chosen";
    EXPECT_TRUE(gone32);
}

// The Path recipe of docs/packaging.md, on a key of its own: a
// REG_EXPAND_SZ Path keeps its type and its %VARIABLE% entries when an
// installation adds its folder and when the removal takes it out again.
TEST(Library, PathRecipeKeepsExpandableEntries) {
    TempDir dir;
    std::string key = "Software\\q7e2e-path-" + std::to_string(std::random_device()());
    const std::string before = "%USERPROFILE%\\bin;C:\\Tools";
    HKEY env = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &env, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(env, "Path", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(before.c_str()),
                   static_cast<DWORD>(before.size() + 1));
    RegCloseKey(env);
    WriteFileBytes(dir / "options.ini", "[installer]\noptions = yes\n");
    std::string script = "ENVROOT = HKEY_CURRENT_USER; ENVKEY = \"" + key + "\"; target = \"C:\\Kartograf\";\r\n" + R"(
        if (MESSAGE == INITAPP & !HasOption("REMOVE")) {
            key = RegCreateKey(ENVROOT, ENVKEY);
            path = RegQueryValue(key, "Path");
            if (strpos(";" + strtolower(path) + ";", ";" + strtolower(target) + ";") < 0) {
                if (path != "" & substr(path, -1) != ";") path = path + ";";
                RegSetValue(key, "Path", path + target, REG_EXPAND_SZ);
            }
            RegCloseKey(key);
            NotifyEnvironmentChange();
        }
        if (MESSAGE == INITAPP & HasOption("REMOVE")) {
            key = RegOpenKey(ENVROOT, ENVKEY);
            path = ";" + RegQueryValue(key, "Path") + ";";
            at = strpos(strtolower(path), ";" + strtolower(target) + ";");
            if (key != 0 & at >= 0) {
                path = substr(path, 0, at) + substr(path, at + strlen(target) + 1);
                RegSetValue(key, "Path", substr(path, 1, strlen(path) - 2), REG_EXPAND_SZ);
            }
            RegCloseKey(key);
            NotifyEnvironmentChange();
        }
    )";
    std::string installer = Pack(dir, "setup.exe", script, {}, true, dir / "options.ini");
    auto path = [&] {
        DWORD type = 0;
        char data[512] = {};
        DWORD size = sizeof data;
        RegGetValueA(HKEY_CURRENT_USER, key.c_str(), "Path", RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size);
        return std::to_string(type) + " " + data;
    };
    const std::string expand = std::to_string(REG_EXPAND_SZ) + " ";
    std::string added, again, removed;
    for (const char* run : {"/S", "/S", "/S /REMOVE"}) {
        EXPECT_EQ(Drive({"no-window"}, installer, {}, run), "@ no-window\n@ end\nexit 0\n") << run;
        (added.empty() ? added : again.empty() ? again : removed) = path();
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
    EXPECT_EQ(added, expand + before + ";C:\\Kartograf");
    EXPECT_EQ(again, added) << "added twice";
    EXPECT_EQ(removed, expand + before);
}

// Both archive formats give a script the same entries: names, sizes, a text
// and copies taken backwards (out of order for the solid one), of a payload
// with an executable (the branch-call filter's), an empty and a large file.
TEST(Library, SolidAndZlibArchivesGiveTheScriptTheSameEntries) {
    TempDir dir;
    std::string big(3 << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 / 1000);
    WriteFileBytes(dir / "big.bin", big);
    WriteFileBytes(dir / "a.txt", "alpha");
    WriteFileBytes(dir / "empty", "");
    std::vector<std::string> payload = {"a.txt=" + dir / "a.txt", "empty=" + dir / "empty",
                                        "bin\\q7patcher.exe=" + InstallerExe(),
                                        "docs\\big.bin=" + dir / "big.bin"};
    std::string results;
    for (std::string format : {"zlib", "solid"}) {
        std::string out = dir / format.substr(0, 1);  // names of one length: setup.ini alike
        WriteFileBytes(dir / "setup.ini", "O = \"" + out + "\";\r\n" + R"(
            if (MESSAGE == INITAPP) {
                CreateDirectory(O);
                r = ""; i = ArchiveFileCount() - 1;
                while (i >= 0) {
                    r = r + ArchiveFileName(i) + "=" + ArchiveFileSize(i) + ":" + ArchiveFileCopy(i, O + "\" + i) + ";";
                    i--;
                }
                WriteIni(O + "\r.ini", "R", "List", r);
                WriteIni(O + "\r.ini", "R", "Text", ArchiveFileText(1));
            }
        )");
        std::vector<std::string> args = {dir / "setup.ini"};
        if (format == "solid") args.insert(args.begin(), "--solid");
        args.insert(args.end(), payload.begin(), payload.end());
        EXPECT_EQ(RunProgram(PackInstaller(dir / (format + ".exe"), args), {}), 0);
        results += ReadFileBytes(out + "\\r.ini") + "\n";
        EXPECT_EQ(ReadFileBytes(out + "\\1"), "alpha") << format;
        EXPECT_EQ(ReadFileBytes(out + "\\2"), "") << format;
        EXPECT_EQ(ReadFileBytes(out + "\\3"), ReadFileBytes(InstallerExe())) << format;
        EXPECT_EQ(ReadFileBytes(out + "\\4"), big) << format;
    }
    std::string once = "[R]\r\nList=docs\\big.bin=3145728:-1;bin\\q7patcher.exe=" +
                       std::to_string(ReadFileBytes(InstallerExe()).size()) +
                       ":-1;empty=0:-1;a.txt=5:-1;setup.ini=";
    EXPECT_TRUE(Contains(results, once)) << results;
    size_t half = results.size() / 2;
    EXPECT_EQ(results.substr(0, half), results.substr(half)) << "both formats alike";
}


}  // namespace
