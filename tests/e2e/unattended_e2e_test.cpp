// Unattended installs as a package manager runs them: which archive an
// installer reads and which options its script sees for each command line,
// with and without the brand's options key, the status it ends with, and
// the log of a silent installation.

#include <gtest/gtest.h>

#include <regex>

#include "tests/e2e/uE2e.h"

namespace {

// Shows where it runs from and what it sees; /CODE=n sets the status.
const char kShowScript[] =
    "if (MESSAGE == INITAPP) {\n"
    "  MessageBox(WHERE + \" S=\" + HasOption(\"S\") + \" X=\" + HasOption(\"x\") + \" D=[\" + GetOption(\"D\") + \"]\");\n"
    "  if (HasOption(\"CODE\")) SetExitCode(GetOption(\"CODE\"));\n"
    "}\n";

// Installs readme.txt into /D, or with /U removes it again; fails with 1603.
const char kSilentScript[] =
    "target = GetOption(\"D\");\n"
    "ok = FALSE;\n"
    "if (HasOption(\"U\")) {\n"
    "  if (DeleteFile(target + \"\\readme.txt\")) ok = RemoveDirectory(target);\n"
    "} else if (CreateDirectory(target)) {\n"
    "  ok = ArchiveFileCopy(1, target + \"\\readme.txt\");\n"
    "}\n"
    "if (!ok) SetExitCode(1603);\n";

class Unattended : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        WriteFileBytes(*dir_ / "options.ini", "[installer]\noptions = yes\n");
        Pack(*dir_, "with.exe", std::string("WHERE = \"own\";\n") + kShowScript, {}, true, *dir_ / "options.ini");
        Pack(*dir_, "without.exe", std::string("WHERE = \"own\";\n") + kShowScript, {}, true);
        Pack(*dir_, "other.q7", std::string("WHERE = \"other\";\n") + kShowScript);
        Pack(*dir_, "silent.exe", kSilentScript, {{"readme.txt", "hello"}}, true, *dir_ / "options.ini");
        WriteFileBytes(*dir_ / "empty.q7", "");
    }
    static void TearDownTestSuite() { delete dir_; }
    static TempDir* dir_;
};
TempDir* Unattended::dir_ = nullptr;

// The box of kShowScript, its text escaped as the transcript does.
// The end of a run that showed one box (the information box of kShowScript
// unless error), its text escaped as the transcript does.
std::string Ran(const std::string& text, int status, bool error = false) {
    std::string escaped;
    for (char c : text) escaped += c == '\\' || c == '"' ? std::string("\\") + c : std::string(1, c);
    return "@ answer:1\n" + (error ? ErrorBox(escaped) : InfoBox(escaped)) + "@ end\nexit " +
           std::to_string(status) + "\n";
}

TEST_F(Unattended, CommandLinesWithAndWithoutTheOptionsKey) {
    const std::string other = *dir_ / "other.q7", empty = *dir_ / "empty.q7";
    const std::string damaged = "Archív modulu je poškodený.", unavailable = "Archív modulu nie je k dispozícii: ";
    const struct {
        const char* installer;
        std::string line, transcript;
    } cases[] = {
        {"with.exe", "", Ran("own S=0 X=0 D=[]", 0)},
        {"with.exe", "/S", Ran("own S=-1 X=0 D=[]", 0)},
        {"with.exe", R"(/S /D="C:\Program Files\App")", Ran("own S=-1 X=0 D=[C:\\Program Files\\App]", 0)},
        {"with.exe", R"(/s /D="C:\Program Files\App)", Ran("own S=-1 X=0 D=[C:\\Program Files\\App]", 0)},
        {"with.exe", R"(/D="a \"b\" c" /D=)" + other, Ran("own S=0 X=0 D=[" + other + "]", 0)},
        {"with.exe", R"(/D="a \"b\" c" )" + other, Ran("other S=0 X=0 D=[a \"b\" c]", 0)},
        {"with.exe", "/X /CODE=1603", Ran("own S=0 X=-1 D=[]", 1603)},
        {"with.exe", "/S missing.q7", Ran(damaged, 2, true)},
        {"with.exe", "/S " + empty, Ran(unavailable, 3, true)},
        {"without.exe", "", Ran("own S=0 X=0 D=[]", 0)},
        {"without.exe", "/S", Ran(damaged, 0, true)},
        {"without.exe", R"(/S /D="C:\Program Files\App")", Ran(damaged, 0, true)},
        {"without.exe", "/S /CODE=1603 " + other, Ran("other S=0 X=0 D=[]", 0)},
        {"without.exe", other + " missing.q7", Ran(damaged, 0, true)},
        {"without.exe", "/S " + empty, Ran(unavailable, 0, true)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Drive({"answer:1"}, *dir_ / c.installer, {}, c.line), c.transcript) << c.installer << " " << c.line;
}

// The log's lines without their time stamps.
std::string LogLines(const std::string& path) {
    std::string log = ReadFileBytes(path);
    return std::regex_replace(log, std::regex("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d ", std::regex::multiline), "");
}

TEST_F(Unattended, SilentInstallAndRemovalShowNoWindowAndLogEveryChange) {
    const std::string app = *dir_ / "App", log = *dir_ / "setup.log", installer = *dir_ / "silent.exe";
    const std::string d = "/D=" + app, l = "/LOG=" + log;
    EXPECT_EQ(Drive({"no-window"}, installer, {"/S", d, l}), "@ no-window\n" + std::string(kEnd));
    EXPECT_EQ(ReadFileBytes(app + "\\readme.txt"), "hello");
    EXPECT_EQ(Drive({"no-window"}, installer, {"/S", "/U", d, l}), "@ no-window\n" + std::string(kEnd));
    EXPECT_FALSE(PathExists(app));
    const std::string blocked = *dir_ / "empty.q7\\App";
    EXPECT_EQ(Drive({"no-window"}, installer, {"/S", "/D=" + blocked, l}), "@ no-window\n@ end\nexit 1603\n");
    EXPECT_EQ(Drive({"no-window"}, installer, {"/S", "/LOG=" + *dir_ / "no\\such\\folder.log"}),
              "@ no-window\n@ end\nexit 7\n");

    const std::string start = "started: " + installer + " /S ";
    EXPECT_EQ(LogLines(log),
              start + d + " " + l + "\r\n" +
              "CreateDirectory(\"" + app + "\") = TRUE\r\n"
              "ArchiveFileCopy(1, \"" + app + "\\readme.txt\") = TRUE (entry readme.txt)\r\n"
              "exit code 0\r\n" +
              start + "/U " + d + " " + l + "\r\n" +
              "DeleteFile(\"" + app + "\\readme.txt\") = TRUE\r\n"
              "RemoveDirectory(\"" + app + "\") = TRUE\r\n"
              "exit code 0\r\n" +
              start + "/D=" + blocked + " " + l + "\r\n" +
              "CreateDirectory(\"" + blocked + "\") = FALSE\r\n"
              "exit code 1603\r\n");
}

}  // namespace
