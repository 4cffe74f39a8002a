// q7pack try's portable half: Wine's registry files and shortcuts read,
// the change report of two snapshots, the comparison with a saved output
// and the command line.

#include "tools/q7pack/try/ChangeReport.h"

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"
#include "tools/q7pack/common/PackError.h"
#include "tools/q7pack/try/Expect.h"
#include "tools/q7pack/try/TryCommand.h"

namespace {

TPrefixSnapshot Snapshot(const std::string& system, const std::string& user) {
    TPrefixSnapshot snapshot;
    ReadRegistryText("WINE REGISTRY Version 2\n#arch=win64\n" + system, "HKLM", "system.reg",
                     snapshot.Registry);
    ReadRegistryText(user, "HKCU", "user.reg", snapshot.Registry);
    return snapshot;
}

const char kUninstall[] =
    "[Software\\\\Wow6432Node\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Hello] 1\n";

TEST(ChangeReport, TellsEveryKindOfChangeFromTwoSnapshots) {
    TPrefixSnapshot before = Snapshot(
        "[System\\\\CurrentControlSet\\\\Control\\\\Class\\\\{4D36}\\\\0000] 1\n\"DriverDateData\"=hex:01\n"
        "[Software\\\\Old] 1\n#time=1d\n\"Gone\"=dword:00000001\n\"Kept\"=\"same\"\n"
        "[Software\\\\Old\\\\Sub] 1\n",
        "[Software\\\\Q7] 5\n\"Size\"=dword:0000000a\n");
    TPrefixSnapshot after = Snapshot(
        "[System\\\\CurrentControlSet\\\\Control\\\\Class\\\\{4D36}\\\\0000] 1\n\"DriverDateData\"=hex:02\n"
        "[Software\\\\Old] 1\n\"Kept\"=\"same\"\n\"New\"=str(7):\"a\\0b\\\\c\\0\"\n" +
            std::string(kUninstall) +
            "\"DisplayName\"=\"Hello \\x00e1\\x00e9\\\"x\\\"\"\n\"DisplayVersion\"=\"1.0\"\n"
            "\"UninstallString\"=\"\\\"C:\\\\Hello\\\\uninstall.exe\\\"\"\n"
            "[System\\\\CurrentControlSet\\\\Control\\\\Session Manager] 1\n"
            "\"PendingFileRenameOperations\"=str(7):\"\\\\??\\\\C:\\\\temp\\\\copy.exe\\0\\0\\\\??\\\\C:"
            "\\\\a\\0"
            "\\\\??\\\\C:\\\\b\\0\"\n",
        "[Software\\\\Q7\\\\Zapisnik] 5\n@=\"line\\nbreak\\t\\033\"\n\"Bin\"=hex(b):01,00,00,00,\\\n"
        "  00,00,00,00\n\"Raw\"=hex:00,ff\n");
    before.Files = {{"C:\\App", {true, 0, 1, {}}},
                    {"C:\\App\\old.txt", {false, 5, 1, {}}},
                    {"C:\\App\\same.txt", {false, 7, 1, {}}},
                    {"C:\\App\\touched.txt", {false, 7, 1, {}}}};
    after.Files = {{"C:\\App", {true, 0, 2, {}}},
                   {"C:\\App b", {true, 0, 2, {}}},
                   {"C:\\App\\same.txt", {false, 7, 1, {}}},
                   {"C:\\App\\touched.txt", {false, 7, 2, {}}},
                   {"C:\\App\\Hello.lnk",
                    {false, 1, 2, TShellLink{"C:\\Hello\\hello.exe", "/x", "C:\\Hello", "", "Hi", 0}}},
                   {"C:\\App\\x", {false, 1, 2, {}}}};
    EXPECT_EQ(ChangeReport(before, after),
              "files:\n"
              "  + C:\\App\\Hello.lnk (1 byte)\n"
              "  - C:\\App\\old.txt (5 bytes)\n"
              "  ~ C:\\App\\touched.txt (7 -> 7 bytes)\n"
              "  + C:\\App\\x (1 byte)\n"
              "  + C:\\App b\\\n"
              "registry:\n"
              "  ~ HKCU\\Software\\Q7\n"
              "      - Size = dword 10\n"
              "  + HKCU\\Software\\Q7\\Zapisnik\n"
              "      + @ = \"line\\nbreak\\t\\x1b\"\n"
              "      + Bin = qword 1\n"
              "      + Raw = hex 00 ff\n"
              "  ~ HKLM\\Software\\Old\n"
              "      - Gone = dword 1\n"
              "      + New = multi \"a\" \"b\\\\c\"\n"
              "  - HKLM\\Software\\Old\\Sub\n"
              "  + HKLM\\Software\\Wow6432Node\n"
              "  + HKLM\\Software\\Wow6432Node\\Microsoft\n"
              "  + HKLM\\Software\\Wow6432Node\\Microsoft\\Windows\n"
              "  + HKLM\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\n"
              "  + HKLM\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\n"
              "  + HKLM\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Hello\n"
              "      + DisplayName = \"Hello áé\\\"x\\\"\"\n"
              "      + DisplayVersion = \"1.0\"\n"
              "      + UninstallString = \"\\\"C:\\\\Hello\\\\uninstall.exe\\\"\"\n"
              "  + HKLM\\System\\CurrentControlSet\\Control\\Session Manager\n"
              "      + PendingFileRenameOperations = multi \"\\\\??\\\\C:\\\\temp\\\\copy.exe\" \"\" "
              "\"\\\\??\\\\C:\\\\a\" \"\\\\??\\\\C:\\\\b\"\n"
              "shortcuts:\n"
              "  + C:\\App\\Hello.lnk -> C:\\Hello\\hello.exe, arguments /x, in C:\\Hello, \"Hi\"\n"
              "Apps & features:\n"
              "  + Hello áé\"x\" 1.0 "
              "(HKLM\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Hello)\n");
    EXPECT_EQ(AppsAndFeatures(after.Registry)[0].Uninstall, "\"C:\\Hello\\uninstall.exe\"");
    EXPECT_EQ(PendingAtRestart(after.Registry),
              (std::vector<std::string>{"delete C:\\temp\\copy.exe", "rename C:\\a to C:\\b"}));
    EXPECT_EQ(ChangeReport(after, after), "  nothing\n");
}

TEST(ChangeReport, RefusesRegistryTextNotInWinesFormWithItsLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"\"a\"=\"b\"\n", "1: a value outside a key"},
        {"[K]\n\"a\"=dword:\n", "2: hex digit expected"},
        {"[K]\n\n\"a\"=\"b\n", "3: '\"' expected"},
        {"[K]\n\"a\"=hex:01,\\\n  0g\n", "2: ',' expected"},
        {"[K]\n\"a\"=str(7:\"b\"\n", "2: '):\"' expected"},
        {"[K]\na=1\n", "2: '\"' expected"},
        {"[K\\xd800\xff]\n", "1: text that is not UTF-8"},
    };
    for (const auto& [text, message] : cases) {
        TRegistry registry;
        try {
            ReadRegistryText(text, "HKLM", "system.reg", registry);
            ADD_FAILURE() << "accepted " << text;
        } catch (const PackError& e) {
            EXPECT_EQ(e.Subject() + ": " + e.what(),
                      std::string("system.reg: ") + message + " (not a Wine registry file?)");
        }
    }
}

TEST(ChangeReport, ReadsWinesShortcutAndRefusesEveryCutOfIt) {
    std::string bytes = ReadFileBytes(Q7_SOURCE_DIR "/tests/fuzz/corpus/prefix/wine-shortcut.lnk");
    std::optional<TShellLink> link = ReadShellLink(bytes, 1250);
    ASSERT_TRUE(link);
    EXPECT_EQ(link->Target, "C:\\Program Files\\Hello\\hello.exe");
    EXPECT_EQ(link->Folder, "C:\\Program Files\\Hello");
    EXPECT_EQ(link->Icon, "C:\\Program Files\\Hello\\hello.exe");
    EXPECT_EQ(link->Description, "Greets you");
    EXPECT_EQ(link->Arguments, "");
    // The last six bytes end the extra data, which is not read.
    for (size_t size = 0; size + 6 < bytes.size(); ++size)
        EXPECT_FALSE(ReadShellLink(bytes.substr(0, size), 1250)) << size;
}

TEST(TryExpect, NamesTheFirstLineThatDiffersAndLetsMarksStandForWhatVaries) {
    const std::string output =
        "@ press:1\npage \"A\"\n  1 Button \"OK\"\n@ end\nexit 0\n\n== the installation changed\n"
        "files:\n  + C:\\a.exe (1234 bytes)\n";
    const struct {
        std::string expected;
        const char* difference;  // "" for none
    } cases[] = {
        {output, ""},
        {"@ press:1\n{...}\n== the installation changed\nfiles:\n  + C:\\a.exe ({*} bytes)\n", ""},
        {"{...}\n  + C:\\{*}.exe ({*})\n", ""},
        {"@ press:1\n{...}\n", ""},
        {"@ press:1\npage \"B\"\n",
         "line 2 of the saved output (after @ press:1) differs:\n  expected: page \"B\"\n  got:      page "
         "\"A\"\n"},
        {"@ press:1\n{...}\nexit 1\n",
         "line 3 of the saved output (after @ press:1) differs:\n  expected: exit 1\n  got:      no line "
         "like it in "
         "the rest of the output\n"},
        {"@ press:1\n",
         "line 2 of the saved output (after @ press:1) differs:\n  expected: the end of the saved "
         "output\n  got:      page \"A\"\n"},
        {output + "  + C:\\b\n",
         "line 10 of the saved output (after == the installation changed) differs:\n"
         "  expected:   + C:\\b\n  got:      the end of the output\n"},
    };
    for (const auto& c : cases) {
        std::optional<TDifference> d = CompareOutput(c.expected, output);
        EXPECT_EQ(d ? ShowDifference(*d) : "", c.difference) << c.expected;
    }
}

TEST(TryCommand, TakesOnlyActionsTheDriverCanDo) {
    const std::pair<const char*, const char*> cases[] = {
        {"press:282", ""},
        {"press:-1", ""},
        {"type:221:C:\\a b", ""},
        {"type:221:", ""},
        {"window-close:Q7: 5.1", ""},
        {"colour:202:3:4", ""},
        {"progress:252:280", ""},
        {"key:esc", ""},
        {"press", "the action press takes the form press:ID"},
        {"press:x", "the action press:x takes the form press:ID"},
        {"check:1:2", "the action check:1:2 takes the form check:ID"},
        {"colour:1:2", "the action colour:1:2 takes the form colour:ID[:X:Y]"},
        {"key:tab", "the action key:tab takes the form key:esc or key:enter"},
        {"close:1", "the action close:1 takes the form close"},
        {"attach:", "the action attach: takes the form attach:EXE"},
        {"click:1", "unknown action click:1"},
    };
    for (const auto& [action, fault] : cases) EXPECT_EQ(ActionFault(action), fault) << action;

    TTryOptions o = ParseTry({"--args", "/S", "setup.exe", "press:1", "--uninstall", "--args", "/U",
                              "answer:6", "--timeout", "5", "--scale", "150"});
    EXPECT_EQ(o.Installer, "setup.exe");
    EXPECT_EQ(o.Install.Actions, std::vector<std::string>{"press:1"});
    EXPECT_EQ(o.Install.Args + o.Uninstall.Args, "/S/U");
    EXPECT_EQ(o.Uninstall.Actions, std::vector<std::string>{"answer:6"});
    EXPECT_TRUE(o.Uninstalls);
    EXPECT_EQ(o.TimeoutSeconds, 5u);
    EXPECT_EQ(o.Scale, 150u);
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--uninstall", "setup.exe"},
                                                {"setup.exe", "--timeout", "0"},
                                                {"setup.exe", "--scale", "99"},
                                                {"setup.exe", "--scale", "1500"},
                                                {"setup.exe", "--lang"}})
        EXPECT_THROW(ParseTry(bad), TTryUsage);
}

}  // namespace
