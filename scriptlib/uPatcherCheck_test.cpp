#include "scriptlib/uPatcherCheck.h"

#include <gtest/gtest.h>

#include "scriptlib/uPatcherTable.h"

namespace {

void ExpectProblem(const std::string& script, int32_t line, int32_t column, const std::string& message) {
    auto problem = CheckPatcherScript(script);
    ASSERT_TRUE(problem.has_value()) << script;
    EXPECT_EQ(problem->Line, line) << script;
    EXPECT_EQ(problem->Column, column) << script;
    EXPECT_EQ(problem->Message, message) << script;
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
    EXPECT_EQ(PatcherFunctionCount, 37u);
    EXPECT_EQ(PatcherConstantCount, 33u);
}

TEST(CheckPatcherScript, FindsErrorsInBranchesThatNeverRun) {
    ExpectProblem("if (MESSAGE == COMMAND) {\n  x = 1;\n  MessageBox();\n}\n", 3, 14,
                  "not enough parameters");
    ExpectProblem("if (0) EndDialog(1, 2);", 1, 21, "too many parameters");
    ExpectProblem("x = 1;\nInstall(1);\n", 2, 8, "not a function: Install");
    ExpectProblem("print(\"open);\n", 1, 7, "string not terminated");
}

TEST(FormatScriptProblem, PointsAtTheColumnUnderTheLine) {
    std::string text = "x = 1;\r\n\tif (x) y = ;\r\nz = 2;";
    TScriptProblem problem{2, 13, "expression expected", ""};
    EXPECT_EQ(FormatScriptProblem("setup.ini", text, problem),
              "setup.ini:2:13: expression expected\n\tif (x) y = ;\n\t           ^\n");
    TScriptProblem atEnd{3, 7, "} expected", "more"};
    EXPECT_EQ(FormatScriptProblem("s.ini", text, atEnd),
              "s.ini:3:7: } expected\nz = 2;\n      ^\ns.ini:3:7: note: more\n");
}

}  // namespace
