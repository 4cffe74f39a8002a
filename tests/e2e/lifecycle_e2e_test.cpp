// Hello's whole life on the machine, as Windows and its user see it: the
// installer puts it into Program Files with its shortcuts and its entry in
// Apps & features, which Wine's own uninstaller lists; a newer version goes
// over it; the uninstaller, started as Windows starts it, removes every
// trace but its own copy in the temporary folder, and a file in use stops
// it with Retry/Cancel instead of being skipped.

#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <memory>

#include "tests/e2e/uE2e.h"
#include "tests/support/ShellLink.h"

namespace {

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Hello";
const char kProductKey[] = "Software\\Hello";
const char kCopy[] = "Hello-uninstall.exe";

std::string Source(const std::string& relative) { return WinePath(Q7_E2E_SOURCE_DIR "/examples/hello/" + relative); }

std::string Folder(int csidl) {
    char path[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, csidl | CSIDL_FLAG_DONT_VERIFY, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

std::string Temp() {
    char path[MAX_PATH] = {};
    GetEnvironmentVariableA("TEMP", path, MAX_PATH);
    return path;
}

// A value of the installer's HKLM view as "text", a number, or "(none)".
std::string Value(const char* key, const char* name) {
    char data[1024] = {};
    DWORD size = sizeof data, type = 0;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, key, name, RRF_RT_ANY | InstallerBuild().RegistryView, &type, data,
                     &size) != ERROR_SUCCESS)
        return "(none)";
    return type == REG_DWORD ? std::to_string(*reinterpret_cast<DWORD*>(data)) : std::string(data);
}

// What a program writes to its standard output.
std::string Output(const std::string& commandLine) {
    TempDir dir;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileA((dir / "out.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0,
                             nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = out;
    PROCESS_INFORMATION process{};
    std::string line = commandLine;
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        WaitForSingleObject(process.hProcess, 60000);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(out);
    return ReadFileBytes(dir / "out.txt");
}

// A text as the transcript shows it, backslashes doubled.
std::string Shown(std::string text) {
    for (size_t at = 0; (at = text.find('\\', at)) != std::string::npos; at += 2) text.insert(at, 1, '\\');
    return text;
}

std::string Listed() { return Output("uninstaller --list"); }

class Lifecycle : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        package_ = std::make_unique<TempDir>();
        std::string script = ReadFileBytes(Source("setup.ini"));
        script.replace(script.find("VERSION = \"1.0\";"), 16, "VERSION = \"1.1\";");
        WriteFileBytes(*package_ / "setup-1.1.ini", script);
        for (auto [name, setup] : {std::pair{"hello-1.0.exe", Source("setup.ini")},
                                   {"hello-1.1.exe", *package_ / "setup-1.1.ini"}})
            ASSERT_EQ(RunProgram(PackerExe(), {"create", "-o", *package_ / name, "--stub", InstallerExe(), "--brand",
                                               Source("brand.ini"), "--uninstaller", Source("uninstall.ini"), setup,
                                               Source("payload"), "hello.exe=" + WinePath(Q7_E2E_HELLO_PROGRAM)}),
                      0);
    }
    static void TearDownTestSuite() { package_.reset(); }

    // What other tests' installations of Hello left in the shared prefix.
    Lifecycle() {
        for (const char* key : {kUninstallKey, kProductKey})
            RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key, InstallerBuild().RegistryView, 0);
        DeleteFileA(programsLink_.c_str());
        DeleteFileA(desktopLink_.c_str());
        DeleteFileA((Temp() + "\\" + kCopy).c_str());
    }

    std::string Install(const std::string& version, int desktopAnswer) {
        return Drive({"press:282", "press:283", "answer:" + std::to_string(desktopAnswer), "press:280", "answer:7"},
                     *package_ / ("hello-" + version + ".exe"));
    }

    const std::string folder_ = std::string(InstallerBuild().ProgramFiles) + "\\Hello";
    const std::string programsLink_ = Folder(CSIDL_COMMON_PROGRAMS) + "\\Hello.lnk";
    const std::string desktopLink_ = Folder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\Hello.lnk";
    static std::unique_ptr<TempDir> package_;
};

std::unique_ptr<TempDir> Lifecycle::package_;

TEST_F(Lifecycle, InstallUpgradeAndUninstallLeaveOnlyTheUninstallersTemporaryCopy) {
    std::string t = Install("1.0", IDYES);
    EXPECT_NE(t.find("  221 Edit \"" + Shown(folder_) + "\"\n"), std::string::npos) << "Program Files by default\n" << t;
    EXPECT_EQ(t.substr(t.size() - strlen(kEnd)), kEnd) << t;
    std::string program = folder_ + "\\hello.exe";
    std::string link = program + "||" + folder_ + "|" + program + ",0|Greets you";
    EXPECT_EQ(ReadShortcut(programsLink_), link);
    EXPECT_EQ(ReadShortcut(desktopLink_), link);
    EXPECT_EQ(ReadFileBytes(program), ReadFileBytes(WinePath(Q7_E2E_HELLO_PROGRAM)));

    t = Install("1.1", IDNO);
    EXPECT_EQ(t.substr(t.size() - strlen(kEnd)), kEnd) << t;
    std::string listed = Listed();
    EXPECT_NE(listed.find("Hello|||Hello"), std::string::npos) << listed;
    EXPECT_EQ(listed.find("Hello|||Hello"), listed.rfind("Hello|||Hello")) << "one entry after the upgrade";
    uint64_t bytes = 0;
    for (const char* file : {"hello.exe", "readme.txt", "docs\\license.txt", "uninstall.exe"})
        bytes += ReadFileBytes(folder_ + "\\" + file).size();
    const struct {
        const char* name;
        std::string value;
    } entry[] = {
        {"DisplayName", "Hello"},
        {"DisplayVersion", "1.1"},
        {"Publisher", "Example Software"},
        {"DisplayIcon", program},
        {"InstallLocation", folder_},
        {"UninstallString", "\"" + folder_ + "\\uninstall.exe\""},
        {"EstimatedSize", std::to_string((bytes + 1023) / 1024)},
        {"NoModify", "1"},
        {"NoRepair", "1"},
    };
    for (const auto& e : entry) EXPECT_EQ(Value(kUninstallKey, e.name), e.value) << e.name;

    // Uninstalled from Wine's Apps & features while Hello's readme is open:
    // Retry finds it still in use, Cancel stops with everything needed to
    // take it up again.
    HANDLE open = CreateFileA((folder_ + "\\readme.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(open, INVALID_HANDLE_VALUE);
    t = Drive({"attach:Hello-uninstall.exe", "answer:6", "answer:4", "answer:2", "answer:1"}, "uninstaller",
              {"--remove", "Hello"});
    CloseHandle(open);
    std::string inUse = Box("Hello 1.0 Uninstall", "warning",
                            Shown(folder_ + "\\readme.txt") + " is in use. Close Hello and press Retry.", "4 2");
    EXPECT_NE(t.find(Step("answer:4", inUse)), std::string::npos) << t;
    EXPECT_NE(t.find(Step("answer:2", inUse)), std::string::npos) << t;
    EXPECT_EQ(t.substr(t.size() - strlen(kEnd)), kEnd) << t;
    EXPECT_FALSE(PathExists(folder_ + "\\docs\\license.txt"));
    for (const char* kept : {"readme.txt", "hello.exe", "uninstall.exe"})
        EXPECT_TRUE(PathExists(folder_ + "\\" + kept)) << kept;
    EXPECT_EQ(Value(kUninstallKey, "DisplayName"), "Hello");

    // Then through the UninstallString, to the end.
    std::string uninstaller = Value(kUninstallKey, "UninstallString");
    t = Drive({"attach:Hello-uninstall.exe", "answer:6", "answer:1"}, uninstaller.substr(1, uninstaller.size() - 2));
    EXPECT_NE(t.find(Box("Hello 1.0 Uninstall", "information", "Hello has been removed from this computer.", "1")),
              std::string::npos)
        << t;
    EXPECT_EQ(t.substr(t.size() - strlen(kEnd)), kEnd) << t;
    for (const std::string& gone : {folder_, programsLink_, desktopLink_})
        EXPECT_FALSE(PathExists(gone)) << gone;
    EXPECT_EQ(Value(kUninstallKey, "DisplayName"), "(none)");
    HKEY key = nullptr;
    for (const char* path : {kUninstallKey, kProductKey})
        EXPECT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | InstallerBuild().RegistryView, &key),
                  ERROR_SUCCESS)
            << path;
    EXPECT_EQ(Listed().find("|||Hello"), std::string::npos);

    // What stays: the copy the uninstaller ran as, which Windows deletes at
    // the next restart.
    std::string copy = Temp() + "\\" + kCopy;
    EXPECT_TRUE(PathExists(copy));
    char pending[8192] = {};
    DWORD size = sizeof pending;
    RegGetValueA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager",
                 "PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ, nullptr, pending, &size);
    std::string names(pending, size);
    EXPECT_NE(names.find(copy), std::string::npos) << "to be deleted at restart: " << names;
    DeleteFileA(copy.c_str());
}

}  // namespace
