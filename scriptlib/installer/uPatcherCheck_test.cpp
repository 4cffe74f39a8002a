#include "scriptlib/installer/uPatcherCheck.h"

#include <gtest/gtest.h>

#include "scriptlib/installer/uPatcherTable.h"

namespace {

// "line:column: message", and " (note)" when there is one.
std::string Problem(const std::string& script) {
    auto p = CheckPatcherScript(script);
    if (!p) return "passes";
    return std::to_string(p->Line) + ":" + std::to_string(p->Column) + ": " + p->Message +
           (p->Note.empty() ? "" : " (" + p->Note + ")");
}

TEST(CheckPatcherScript, KnowsEveryInstallerConstantAndFunction) {
    std::string script = "x = INITAPP + MB_YESNO + HKEY_CURRENT_USER + IDI_WINLOGO + TRUE;\n";
    for (size_t i = 0; i < PatcherFunctionCount; ++i) {
        const TPatcherFunctionSpec& f = PatcherFunctions[i];
        std::string args;
        for (int32_t n = 0; n < f.MinArgs; ++n) args += n ? ", 1" : "1";
        script += std::string("if (0) ") + f.Name + "(" + args + ");\n";
    }
    EXPECT_FALSE(CheckPatcherScript(script).has_value()) << script;
    EXPECT_FALSE(CheckPatcherScript("").has_value());
}

// Errors in branches that never run, and the note on a call's error: the
// counts the function takes (the call still open where the error stands),
// or the function whose name differs only in case.
TEST(CheckPatcherScript, FindsErrorsInBranchesThatNeverRunAndNotesWhatTheCallTakes) {
    const std::pair<const char*, const char*> cases[] = {
        {"if (MESSAGE == COMMAND) {\n  x = 1;\n  MessageBox();\n}\n",
         "3:14: not enough parameters (MessageBox takes 1 to 3 arguments)"},
        {"if (0) EndDialog(1, 2);", "1:21: too many parameters (EndDialog takes 0 or 1 argument)"},
        {"x = strlen(substr(\"ab\", 1), 2);", "1:29: too many parameters (strlen takes 1 argument)"},
        {"if (0) ReadIni(\"a.ini\", \"s\");", "1:28: not enough parameters (ReadIni takes 3 or 4 arguments)"},
        {"x = 1;\nInstall(1);\n", "2:8: not a function: Install"},
        {"messagebox(\"a\");",
         "1:11: not a function: messagebox (the installer has MessageBox; function names are case-sensitive)"},
        {"print(\"open);\n", "1:7: string not terminated"},
        {"a = 99999999999;", "1:5: not a integer literal: 99999999999"},
    };
    for (const auto& [script, problem] : cases) EXPECT_EQ(Problem(script), problem) << script;
}

TEST(FormatScriptProblem, PointsAtTheColumnUnderTheLine) {
    std::string text = "x = 1;\r\n\tif (x) y = ;\r\nz = 2;";
    TScriptProblem problem{2, 13, "expression expected", ""};
    EXPECT_EQ(FormatScriptProblem("setup.ini", text, problem),
              "setup.ini:2:13: expression expected\n\tif (x) y = ;\n\t           ^\n");
    TScriptProblem atEnd{3, 7, "} expected", "more"};
    EXPECT_EQ(FormatScriptProblem("s.ini", text, atEnd),
              "s.ini:3:7: } expected\nz = 2;\n      ^\ns.ini:3:7: note: more\n");
    // Control bytes of a hostile script reach no terminal raw; the caret
    // still stands under its byte.
    TScriptProblem hostile{1, 9, "invalid character: \x1b", ""};
    EXPECT_EQ(FormatScriptProblem("h.ini", "a=1;\rb=\x7f\x1b[2J", hostile),
              "h.ini:1:9: invalid character: \\x1b\na=1;\\x0db=\\x7f\\x1b[2J\n" + std::string(14, ' ') + "^\n");
}

}  // namespace
