// Unattended installs: command lines with and without the options key; a silent run's log.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <regex>

#include "system/uSystem.h"
#include "tests/e2e/uE2e.h"

namespace {

// Shows where it runs from and what it sees; /CODE=n sets the status.
const char kShowScript[] = R"(if (MESSAGE == INITAPP) {
  MessageBox(WHERE + " S=" + HasOption("S") + " X=" + HasOption("x") + " D=[" + GetOption("D") + "]");
  if (HasOption("CODE")) SetExitCode(GetOption("CODE"));
})";

// Installs readme.txt into /D, or with /U removes it again; fails with 1603.
const char kSilentScript[] = R"(target = GetOption("D");
ok = FALSE;
if (HasOption("U")) {
  if (DeleteFile(target + "\readme.txt")) ok = RemoveDirectory(target);
} else if (CreateDirectory(target))
  ok = ArchiveFileCopy(1, target + "\readme.txt");
if (!ok) SetExitCode(1603);)";

// Installs into /D; /PAGE asks for a page, /BOX asks a question and then
// reads a variable that does not exist. Fails with 1603, saying why.
const char kQuietScript[] = R"(if (HasOption("PAGE")) DialogBox(101);
if (HasOption("BOX")) { WriteLog("answered " + MessageBox("Go on?", "Q", MB_YESNO)); x = missing; }
if (!ArchiveInstall(GetOption("D"))) { WriteLog(GetLastFailure()); SetExitCode(1603); })";

// Starts itself again elevated with /CHILD, and ends with the copy's status
// plus 100; the copy ends with /CODE.
const char kElevateScript[] = R"(if (HasOption("CHILD")) SetExitCode(GetOption("CODE"));
else { WriteLog("admin " + IsAdmin()); SetExitCode(RunElevated("/CHILD /CODE=7") + 100); })";

// The installers and archives of the scenarios, packed once.
const TempDir& Dir() {
    static TempDir dir;
    static bool packed = [] {
        WriteFileBytes(dir / "options.ini", "[installer]\noptions = yes\narchive-files = yes\n");
        WriteFileBytes(dir / "own.ini", "[installer]\noptions = yes\n");
        Pack(dir, "with.exe", std::string("WHERE = \"own\";\n") + kShowScript, {}, true, dir / "options.ini");
        Pack(dir, "own.exe", std::string("WHERE = \"own\";\n") + kShowScript, {}, true, dir / "own.ini");
        Pack(dir, "without.exe", std::string("WHERE = \"own\";\n") + kShowScript, {}, true);
        Pack(dir, "other.q7", std::string("WHERE = \"other\";\n") + kShowScript);
        Pack(dir, "silent.exe", kSilentScript, {{"readme.txt", "hello"}}, true, dir / "options.ini");
        Pack(dir, "elevate.exe", kElevateScript, {}, true, dir / "options.ini");
        Pack(dir, "quiet.exe", kQuietScript, {{"big.bin", std::string(256 << 10, '\0')}}, true, dir / "options.ini");
        return true;
    }();
    return (void)packed, dir;
}

// A branded installer runs another archive only when its brand accepts
// archive files; the unbranded stub always does.
TEST(Unattended, CommandLinesWithAndWithoutTheOptionsKey) {
    const std::string other = Dir() / "other.q7", installer = Dir() / "without.exe";
    const std::string damaged = "Archív modulu je poškodený.";
    const struct {
        const char* installer;
        std::string line, transcript;
        bool silent = false;  // /S of an installer with options: no box, its status only
    } cases[] = {
        {"with.exe", "", Answered(InfoBox("own S=0 X=0 D=[]"))},
        {"with.exe", R"(/D="a \"b\" c" /D=last)", Answered(InfoBox("own S=0 X=0 D=[last]"))},
        {"with.exe", R"(/D="a \"b\" c" )" + other, Answered(InfoBox(R"(other S=0 X=0 D=[a \"b\" c])"))},
        {"with.exe", "/X /CODE=1603", Answered(InfoBox("own S=0 X=-1 D=[]"), 1603)},
        {"with.exe", "missing.q7", Answered(ErrorBox(damaged), 2)},
        {"with.exe", installer, Answered(ErrorBox("Archív modulu nie je k dispozícii: "), 3)},
        {"without.exe", "", Answered(InfoBox("own S=0 X=0 D=[]"))},
        {"without.exe", "/S", Answered(ErrorBox(damaged))},
        {"without.exe", "/S /CODE=1603 " + other, Answered(InfoBox("other S=0 X=0 D=[]"))},
        {"without.exe", other + " missing.q7", Answered(ErrorBox(damaged))},
        {"own.exe", "/S", "exit 0\n", true},
        {"own.exe", "/S " + other, "exit 3\n", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Drive({c.silent ? "no-window" : "answer:1"}, Dir() / c.installer, {}, c.line),
                  c.silent ? "@ no-window\n@ end\n" + c.transcript : c.transcript)
            << c.installer << " " << c.line;
}

// The driver stops at once, with the screen it saw, at a box that no
// action answers (before a page, or after the last action) and at a page
// without the control an action names.
TEST(Unattended, DriverStopsAtOnceAtAnUnaskedBoxOrAMissingControl) {
    const std::string box = InfoBox("own S=0 X=0 D=[]"), stop = "!! a box appeared that no action answers\n";
    EXPECT_EQ(Drive({"press:282"}, Dir() / "without.exe"), "@ press:282\n" + box + stop);
    EXPECT_EQ(Drive({}, Dir() / "without.exe"), "@ end\n" + box + stop);
    EXPECT_EQ(RunScript("DialogBox(101);", {"press:299"}),
              "@ press:299\n" + PageText(101) + "!! the page has no control 299\n");
}

// The log of the runs below: $I silent.exe, $W with.exe, $A the folder, $L /LOG,
// $E and $N the system's texts for a file that exists and one not found.
const char kLog[] =
    "started: $I /S /D=$A $L\n"
    "CreateDirectory(\"$A\") = TRUE\n"
    "ArchiveFileCopy(1, \"$A\\readme.txt\") = TRUE (entry readme.txt)\n"
    "exit code 0\n"
    "started: $I /S /U /D=$A $L\n"
    "DeleteFile(\"$A\\readme.txt\") = TRUE\n"
    "RemoveDirectory(\"$A\") = TRUE\n"
    "exit code 0\n"
    "started: $I /S /D=$A\\blocked $L\n"
    "CreateDirectory(\"$A\\blocked\") = FALSE - $A\\blocked: $E\n"
    "exit code 1603\n"
    "started: $W /CODE=x $L\n"
    "script error at line 4, column 55: cannot convert to integer: x\n"
    "exit code 6\n"
    "started: $W $L missing.q7\n"
    "fatal error: Arch\xEDv modulu je po\x9Akoden\xFD. - missing.q7: $N\n"  // Windows-1250, as the box has it
    "exit code 2\n";

TEST(Unattended, SilentInstallAndRemovalShowNoWindowAndLogEveryChange) {
    const std::string app = Dir() / "App", installer = Dir() / "silent.exe", with = Dir() / "with.exe";
    const std::string d = "/D=" + app, l = "/LOG=" + Dir() / "setup.log", quiet = "@ no-window\n@ end\nexit ";
    EXPECT_EQ(Drive({"no-window"}, installer, {"/S", d, l}), quiet + "0\n");
    EXPECT_EQ(ReadFileBytes(app + "\\readme.txt"), "hello");
    EXPECT_EQ(Drive({"no-window"}, installer, {"/S", "/U", d, l}), quiet + "0\n");
    EXPECT_FALSE(PathExists(app));
    WriteFileBytes(app, "");  // a file where the folder would go
    EXPECT_EQ(Drive({"no-window"}, installer, {"/S", d + "\\blocked", l}), quiet + "1603\n");
    EXPECT_EQ(Drive({"no-window"}, installer, {"/S", "/LOG=" + Dir() / "no\\such\\folder.log"}),
              quiet + "7\n");
    EXPECT_EQ(Drive({"answer:1", "answer:1"}, with, {"/CODE=x", l}),
              Step("answer:1", InfoBox("own S=0 X=0 D=[]")) +
                  Answered(ScriptErrorBox(4, 55, "cannot convert to integer: x"), 6));
    EXPECT_EQ(Drive({"answer:1"}, with, {l, "missing.q7"}),
              Answered(ErrorBox("Archív modulu je poškodený."), 2));

    std::string expected = kLog;
    const std::string marks[] = {"\n", "\r\n", "$I", installer, "$W", with, "$A", app, "$L", l,
                                 "$E", OsErrorText(ERROR_ALREADY_EXISTS), "$N", OsErrorText(ERROR_FILE_NOT_FOUND)};
    for (size_t k = 0; k < std::size(marks); k += 2)
        for (size_t at = 0; (at = expected.find(marks[k], at)) != std::string::npos;
             at += marks[k + 1].size())
            expected.replace(at, marks[k].size(), marks[k + 1]);
    std::regex stamp("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d ", std::regex::multiline);
    EXPECT_EQ(std::regex_replace(ReadFileBytes(Dir() / "setup.log"), stamp, ""), expected);
}

// Under /S nothing is shown: a mis-quoted folder taken for an archive, a
// damaged archive, a script's question and error, a page and a full disk
// each end the run with a status and leave the reason in the log. The full
// disk is the fixture's 64 KiB drive, where this machine lets it mount one.
TEST(Unattended, SilentRunsShowNoWindowAndLogWhyTheyFailed) {
    const std::string quiet = Dir() / "quiet.exe", log = Dir() / "quiet.log", app = Dir() / "Quiet";
    std::string damaged = Pack(Dir(), "damaged.q7", "x = 1;");
    PatchFile(damaged, 21, std::string(1, '\0'));  // setup.ini's zlib stream starts at 21
    const char* state = std::getenv("Q7_WINE_STATE");
    std::string full = state ? WinePath(std::string(state) + "/full") + "\\App" : "";
    ULARGE_INTEGER room{};
    bool small = !full.empty() && GetDiskFreeSpaceExA(full.substr(0, full.size() - 4).c_str(), &room, nullptr, nullptr) &&
                 room.QuadPart < (1 << 20);
    const std::string notFound = OsErrorText(ERROR_PATH_NOT_FOUND), diskFull = OsErrorText(ERROR_DISK_FULL);
    const struct {
        std::string line, status;
        std::vector<std::string> logged;
    } cases[] = {
        {"/S /D=C:\\Program Files\\Quiet", "2",
         {"fatal error: Arch\xEDv modulu je po\x9Akoden\xFD. - Files\\Quiet: " + notFound + "\r\n"}},
        {"/S " + damaged, "5", {"setup.ini - Uncompressing failed\r\n"}},
        {"/S /BOX", "6",
         {"message box: Go on?\r\n", "script: answered 7\r\n",
          "script error at line 2, column 97: not a variable: missing\r\n"}},
        {"/S /PAGE /D=" + app, "6", {"page 101 not shown: silent run\r\n"}},
        {"/S /D=" + full, "1603",
         {") = FALSE - " + full + "\\big.bin cannot be written: " + diskFull + "\r\n",
          "script: " + full + "\\big.bin cannot be written: " + diskFull + "\r\n"}},
    };
    for (const auto& c : cases) {
        if (c.status == "1603" && !small) {
            std::cout << "[ SKIPPED  ] the full disk: no small drive at " << full << "\n";
            continue;
        }
        std::filesystem::remove(log);
        EXPECT_EQ(Drive({"no-window"}, quiet, {}, c.line + " /LOG=" + log), "@ no-window\n@ end\nexit " + c.status + "\n")
            << c.line;
        for (const std::string& line : c.logged) EXPECT_TRUE(Contains(ReadFileBytes(log), line)) << c.line;
    }
}

// The elevated copy gets the command line as it was plus the options
// added, and the first run waits for it and ends with what it answered.
TEST(Unattended, RunElevatedWaitsForTheCopyAndTakesItsStatus) {
    const std::string log = Dir() / "elevate.log", installer = Dir() / "elevate.exe";
    EXPECT_EQ(Drive({"no-window"}, installer, {"/S", "/LOG=" + log}), "@ no-window\n@ end\nexit 107\n");
    std::string text = ReadFileBytes(log);
    for (const std::string& line : {"started: \"" + installer + "\" /S /LOG=" + log + " /CHILD /CODE=7\r\n",
                                    std::string("script: admin -1\r\n"), std::string("RunElevated(\"/CHILD /CODE=7\") = 7\r\n")})
        EXPECT_TRUE(Contains(text, line));
}

}  // namespace
