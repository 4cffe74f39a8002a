// The installer library as control scripts use it: scripts run in the
// installer host and state their expectations inline with assert (kind and
// value: TRUE is exactly the integer -1); the test then checks what they
// left on disk and in Wine's registry. The folder browser, which needs a
// window, is driven end to end in tests/e2e.

#include "scriptlib/host/uPatcherLibrary.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

#include "system/uSystem.h"
#include "tests/support/MemoryArchive.h"
#include "tests/support/ScriptHarness.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// A host with a directory of its own, the script variable D naming it; the
// current directory is restored afterwards.
class Library : public ::testing::Test {
protected:
    Library() { Set("D", dir.Path().string()); }

    void Set(const char* name, const std::string& text) { host.Memory->SetVariable(name, StringValue(text)); }
    std::string Run(const std::string& text) { return RunText(host, text); }

    TPatcherScript host;
    TempDir dir;
    CurrentDirectory here{fs::current_path()};
};

// What CreateDirectoryTree, IsExistingFile and DeleteFileForced accept is
// their own table (system/fs/uFiles_test.cpp); here each function's
// wiring, and what the script functions decide themselves.
TEST_F(Library, DirectoriesAndFilesAreMadeTestedCopiedMovedAndRemoved) {
    WriteFileBytes(dir / "a.txt", "alpha");
    WriteFileBytes(dir / "b.txt", "beta");
    WriteFileBytes(dir / "ro.txt", "read-only");
    ASSERT_TRUE(SetFileAttributesA((dir / "ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(Run(R"(
        assert(CreateDirectory(D + "\deep\er\still"), -1); assert(DirectoryExists(D + "\deep\er\still"), -1);
        assert(DirectoryExists(D + "\a.txt"), 0); assert(FileExists(D + "\a.txt"), -1);
        assert(SetCurrentDirectory(D + "\deep"), -1); assert(GetCurrentDirectory(), D + "\deep");
        assert(SetCurrentDirectory(D + "\missing"), 0); assert(GetCurrentDirectory(), D + "\deep");
        assert(RemoveDirectory(D + "\deep\er"), 0); assert(RemoveDirectory(D + "\deep\er\still"), -1);

        assert(CopyFile(D + "\a.txt", D + "\b.txt", 1), 0); assert(CopyFile(D + "\a.txt", D + "\c.txt"), -1);
        assert(CopyFile(D + "\a.txt", D + "\new.txt"), -1);
        assert(MoveFile(D + "\new.txt", D + "\b.txt"), 0); assert(MoveFile(D + "\new.txt", D + "\moved.txt"), -1);
        assert(DeleteFile(D + "\ro.txt"), -1);
    )"),
              "ok");
    EXPECT_TRUE(fs::is_directory(dir.Path() / "deep" / "er")) << "still holds a directory";
    EXPECT_FALSE(fs::exists(dir.Path() / "deep" / "er" / "still"));
    EXPECT_EQ(ReadFileBytes(dir / "b.txt"), "beta") << "kept: fail-if-exists, then an existing move target";
    EXPECT_EQ(ReadFileBytes(dir / "c.txt"), "alpha");
    EXPECT_EQ(ReadFileBytes(dir / "moved.txt"), "alpha");
    for (const char* gone : {"new.txt", "ro.txt"}) EXPECT_FALSE(fs::exists(dir.Path() / gone)) << gone;
}

TEST_F(Library, IniFilesKeepValuesAndABareNameMeansTheWindowsDirectory) {
    std::string value;
    for (int i = 0; i < 3000; ++i) value += static_cast<char>('a' + i % 26);
    WriteFileBytes(dir / "long.ini", "[L]\r\nLong=" + value + "\r\n");
    char windows[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH), 0u);
    std::string bare = "q7lib-" + std::to_string(std::random_device()()) + ".ini";
    Set("BARE", bare);
    Set("LONG", value);
    EXPECT_EQ(Run(R"(
        f = D + "\set.ini";
        assert(ReadIni(f, "S", "K"), ""); assert(ReadIni(f, "S", "K", "fallback"), "fallback");
        assert(ReadIni(f, "S", "K", 5), "5");
        assert(WriteIni(f, "S", "K", "value"), -1); assert(WriteIni(f, "S", "Empty", ""), -1);
        assert(WriteIni(f, "S", "Number", 42), -1);
        assert(ReadIni(f, "S", "K", "fallback"), "value"); assert(ReadIni(f, "S", "Empty", "fallback"), "");
        assert(ReadIni(f, "S", "Number"), "42"); assert(ReadIni(f, "S", "Missing", "fallback"), "fallback");
        assert(ReadIni(f, "Other", "K", "fallback"), "fallback");
        assert(WriteIni(D + "\missing\x.ini", "S", "K", "V"), 0);
        assert(ReadIni(D + "\long.ini", "L", "Long"), substr(LONG, 0, 2047));
        assert(WriteIni(BARE, "S", "K", "windows"), -1); assert(ReadIni(BARE, "S", "K"), "windows");
    )"),
              "ok");
    std::string inWindows = std::string(windows) + "\\" + bare;
    EXPECT_TRUE(fs::exists(inWindows)) << inWindows;
    EXPECT_FALSE(fs::exists(dir.Path() / bare));
    DeleteFileA(inWindows.c_str());
}

TEST_F(Library, SpecialFoldersEnvironmentFreeSpaceAndShortcutsWithoutFolders) {
    std::string longValue(5000, 'v');
    ASSERT_TRUE(SetEnvironmentVariableA("Q7LIB_SET", "value") &&
                SetEnvironmentVariableA("Q7LIB_LONG", longValue.c_str()));
    Set("LONG", longValue);
    EXPECT_EQ(Run(R"(
        w = GetSpecialFolder(CSIDL_WINDOWS); assert(strtolower(w), strtolower(GetEnvironmentVariable("SystemRoot")));
        assert(strtolower(GetSpecialFolder(CSIDL_SYSTEM)), strtolower(w + "\system32"));
        assert(GetSpecialFolder(CSIDL_PROGRAM_FILES), GetEnvironmentVariable("ProgramFiles"));
        assert(substr(GetSpecialFolder(CSIDL_PROGRAMS), -1) != "\", -1);
        assert(GetSpecialFolder(255), ""); assert(GetSpecialFolder(CSIDL_PROGRAM_FILES + 32768), "");
        assert(GetEnvironmentVariable("Q7LIB_LONG"), LONG); assert(GetEnvironmentVariable("Q7LIB_UNSET"), "");
        assert(ExpandEnvironmentStrings("%Q7LIB_LONG%"), LONG);
        assert(ExpandEnvironmentStrings("a%Q7LIB_SET%b %Q7LIB_UNSET%"), "avalueb %Q7LIB_UNSET%");
        assert(substr(GetModuleFileName(), -25), "\uPatcherLibrary_test.exe");
        assert(GetDiskFreeSpace(D) > 0 & abs(GetDiskFreeSpace(D + "\missing\deeper") - GetDiskFreeSpace(D)) < 65536, -1);
        assert(GetDiskFreeSpace(""), -1); assert(GetDiskFreeSpace("nowhere"), -1);

        assert(CreateShortcut(D + "\a.lnk", "C:\App\app.exe", "/x", "C:\App", "", 2, "App"), -1);
        assert(FileExists(D + "\a.lnk"), -1); assert(CreateShortcut(D + "\d.lnk", ""), 0);
        assert(CreateShortcut(D + "\missing\c.lnk", "C:\App\app.exe"), 0);
    )"),
              "ok");
    EXPECT_FALSE(fs::exists(dir.Path() / "missing")) << "nothing is created";
    EXPECT_FALSE(fs::exists(dir.Path() / "d.lnk"));
}

// A key of its own under HKEY_CURRENT_USER\Software (script variable P),
// removed afterwards.
class RegistryFunctions : public Library {
protected:
    RegistryFunctions() : path_("Software\\q7lib-" + std::to_string(std::random_device()())) {
        Set("P", path_);
    }
    ~RegistryFunctions() override { RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str()); }

    // Stores data of any type, as other programs may have written it.
    void Raw(HKEY key, const char* name, DWORD type, const std::string& data) {
        ASSERT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
    }

    DWORD TypeOf(const std::string& subkey, const char* name) {
        DWORD type = REG_NONE;
        RegGetValueA(HKEY_CURRENT_USER, (path_ + subkey).c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr,
                     nullptr);
        return type;
    }

    const std::string path_;
};

TEST_F(RegistryFunctions, ValuesOfEveryKindReadAsTextNumberOrTheDefault) {
    HKEY kinds = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (path_ + "\\kinds").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &kinds, nullptr),
              ERROR_SUCCESS);
    Raw(kinds, "sz", REG_SZ, std::string("text\0", 5));
    Raw(kinds, "empty", REG_SZ, std::string(1, '\0'));
    Raw(kinds, "unterminated", REG_SZ, "abc");
    Raw(kinds, "expand", REG_EXPAND_SZ, std::string("%WINDIR%\\x\0", 11));
    Raw(kinds, "multi", REG_MULTI_SZ, std::string("one\0two\0\0", 9));
    Raw(kinds, "dword", REG_DWORD, "\xFF\xFF\xFF\xFF");
    Raw(kinds, "big", REG_DWORD_BIG_ENDIAN, "\x01\x02\x03\x04");
    Raw(kinds, "binary", REG_BINARY, "\x01\x02");
    Raw(kinds, "qword", REG_QWORD, std::string(8, '\x01'));
    RegCloseKey(kinds);
    EXPECT_EQ(Run(R"(
        k = RegOpenKey(HKEY_CURRENT_USER, P + "\kinds");
        assert(k != 0, -1);
        assert(RegQueryValue(k, "sz"), "text"); assert(RegQueryValue(k, "empty", "fallback"), "");
        assert(RegQueryValue(k, "unterminated"), "abc"); assert(RegQueryValue(k, "expand"), "%WINDIR%\x");
        assert(RegQueryValue(k, "multi"), "one" + chr(0) + "two" + chr(0));
        assert(RegQueryValue(k, "dword"), -1); assert(RegQueryValue(k, "big", "fallback"), $04030201);
        assert(RegQueryValue(k, "binary"), ""); assert(RegQueryValue(k, "binary", 7), 7);
        assert(RegQueryValue(k, "qword", "fallback"), "fallback");
        assert(RegQueryValue(k, "missing"), ""); assert(RegQueryValue(k, "missing", "fallback"), "fallback");
        assert(RegQueryValue(k, ""), ""); assert(RegCloseKey(k), -1);
    )"),
              "ok");
}

TEST_F(RegistryFunctions, KeysAreCreatedWrittenAndReadBackAndKeyZeroFailsHarmlessly) {
    EXPECT_EQ(Run(R"(
        k = RegCreateKey(HKEY_CURRENT_USER, P + "\deep\er\key");
        again = RegCreateKey(HKEY_CURRENT_USER, P + "\deep\er\key");
        assert(k != 0, -1); assert(again != 0, -1);
        assert(RegSetValue(k, "text", "hello"), -1); assert(RegSetValue(k, "number", -5), -1);
        assert(RegSetValue(k, "least", -2147483647 - 1), -1);
        assert(RegSetValue(k, "digits", "123"), -1); assert(RegSetValue(k, "", "default"), -1);
        assert(RegQueryValue(again, "text"), "hello"); assert(RegQueryValue(again, "number", "fallback"), -5);
        assert(RegQueryValue(again, "least"), -2147483647 - 1);
        assert(RegQueryValue(again, "digits"), "123"); assert(RegQueryValue(again, ""), "default");
        assert(RegCloseKey(again), -1); assert(RegCloseKey(k), -1);

        assert(RegOpenKey(HKEY_CURRENT_USER, P + "\nothing"), 0);
        assert(RegOpenKey(0, "Software"), 0); assert(RegCreateKey(0, "Software"), 0);
        assert(RegQueryValue(0, "text", "fallback"), "fallback");
        assert(RegSetValue(0, "text", 1), 0); assert(RegCloseKey(0), 0);
    )"),
              "ok");
    EXPECT_EQ(TypeOf("\\deep\\er\\key", "text"), static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(TypeOf("\\deep\\er\\key", "number"), static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(TypeOf("\\deep\\er\\key", "digits"), static_cast<DWORD>(REG_SZ))
        << "the kind decides, not the text";
}

// Deleting keys: never a root's top key or an open key itself because a
// path came out empty; below that, a key with everything under it.
TEST_F(RegistryFunctions, KeysAndValuesAreDeletedButNoRootIsWiped) {
    std::string top = "q7lib-top-" + std::to_string(std::random_device()());
    Set("TOP", top);
    EXPECT_EQ(Run(R"(
        RegCloseKey(RegCreateKey(HKEY_CURRENT_USER, P + "\a\b")); RegCloseKey(RegCreateKey(HKEY_CURRENT_USER, P + "\c"));
        RegCloseKey(RegCreateKey(HKEY_CURRENT_USER, TOP));
        k = RegOpenKey(HKEY_CURRENT_USER, P); RegSetValue(k, "v", "x"); RegSetValue(k, "w", 2);
        assert(RegDeleteKey(k, ""), 0); assert(RegDeleteKey(k, "\\"), 0); assert(RegDeleteKey(0, "x\y"), 0);
        assert(RegDeleteKey(HKEY_CURRENT_USER, TOP), 0); assert(RegDeleteKey(HKEY_CURRENT_USER, "\" + TOP + "\"), 0);
        assert(RegDeleteKey(HKEY_CURRENT_USER, TOP + "\" + chr(0)), 0); assert(RegDeleteKey(k, chr(0) + "\a"), 0);
        assert(RegDeleteKey(HKEY_CURRENT_USER, P + chr(0) + "\a"), 0); assert(RegQueryValue(k, "w"), 2);
        assert(RegDeleteKey(HKEY_CURRENT_USER, P + "\a"), -1); assert(RegOpenKey(HKEY_CURRENT_USER, P + "\a"), 0);
        assert(RegDeleteKey(HKEY_CURRENT_USER, P + "\a"), -1); assert(RegDeleteKey(k, "c"), -1);
        assert(RegDeleteValue(k, "v"), -1); assert(RegDeleteValue(k, "v"), 0); assert(RegQueryValue(k, "w"), 2);
        assert(RegCloseKey(RegOpenKey(HKEY_CURRENT_USER, TOP)), -1);
    )"),
              "ok");
    RegDeleteTreeA(HKEY_CURRENT_USER, top.c_str());
}

// Types kept or chosen, keys deleted only when empty, the views a script
// may choose; each failing call says why in GetLastFailure, each success
// clears it.
TEST_F(RegistryFunctions, TypesAreKeptOrChosenAndOnlyEmptyKeysGo) {
    Set("NOTFOUND", OsErrorText(ERROR_FILE_NOT_FOUND));
    Set("NOTEMPTY", OsErrorText(ERROR_DIR_NOT_EMPTY));
    HKEY env = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (path_ + "\\t").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &env, nullptr),
              ERROR_SUCCESS);
    Raw(env, "expand", REG_EXPAND_SZ, std::string("%TEMP%\0", 7));
    Raw(env, "multi", REG_MULTI_SZ, std::string("a\0\0", 3));
    RegCloseKey(env);
    EXPECT_EQ(Run(R"(
        k = RegOpenKey(HKEY_CURRENT_USER, P + "\t");
        assert(RegSetValue(k, "expand", "%TEMP%;%USERPROFILE%\bin"), -1); assert(RegSetValue(k, "multi", "b"), -1);
        assert(RegSetValue(k, "new", "%TEMP%", REG_EXPAND_SZ), -1); assert(RegSetValue(k, "plain", "%TEMP%", REG_SZ), -1);
        assert(RegSetValue(k, "digits", "12", REG_DWORD), -1); assert(RegSetValue(k, "five", 5, REG_SZ), -1);
        assert(RegSetValue(k, "binary", "x", 3), 0); assert(GetLastFailure() != "", -1);
        assert(RegQueryValue(k, "expand"), "%TEMP%;%USERPROFILE%\bin"); assert(RegQueryValue(k, "digits"), 12);
        assert(RegDeleteValue(k, "missing"), 0); assert(GetLastFailure(), NOTFOUND);
        assert(RegDeleteValue(k, "five"), -1); assert(GetLastFailure(), "");
        assert(RegSetView(1), 0); assert(RegSetView(KEY_WOW64_32KEY), -1); assert(RegSetView(KEY_WOW64_64KEY), -1);
        assert(RegSetView(0), -1);
        RegCloseKey(RegCreateKey(HKEY_CURRENT_USER, P + "\e\inner"));
        assert(RegDeleteEmptyKey(HKEY_CURRENT_USER, P + "\t"), 0); assert(GetLastFailure(), NOTEMPTY);
        assert(RegDeleteEmptyKey(HKEY_CURRENT_USER, P + "\e"), 0);
        assert(RegDeleteEmptyKey(HKEY_CURRENT_USER, P + "\e\inner"), -1); assert(RegDeleteEmptyKey(k, ""), 0);
        assert(RegDeleteEmptyKey(HKEY_CURRENT_USER, P + "\e"), -1); assert(RegDeleteEmptyKey(HKEY_CURRENT_USER, P + "\e"), -1);
        assert(RegCloseKey(k), -1);
    )"),
              "ok");
    const std::pair<const char*, DWORD> types[] = {{"expand", REG_EXPAND_SZ}, {"multi", REG_SZ},
                                                   {"new", REG_EXPAND_SZ},    {"plain", REG_SZ},
                                                   {"digits", REG_DWORD},     {"binary", REG_NONE}};
    for (const auto& [name, type] : types) EXPECT_EQ(TypeOf("\\t", name), type) << name;
}

// File functions say which file failed and why; a success clears it.
TEST_F(Library, FailuresSayWhyUntilTheNextCallSucceeds) {
    Set("NOTFOUND", OsErrorText(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Run(R"(
        assert(GetLastFailure(), "");
        assert(DeleteFile(D + "\missing.txt"), 0); assert(GetLastFailure(), D + "\missing.txt: " + NOTFOUND);
        assert(FileExists(D + "\missing.txt"), 0); assert(GetLastFailure(), D + "\missing.txt: " + NOTFOUND);
        assert(CreateDirectory(D + "\made"), -1); assert(GetLastFailure(), "");
        assert(WriteLog("no log"), 0);
    )"),
              "ok");
}

// The sleeping helper of the test suite (tests/support/q7sleep.cpp), by its
// Windows name: Wine shows the Unix root as drive Z:.
std::string SleepHelper() {
    const char* unixPath = std::getenv("Q7_SLEEP_HELPER");
    std::string path = unixPath ? std::string("Z:") + unixPath : std::string();
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

std::string WaitForMarker(const std::string& path) {
    for (auto end = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(50ms))
        if (fs::exists(path)) return ReadFileBytes(path);
    return {};
}

// The program started without wait sleeps long enough for a loaded machine
// to return from Execute before its marker appears.
TEST_F(Library, ExecuteStartsProgramsWaitingOrNotAndHiddenOrNot) {
    std::string helper = SleepHelper();
    ASSERT_FALSE(helper.empty()) << "Q7_SLEEP_HELPER is not set";
    Set("H", helper);
    EXPECT_EQ(Run(R"(
        assert(Execute(D + "\missing.exe"), 0); assert(Execute(D + "\missing.exe", "", 1, 1), 0);
        assert(Execute(H, "4000 " + chr(34) + D + "\running" + chr(34)), -1); assert(FileExists(D + "\running"), 0);
        assert(Execute(H, "300 " + chr(34) + D + "\waited" + chr(34), 1, 1), -1); assert(FileExists(D + "\waited"), -1);
        assert(ExecuteWait(H, "300 " + chr(34) + D + "\ended" + chr(34)), 0); assert(FileExists(D + "\ended"), -1);
        assert(ExecuteWait(H, "", TRUE), 2); assert(ExecuteWait(D + "\missing.exe"), -1);
        assert(ExecuteWait(H, "0 " + chr(34) + D + "\no\such\marker" + chr(34), 1), 1);
    )"),
              "ok");
    EXPECT_EQ(ReadFileBytes(dir / "waited"), "show=0") << "started hidden";
    EXPECT_EQ(ReadFileBytes(dir / "ended"), "show=1");
    EXPECT_EQ(WaitForMarker(dir / "running"), "show=1");
}

// The archive functions over an archive in memory: what the script sees of
// the table, and which entry lands where. What a copy does with a target
// (replacing, refusing, leaving nothing half-written) is InstallArchiveEntry's,
// whose tests run under Wine too.
TEST_F(Library, ArchiveFunctionsCountNameAndCopyTheEntriesOfTheTable) {
    MemoryArchive archive;
    archive.Add("setup.ini", "x = 1;");
    archive.Add("a.txt", "alpha");
    archive.AddBroken("broken.txt");
    archive.Load();
    host.PatcherMemory()->Unpacker = &archive.Unpacker;
    here.Enter(dir.Path());
    WriteFileBytes(dir / "keep.txt", "old");
    EXPECT_EQ(Run(R"(
        n = ArchiveFileCount(); assert(n, 3);
        assert(ArchiveFileName(0), "setup.ini"); assert(ArchiveFileName("1"), "a.txt");
        assert(ArchiveFileName(-1), ""); assert(ArchiveFileName(n), "");
        assert(ArchiveFileSize(1), 5); assert(ArchiveFileSize(n), -1);
        assert(ArchiveFileCopy(n), 0); assert(ArchiveFileCopy(-1, D + "\x.txt"), 0);
        assert(ArchiveFileCopy("1"), -1); assert(ArchiveFileCopy(1, D + "\chosen.txt"), -1);
        assert(ArchiveFileCopy(2, D + "\keep.txt"), 0);
    )"),
              "ok");
    EXPECT_EQ(ReadFileBytes(dir / "a.txt"), "alpha");
    EXPECT_EQ(ReadFileBytes(dir / "chosen.txt"), "alpha");
    EXPECT_EQ(ReadFileBytes(dir / "keep.txt"), "old");
    EXPECT_FALSE(fs::exists(dir.Path() / "x.txt"));
}

// ArchiveInstall writes only below a full path: an empty or relative folder
// (one that would land wherever the current folder happens to be) is
// refused with nothing written.
TEST_F(Library, ArchiveInstallTakesOnlyAFullFolder) {
    MemoryArchive archive;
    archive.Add("setup.ini", "x = 1;");
    archive.Add("a.txt", "alpha");
    archive.Load();
    host.PatcherMemory()->Unpacker = &archive.Unpacker;
    here.Enter(dir.Path());
    EXPECT_EQ(Run(R"(
        assert(ArchiveInstall(""), 0); assert(ArchiveInstall("app"), 0); assert(ArchiveInstall(".\app"), 0);
        assert(ArchiveInstall(substr(D, 0, 2) + "app"), 0); assert(ArchiveInstall(substr(D, 2) + "\app"), 0);
        assert(ArchiveInstall(D + "\app"), -1);
    )"),
              "ok");
    EXPECT_EQ(Snapshot(dir.Path()), (Tree{{"app", "/"}, {"app/a.txt", "alpha"}}));
}

// A host without an archive has no entries; only converting an argument
// raises a script error.
TEST_F(Library, OnlyArgumentConversionRaisesScriptErrors) {
    const struct {
        const char* call;
        const char* value;
    } cases[] = {
        {"ArchiveFileCount()", "i:0"},
        {"ArchiveFileName(0)", "s:"},
        {"ArchiveFileCopy(0)", "i:0"},
        {"ArchiveFileName(\"one\")", "cannot convert to integer: one"},
        {"ArchiveFileCopy(\"one\", \"x.txt\")", "cannot convert to integer: one"},
        {"CopyFile(\"a\", \"b\", \"fail\")", "cannot convert to integer: fail"},
        {"Execute(\"x\", \"\", \"hidden\", \"wait\")", "cannot convert to integer: wait"},
        {"Execute(\"x\", \"\", \"hidden\")", "cannot convert to integer: hidden"},
        {"RegOpenKey(\"root\", \"Software\")", "cannot convert to integer: root"},
        {"RegSetValue(\"key\", \"name\", 1)", "cannot convert to integer: key"},
        {"RegQueryValue(\"key\", \"name\")", "cannot convert to integer: key"},
        {"DirectoryExists()", "not enough parameters"},
        {"GetCurrentDirectory(1)", "too many parameters"},
    };
    for (const auto& c : cases) EXPECT_EQ(ValueOf(host, c.call), c.value) << c.call;
    EXPECT_FALSE(fs::exists(dir.Path() / "x.txt"));
}

}  // namespace
