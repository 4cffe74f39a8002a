// The installer host in-process, for everything that shows no window: the
// dialog stack, events, the colour answers, and the
// dialog functions outside any page. Pages and boxes are the end-to-end
// scenarios' (tests/e2e).

#include "scriptlib/uPatcherScript.h"

#include <gtest/gtest.h>

#include "scriptlib/installer/uPatcherTable.h"
#include "tests/support/ScriptHarness.h"

namespace {

TEST(PatcherMemory, DialogStackRestoresInReverseAndEmptiesToNoWindow) {
    TPatcherMemory memory;
    HWND a = reinterpret_cast<HWND>(0x10), b = reinterpret_cast<HWND>(0x20);
    memory.PushDialog(memory.CurrentDialog, a);
    memory.PushDialog(memory.CurrentDialog, b);
    EXPECT_EQ(memory.CurrentDialog, b);
    memory.PopDialog(memory.CurrentDialog);
    EXPECT_EQ(memory.CurrentDialog, a);
    memory.PopDialog(memory.CurrentDialog);
    EXPECT_EQ(memory.CurrentDialog, nullptr);
    memory.CurrentDialog = a;
    memory.PopDialog(memory.CurrentDialog);
    EXPECT_EQ(memory.CurrentDialog, nullptr);
    EXPECT_TRUE(memory.DialogStack.empty());
}

// "name min..max" of each registered function with a handler, in order.
std::vector<std::string> Registered(const TScriptMemory& memory) {
    std::vector<std::string> names;
    for (const TFunction& f : memory.Functions)
        if (f.Handler)
            names.push_back(f.Name + " " + std::to_string(f.MinArgs) + ".." + std::to_string(f.MaxArgs));
    return names;
}

// The host registers the base library, then exactly the list of installer
// functions in its order: a function registered any other way, or an entry
// left out, fails here.
TEST(PatcherMemory, RegistersTheBaseLibraryThenExactlyTheListOfInstallerFunctions) {
    std::vector<std::string> expected = Registered(TBaseLibMemory());
    for (const TPatcherFunctionSpec& f : PatcherFunctions)
        expected.push_back(std::string(f.Name) + " " + std::to_string(f.MinArgs) + ".." +
                           std::to_string(f.MaxArgs));
    TPatcherMemory memory;
    EXPECT_EQ(Registered(memory), expected);
    EXPECT_EQ(memory.Functions.size(), expected.size());
}

TEST(RunEvent, SetsTheEventVariablesAndMarksTheScriptChecked) {
    TPatcherScript host;
    host.PatcherMemory()->ScriptText = "seen = MESSAGE * 1000 + WPARAM * 10 + LPARAM; TRUE = 1;";
    EXPECT_EQ(host.Memory->FindVariable("MESSAGE"), -1);
    host.RunEvent(evCommand, 282, 3);
    EXPECT_TRUE(host.PatcherMemory()->ScriptChecked);
    EXPECT_EQ(host.Parser, nullptr) << "the outer (no) lexer is back";
    EXPECT_EQ(ValueOf(host, "seen"), "i:6823");
    EXPECT_EQ(ValueOf(host, "TRUE"), "i:1");
    EXPECT_EQ(ValueOf(host, "GetDlgItemCheck(1) + 0"), "i:0");
}

TEST(DialogProc, AnswersTheColourMessagesFromCOLORDLG) {
    TPatcherScript host;
    ActiveScript = &host;
    HDC dc = CreateCompatibleDC(nullptr);
    auto answer = [&] { return DialogProc(nullptr, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), 0); };
    EXPECT_EQ(answer(), 0) << "no COLORDLG: the platform's colours";
    const struct {
        const char* value;
        INT_PTR brush;
    } cases[] = {{"5", reinterpret_cast<INT_PTR>(GetSysColorBrush(5))},
                 {"\"15\"", reinterpret_cast<INT_PTR>(GetSysColorBrush(15))},
                 {"\"window\"", 0},
                 {"-1", 0}};
    for (const auto& c : cases) {
        ValueOf(host, std::string("COLORDLG = ") + c.value);
        EXPECT_EQ(answer(), c.brush) << c.value;
        EXPECT_EQ(DialogProc(nullptr, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dc), 0), c.brush) << c.value;
    }
    ASSERT_EQ(ValueOf(host, "COLORDLG = 5"), "i:5");
    SetBkColor(dc, RGB(1, 2, 3));
    answer();
    EXPECT_EQ(GetBkColor(dc), GetSysColor(5));
    DeleteDC(dc);
    ActiveScript = nullptr;
}

TEST(DialogFunctions, OutsideAnyPageFailAsThePlatformDoes) {
    TPatcherScript host;
    EXPECT_EQ(ValueOf(host, "GetDlgItemText(211)"), "s:");
    for (const char* call :
         {"EndDialog(1)", "SetDlgItemText(211, \"x\")", "GetDlgItemCheck(211)", "SetDlgItemCheck(211, 1)",
          "EnableDlgItem(211, 1)", "ShowDlgItem(211, 1)", "SendDlgItemMessage(211, 14)"})
        EXPECT_EQ(ValueOf(host, call), "i:0") << call;
}

TEST(DialogFunctions, TemplatesThatDoNotExistOpenNoPage) {
    TPatcherScript host;
    for (const char* page : {"12345", "\"101\"", "\"\"", "0", "-1", "65637"})
        EXPECT_EQ(ValueOf(host, std::string("DialogBox(") + page + ")"), "i:-1") << page;
}

TEST(DialogFunctions, LoadStringAndLoadIconReadTheExecutablesResources) {
    TPatcherScript host;
    EXPECT_EQ(ValueOf(host, "LoadString(1)"),
              "s:In\x9Atal\xE1"
              "cia prebehla \xFA"
              "spe\x9Ane.");
    EXPECT_NE(ValueOf(host, "LoadString(2)").find('\n'), std::string::npos);
    EXPECT_EQ(ValueOf(host, "LoadString(4)"), "s: ");
    for (const char* missing : {"99", "-1", "65537"})
        EXPECT_EQ(ValueOf(host, std::string("LoadString(") + missing + ")"), "s:") << missing;

    EXPECT_EQ(ValueOf(host, "LoadIcon(IDI_ERROR)"),
              "i:" + std::to_string(static_cast<int32_t>(
                         reinterpret_cast<INT_PTR>(LoadIconA(nullptr, MAKEINTRESOURCEA(32513))))));
    for (const char* missing : {"30001", "\"nothing\"", "0", "98304"})
        EXPECT_EQ(ValueOf(host, std::string("LoadIcon(") + missing + ")"), "i:0") << missing;
}

TEST(DialogFunctions, ConvertTheirIntegerArgumentsInTheirOrder) {
    TPatcherScript host;
    const struct {
        const char* call;
        const char* error;
    } cases[] = {
        {"MessageBox(\"text\", \"caption\", \"flags\")", "cannot convert to integer: flags"},
        {"SetDlgItemCheck(\"id\", \"state\")", "cannot convert to integer: state"},
        {"SetDlgItemIcon(\"id\", \"icon\")", "cannot convert to integer: icon"},
        {"EnableDlgItem(\"id\", \"state\")", "cannot convert to integer: state"},
        {"ShowDlgItem(\"id\", \"state\")", "cannot convert to integer: state"},
        {"SendDlgItemMessage(\"id\", \"message\", \"w\", \"l\")", "cannot convert to integer: message"},
        {"DialogBox(\"page\", \"init\")", "cannot convert to integer: init"},
        {"LoadString(\"id\")", "cannot convert to integer: id"},
    };
    for (const auto& c : cases) EXPECT_EQ(ValueOf(host, c.call), c.error) << c.call;
}

}  // namespace
