// The dialog and message functions on the installer's own pages and boxes,
// as the UI driver sees them.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "tests/e2e/uE2e.h"

namespace {

// A page that opens another page from its own INITDIALOG nests without end.
// It must not crash the installer: the platform stops creating pages (or the
// engine's depth limit, which nested events count on from, stops the
// script) and the chain unwinds with the failure.
TEST(DialogBoxes, RunawayNestingUnwindsInsteadOfCrashing) {
    const char script[] =
        "if (MESSAGE == INITAPP) MessageBox(\"outer \" + DialogBox(101));\r\n"
        "if (MESSAGE == INITDIALOG) EndDialog(DialogBox(101));\r\n";
    EXPECT_EQ(RunScript(script, {"answer:1"}), Answered(InfoBox("outer -1")));
}

// A wizard over the three templates whose pages report the results of the
// control functions in their own static texts.
const char kWizard[] =
    "if (MESSAGE == INITAPP) {\r\n"
    "  page = 101;\r\n"
    "  while (page > 0) page = DialogBox(page);\r\n"
    "  MessageBox(\"folder '\" + folder + \"'\");\r\n"
    "}\r\n"
    "if (MESSAGE == INITDIALOG) {\r\n"
    "  if (page == 101) {\r\n"
    "    r = \"set \" + SetDlgItemText(213, GetDlgItemText(211));\r\n"
    "    r = r + \", enable \" + EnableDlgItem(281, 1) + \" \" + EnableDlgItem(281, 1);\r\n"
    "    r = r + \", show \" + ShowDlgItem(212, 0) + \" \" + ShowDlgItem(212, 0);\r\n"
    "    r = r + \", check \" + GetDlgItemCheck(282) + \" \" + SetDlgItemCheck(282, 1);\r\n"
    "    r = r + \", missing '\" + GetDlgItemText(299) + \"' \" + SetDlgItemText(299, \"x\") + \" \" +\r\n"
    "        ShowDlgItem(299, 1) + \" \" + SendDlgItemMessage(299, 14);\r\n"
    "    SetDlgItemText(211, r);\r\n"
    "  }\r\n"
    "  if (page == 102) {\r\n"
    "    SetDlgItemText(221, \"C:\\Program Files\\Q7\");\r\n"
    "    n = SendDlgItemMessage(221, 14);\r\n"
    "    SendDlgItemMessage(220, 12, 0, \"length \" + n + \" of '\" + GetDlgItemText(221) + \"'\");\r\n"
    "  }\r\n"
    "  if (page == 103) {\r\n"
    "    r = \"icon \" + SetDlgItemIcon(231, LoadIcon(IDI_ERROR)) + \" \" + SetDlgItemIcon(299, LoadIcon(1));\r\n"
    "    SetDlgItemText(232, LoadString(2) + \" (\" + r + \")\");\r\n"
    "    SetDlgItemText(280, \"Hotovo\");\r\n"
    "    ShowDlgItem(281, 0);\r\n"
    "  }\r\n"
    "}\r\n"
    "if (MESSAGE == COMMAND) {\r\n"
    "  if (WPARAM == 282) EndDialog(102);\r\n"
    "  if (WPARAM == 283) { folder = GetDlgItemText(221); EndDialog(103); }\r\n"
    "  if (WPARAM == 280) EndDialog(0);\r\n"
    "}\r\n";

TEST(ControlFunctions, ReadAndChangeTheControlsOfTheThreePages) {
    std::string welcome = "Vitajte v sprievodcovi inštaláciou programu Q7 Zápisník 5.1.";
    std::string page101 = PageText(
        101, {{"  211 ", "  211 Static \"set -1, enable -1 0, show -1 0, check 0 0, missing '' 0 0 0\""},
              {"  212 ", "+ hidden"},
              {"  213 ", "  213 Static \"" + welcome + "\""},
              {"  281 ", "  281 Button \"< Späť\""}});
    const std::pair<std::string, std::string> length = {
        "  220 ", "  220 Static \"length 19 of 'C:\\\\Program Files\\\\Q7'\""};
    std::string page102 = PageText(102, {length,
                                         {"  221 ", "  221 Edit \"C:\\\\Program Files\\\\Q7\""},
                                         {"  224 ", "  224 Static \"Voľné miesto: (size)\""}});
    std::string page102typed = PageText(102, {length, {"  221 ", "  221 Edit \"D:\\\\Apps\\\\Q7\""}});
    // The first of the two controls 280 is the one the functions reach.
    std::string page103 = PageText(103, {{"  231 ", "  231 Static icon=error"},
                                         {"  232 ",
                                          "  232 Static \"Počas inštalácie sa vyskytli "
                                          "chyby.\\nOspravedlňujeme sa Vám za problémy. (icon -1 0)\""},
                                         {"  281 ", "+ hidden"},
                                         {"  280 ", "  280 Button \"Hotovo\" default"}});
    EXPECT_EQ(
        RunScript(kWizard, {"press:282", "type:221:D:\\Apps\\Q7", "press:283", "press:280", "answer:1"}),
        Step("press:282", page101) + Step("type:221:D:\\Apps\\Q7", page102) +
            Step("press:283", page102typed) + Step("press:280", page103) +
            Answered(InfoBox("folder 'D:\\\\Apps\\\\Q7'")));
}

TEST(MessageBoxes, ShowTheirArgumentsAndReturnTheAnswer) {
    const char script[] =
        "a = MessageBox(\"Pokra\xe8ova\x9d?\", \"Ot\xe1zka\", MB_YESNO + MB_ICONQUESTION);\r\n"
        "b = MessageBox(\"Naozaj?\", \"Ot\xe1zka\", MB_YESNO | MB_ICONQUESTION);\r\n"
        "c = MessageBox(\"Hotovo\");\r\n"
        "d = MessageBox(12, 34, MB_OKCANCEL + MB_ICONWARNING);\r\n"
        "MessageBox(\"answers \" + a + \" \" + b + \" \" + c + \" \" + d, \"V\xfdsledok\", MB_ICONERROR);\r\n"
        "MessageBox(\"never shown\", \"Chyba\", \"abc\");\r\n";
    EXPECT_EQ(RunScript(script, {"answer:6", "answer:7", "answer:1", "answer:2", "answer:1", "answer:1"}),
              Step("answer:6", Box("Otázka", "question", "Pokračovať?", "6 7")) +
                  Step("answer:7", Box("Otázka", "question", "Naozaj?", "6 7")) +
                  Step("answer:1", InfoBox("Hotovo")) + Step("answer:2", Box("34", "warning", "12", "1 2")) +
                  Step("answer:1", Box("Výsledok", "error", "answers 6 7 1 2", "1")) +
                  Answered(ScriptErrorBox(6, 41, "cannot convert to integer: abc")));
}

// "#rrggbb" of system colour index.
std::string SystemColour(int index) {
    COLORREF c = GetSysColor(index);
    char text[8];
    snprintf(text, sizeof text, "#%02x%02x%02x", GetRValue(c), GetGValue(c), GetBValue(c));
    return text;
}

std::string ColourLines(const std::string& transcript) {
    std::istringstream in(transcript);
    std::string line, colours;
    while (std::getline(in, line))
        if (line.rfind("colour ", 0) == 0) colours += line + "\n";
    return colours;
}

TEST(COLORDLG, ColoursThePagesAndTheirStaticTexts) {
    const char script[] =
        "if (MESSAGE == INITAPP) {\r\n"
        "  DialogBox(101);\r\n"
        "  COLORDLG = 5; DialogBox(101);\r\n"
        "  COLORDLG = \"24\"; DialogBox(101);\r\n"
        "  COLORDLG = \"window\"; DialogBox(101);\r\n"
        "  COLORDLG = -1; DialogBox(101);\r\n"
        "}\r\n"
        "if (MESSAGE == COMMAND) if (WPARAM == 280) EndDialog(0);\r\n";
    std::vector<std::string> actions;
    for (int page = 0; page < 5; ++page) actions.insert(actions.end(), {"colour:0", "colour:213", "press:280"});
    std::string transcript = RunScript(script, actions);
    EXPECT_TRUE(EndsWell(transcript));
    // The platform draws pages in the button face colour (15).
    std::string expected;
    for (int index : {15, 5, 24, 15, 15})
        expected += "colour 0 " + SystemColour(index) + "\ncolour 213 " + SystemColour(index) + "\n";
    EXPECT_EQ(ColourLines(transcript), expected) << transcript;
}

}  // namespace
