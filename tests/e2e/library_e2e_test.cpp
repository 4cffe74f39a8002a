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

}  // namespace
