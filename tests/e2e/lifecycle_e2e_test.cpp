// Hello's whole life on the machine: installed into Program Files with its
// shortcuts and an Apps & features entry that Wine's own uninstaller lists,
// a newer version over it, then uninstalled as Windows starts it: a file in
// use stops it with Retry/Cancel, and in the end only its copy in %TEMP%
// stays, due for deletion at restart.

#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <cstdlib>

#include "tests/e2e/uE2e.h"
#include "tests/support/ShellLink.h"

namespace {

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Hello";
const char kProductKey[] = "Software\\Hello";

std::string Source(const std::string& relative) { return WinePath(Q7_E2E_SOURCE_DIR "/examples/hello/" + relative); }

std::string Folder(int csidl) {
    char path[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, csidl | CSIDL_FLAG_DONT_VERIFY, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

// A value of the installer's view of HKLM as its text or number; "(none)".
std::string Value(const char* key, const char* name, DWORD view = InstallerBuild().RegistryView) {
    char data[8192] = {};
    DWORD size = sizeof data - 2, type = 0;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, key, name, RRF_RT_ANY | view, &type, data, &size) != ERROR_SUCCESS)
        return "(none)";
    if (type == REG_DWORD) return std::to_string(*reinterpret_cast<DWORD*>(data));
    return type == REG_MULTI_SZ ? std::string(data, size) : std::string(data);
}

// The transcript's form of a text: backslashes doubled.
std::string Shown(std::string text) {
    for (size_t at = 0; (at = text.find('\\', at)) != std::string::npos; at += 2) text.insert(at, 1, '\\');
    return text;
}

// What Wine's Apps & features lists: "id|||name" lines.
std::string Listed(const TempDir& dir) {
    RunProgram("cmd", {"/c", "uninstaller --list >" + (dir / "list.txt")});
    return ReadFileBytes(dir / "list.txt");
}

TEST(Lifecycle, InstallUpgradeAndUninstallLeaveOnlyTheUninstallersTemporaryCopy) {
    TempDir dir;
    const std::string folder = std::string(InstallerBuild().ProgramFiles) + "\\Hello", program = folder + "\\hello.exe";
    const std::string links[] = {Folder(CSIDL_COMMON_PROGRAMS) + "\\Hello.lnk",
                                 Folder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\Hello.lnk"};
    const std::string copy = std::string(getenv("TEMP")) + "\\Hello-uninstall.exe";
    // What the brand scenarios' installations of Hello left in the prefix.
    for (const char* key : {kUninstallKey, kProductKey})
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key, InstallerBuild().RegistryView, 0);
    for (const std::string& file : {links[0], links[1], copy}) DeleteFileA(file.c_str());

    std::string script = ReadFileBytes(Source("setup.ini"));
    WriteFileBytes(dir / "setup-1.1.ini", script.replace(script.find("VERSION = \"1.0\""), 15, "VERSION = \"1.1\""));
    for (const char* version : {"1.0", "1.1"}) {
        std::string setup = version == std::string("1.0") ? Source("setup.ini") : dir / "setup-1.1.ini";
        ASSERT_EQ(RunProgram(PackerExe(), {"create", "-o", dir / "hello.exe", "--stub", InstallerExe(), "--brand",
                                           Source("brand.ini"), "--uninstaller", Source("uninstall.ini"), setup,
                                           Source("payload"), "hello.exe=" + WinePath(Q7_E2E_HELLO_PROGRAM)}),
                  0);
        // The desktop shortcut is asked for once, and stays.
        std::string desktop = version == std::string("1.0") ? "answer:6" : "answer:7";
        std::string t = Drive({"press:282", "press:283", desktop, "press:280", "answer:7"}, dir / "hello.exe");
        EXPECT_NE(t.find("  221 Edit \"" + Shown(folder) + "\"\n"), std::string::npos) << t;
        EXPECT_EQ(t.substr(t.size() - strlen(kEnd)), kEnd) << t;
    }
    for (const std::string& link : links)
        EXPECT_EQ(ReadShortcut(link), program + "||" + folder + "|" + program + ",0|Greets you");
    std::string listed = Listed(dir);
    EXPECT_NE(listed.find("Hello|||Hello"), std::string::npos) << listed;
    EXPECT_EQ(listed.find("Hello|||Hello"), listed.rfind("Hello|||Hello")) << "one entry after the upgrade";
    uint64_t bytes = 0;
    for (const char* file : {"hello.exe", "readme.txt", "docs\\license.txt", "uninstall.exe"})
        bytes += ReadFileBytes(folder + "\\" + file).size();
    for (auto [name, value] :
         {std::pair<const char*, std::string>{"DisplayName", "Hello"}, {"DisplayVersion", "1.1"},
          {"Publisher", "Example Software"}, {"DisplayIcon", program}, {"InstallLocation", folder},
          {"UninstallString", "\"" + folder + "\\uninstall.exe\""},
          {"EstimatedSize", std::to_string((bytes + 1023) / 1024)}, {"NoModify", "1"}, {"NoRepair", "1"}})
        EXPECT_EQ(Value(kUninstallKey, name), value) << name;

    // Through Wine's Apps & features while the readme is open: Retry finds
    // it still in use, Cancel stops before the uninstaller and its entry go.
    HANDLE open = CreateFileA((folder + "\\readme.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    std::string t = Drive({"attach:Hello-uninstall.exe", "answer:6", "answer:4", "answer:2", "answer:1"},
                          "uninstaller", {"--remove", "Hello"});
    CloseHandle(open);
    std::string inUse = Box("Hello 1.0 Uninstall", "warning",
                            Shown(folder) + "\\\\readme.txt is in use. Close Hello and press Retry.", "4 2");
    EXPECT_NE(t.find(Step("answer:4", inUse) + Step("answer:2", inUse)), std::string::npos) << t;
    EXPECT_FALSE(PathExists(folder + "\\docs\\license.txt"));
    for (const char* kept : {"readme.txt", "hello.exe", "uninstall.exe"})
        EXPECT_TRUE(PathExists(folder + "\\" + kept)) << kept;
    EXPECT_EQ(Value(kUninstallKey, "DisplayName"), "Hello");

    // Then through the UninstallString, to the end.
    std::string uninstaller = Value(kUninstallKey, "UninstallString");
    t = Drive({"attach:Hello-uninstall.exe", "answer:6", "answer:1"}, uninstaller.substr(1, uninstaller.size() - 2));
    EXPECT_NE(t.find(Box("Hello 1.0 Uninstall", "information", "Hello has been removed from this computer.", "1") +
                     kEnd),
              std::string::npos)
        << t;
    for (const std::string& gone : {folder, links[0], links[1]}) EXPECT_FALSE(PathExists(gone)) << gone;
    HKEY key = nullptr;
    for (const char* path : {kUninstallKey, kProductKey})
        EXPECT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | InstallerBuild().RegistryView, &key), 0) << path;
    EXPECT_EQ(Listed(dir).find("|||Hello"), std::string::npos);
    EXPECT_TRUE(PathExists(copy));
    EXPECT_NE(Value("System\\CurrentControlSet\\Control\\Session Manager", "PendingFileRenameOperations", 0).find(copy),
              std::string::npos)
        << "the copy in %TEMP% goes at the next restart";
    DeleteFileA(copy.c_str());
}

}  // namespace
