// Unattended installs: command lines with and without the options key; a silent run's log.

#include <gtest/gtest.h>

#include <regex>

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
        return true;
    }();
    return (void)packed, dir;
}

// Text as the transcript quotes it: backslashes doubled.
std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\\' ? std::string(2, c) : std::string(1, c);
    return out;
}

// A branded installer runs another archive only when its brand accepts
// archive files; the unbranded stub always does.
TEST(Unattended, CommandLinesWithAndWithoutTheOptionsKey) {
    const std::string other = Dir() / "other.q7", installer = Dir() / "without.exe";
    const std::string damaged = "Archív modulu je poškodený.";
    const struct {
        const char* installer;
        std::string line, transcript;
    } cases[] = {
        {"with.exe", "", Answered(InfoBox("own S=0 X=0 D=[]"))},
        {"with.exe", "/S", Answered(InfoBox("own S=-1 X=0 D=[]"))},
        {"with.exe", R"(/D="a \"b\" c" /D=last)", Answered(InfoBox("own S=0 X=0 D=[last]"))},
        {"with.exe", R"(/D="a \"b\" c" )" + other, Answered(InfoBox(R"(other S=0 X=0 D=[a \"b\" c])"))},
        {"with.exe", "/X /CODE=1603", Answered(InfoBox("own S=0 X=-1 D=[]"), 1603)},
        {"with.exe", "/S missing.q7", Answered(ErrorBox(damaged), 2)},
        {"with.exe", "/S " + installer, Answered(ErrorBox("Archív modulu nie je k dispozícii: "), 3)},
        {"without.exe", "", Answered(InfoBox("own S=0 X=0 D=[]"))},
        {"without.exe", "/S", Answered(ErrorBox(damaged))},
        {"without.exe", "/S /CODE=1603 " + other, Answered(InfoBox("other S=0 X=0 D=[]"))},
        {"without.exe", other + " missing.q7", Answered(ErrorBox(damaged))},
        {"own.exe", "/S", Answered(InfoBox("own S=-1 X=0 D=[]"))},
        {"own.exe", "/S " + other, Answered(ErrorBox("Archív modulu nie je k dispozícii: " + Escaped(other)), 3)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Drive({"answer:1"}, Dir() / c.installer, {}, c.line), c.transcript)
            << c.installer << " " << c.line;
}

// The log of the runs below: $I silent.exe, $W with.exe, $A the folder, $L /LOG.
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
    "CreateDirectory(\"$A\\blocked\") = FALSE\n"
    "exit code 1603\n"
    "started: $W /CODE=x $L\n"
    "script error at line 4, column 55: cannot convert to integer: x\n"
    "exit code 6\n"
    "started: $W $L missing.q7\n"
    "fatal error: Arch\xEDv modulu je po\x9Akoden\xFD.\n"  // Windows-1250, as the box has it
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
    const std::string marks[] = {"\n", "\r\n", "$I", installer, "$W", with, "$A", app, "$L", l};
    for (size_t k = 0; k < std::size(marks); k += 2)
        for (size_t at = 0; (at = expected.find(marks[k], at)) != std::string::npos;
             at += marks[k + 1].size())
            expected.replace(at, marks[k].size(), marks[k + 1]);
    std::regex stamp("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d ", std::regex::multiline);
    EXPECT_EQ(std::regex_replace(ReadFileBytes(Dir() / "setup.log"), stamp, ""), expected);
}

}  // namespace
