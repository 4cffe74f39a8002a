// The installer host as a user sees it: script errors shown with their line
// and column, and the events that a page raises in the script.

#include <gtest/gtest.h>

#include "script/uScript.h"
#include "scriptlib/installer/uPatcherCheck.h"
#include "tests/e2e/uE2e.h"

namespace {

TEST(ScriptErrors, InACommandBranchLeaveThePageUsable) {
    const char script[] =
        "if (MESSAGE == INITAPP) {\r\n"
        "  page = DialogBox(101);\r\n"
        "  MessageBox(\"DialogBox \" + page + \", MESSAGE \" + MESSAGE + \", WPARAM \" + WPARAM);\r\n"
        "}\r\n"
        "if (MESSAGE == COMMAND) {\r\n"
        "  if (WPARAM == 282) error(\"no next page\");\r\n"
        "  if (WPARAM == 280) EndDialog(5);\r\n"
        "}\r\n";
    std::string page = PageText(101);
    std::string error = ScriptErrorBox(6, 42, "no next page") + page;
    // MESSAGE is 0 behind DialogBox: the page's last event was its WM_DESTROY.
    EXPECT_EQ(RunScript(script, {"press:282", "answer:1", "press:282", "answer:1", "press:280", "answer:1"}),
              Step("press:282", page) + Step("answer:1", error) + Step("press:282", page) +
                  Step("answer:1", error) + Step("press:280", page) +
                  Answered(InfoBox("DialogBox 5, MESSAGE 0, WPARAM 0")));
}

// A string doubled until the process cannot hold it: the library's fault
// (its largest size passed, or memory refused) reaches the event's
// boundary, which shows the exception box, and the installer ends as
// usual. Only the 32-bit installer gets there within its address space; a
// 64-bit one would fill the machine's memory first.
TEST(Faults, AStringGrownPastWhatTheProcessHoldsShowsTheExceptionBox) {
    if (!InstallerBuild().I686) GTEST_SKIP() << "needs the 32-bit installer's address space";
    EXPECT_EQ(RunScript("s = \"x\";\r\nwhile (1) s = s + s;\r\n", {"answer:1"}),
              Answered(ErrorBox("Počas inštalácie sa vyskytla výnimka.")));
}

// The deepest nesting the engine allows, of its costliest kind (call
// arguments), fits the stack of the installer's main thread; one level more
// is refused before anything runs (the box of the first statement never
// shows), where the engine's own check places it.
TEST(Nesting, TheDeepestAllowedRunsAndOneMoreIsRefusedBeforeAnythingRuns) {
    auto nested = [](int32_t levels) {
        std::string calls;
        for (int32_t i = 0; i < levels; ++i) calls += "abs(";
        return "MessageBox(\"ran\");\r\nx = " + calls + "7" + std::string(static_cast<size_t>(levels), ')') +
               ";\r\nMessageBox(\"deepest \" + x);\r\n";
    };
    const int32_t deepest = TScript::MaxDepth - 2;
    ASSERT_FALSE(CheckPatcherScript(nested(deepest)).has_value());
    EXPECT_EQ(RunScript(nested(deepest), {"answer:1", "answer:1"}),
              Step("answer:1", InfoBox("ran")) + Answered(InfoBox("deepest 7")));

    std::optional<TScriptProblem> tooDeep = CheckPatcherScript(nested(deepest + 1));
    ASSERT_TRUE(tooDeep.has_value());
    ASSERT_EQ(tooDeep->Message, "nesting too deep");
    TempDir dir;
    EXPECT_EQ(Drive({"answer:1"}, InstallerExe(), {PackUnchecked(dir, "deeper.q7", nested(deepest + 1))}),
              Answered(ScriptErrorBox(tooDeep->Line, tooDeep->Column, tooDeep->Message)));
}

TEST(Events, OfAPageReachTheScriptWithTheirParameters) {
    // Every event of the page is logged as MESSAGE WPARAM LPARAM; the log is
    // shown when DialogBox has returned.
    const char script[] =
        "if (MESSAGE == INITAPP) {\r\n"
        "  log = \"\";\r\n"
        "  page = DialogBox(102, 7);\r\n"
        "  MessageBox(\"DialogBox \" + page + log);\r\n"
        "} else\r\n"
        "  log = log + \" | \" + MESSAGE + \" \" + WPARAM + \" \" + LPARAM;\r\n"
        "if (MESSAGE == COMMAND) if (WPARAM == 222) EndDialog(9);\r\n";
    std::string page = PageText(102);
    // The platform answers an unhandled WM_CLOSE with the command IDCANCEL.
    EXPECT_EQ(RunScript(script, {"key:esc", "key:enter", "press:281", "close", "press:222", "answer:1"}),
              Step("key:esc", page) + Step("key:enter", page) + Step("press:281", page) +
                  Step("close", page) + Step("press:222", page) +
                  Answered(InfoBox(
                      "DialogBox 9 | 2 0 7 | 4 2 0 | 4 283 0 | 4 281 0 | 3 0 0 | 4 2 0 | 4 222 0 | 0 0 0")));
}

}  // namespace
