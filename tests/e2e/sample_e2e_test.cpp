// The shipped sample package (examples/q7) as its user meets it: packed by
// q7pack onto the installer, driven through its wizard, and checked for what
// it leaves on the machine: the files, the remembered folder in the registry
// and the INI file, or nothing at all when the user cancels.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <filesystem>

#include "tests/e2e/uE2e.h"

namespace {

const char kRegistryKey[] = "Software\\Q7 Software\\Q7 Zapisnik";
const char kSucceeded[] = "Inštalácia prebehla úspešne.";
const char kCouldNotWrite[] = "Tento súbor sa nepodarilo zapísať: ";
const char kCancelled[] = "Inštalácia bola zrušená. Na počítači nezostalo nič z novej verzie.";
const char kFailed[] = "Počas inštalácie sa vyskytli chyby.\\nOspravedlňujeme sa Vám za problémy.";
// The Windows-1250 bytes of the application's name, as the INI file holds it.
const char kAppName1250[] = "Q7 Z\xE1pisn\xEDk";

std::string Source(const std::string& relative) { return Example("q7/" + relative); }

// The text of a path in a transcript line (quotes and backslashes escaped).
std::string Shown(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\\' || c == '"' ? std::string("\\") + c : std::string(1, c);
    return out;
}

std::string FolderLine(const std::string& folder) { return "  221 Edit \"" + Shown(folder) + "\"\n"; }

bool RegistryKeyExists() { return RegKeyExists(HKEY_CURRENT_USER, kRegistryKey); }

std::string RememberedFolder() { return RegText(HKEY_CURRENT_USER, kRegistryKey, "InstallDir"); }

std::string IniValue(const std::string& file, const char* key) {
    char value[MAX_PATH] = {};
    GetPrivateProfileStringA("Instalacia", key, "(none)", value, sizeof value, file.c_str());
    return value;
}

class SampleWizard : public ::testing::Test {
protected:
    // One installer for every case: the sample exactly as make demo packs it
    // (with more when a case needs them).
    static std::string Packed(const std::string& name, const std::vector<std::string>& more = {}) {
        static TempDir package;
        std::vector<std::string> args = {Source("setup.ini"), Source("payload"),
                                         "zapisnik.exe=" + WinePath(Q7_E2E_SAMPLE_PROGRAM)};
        args.insert(args.end(), more.begin(), more.end());
        return PackInstaller(package / name, args);
    }
    static void SetUpTestSuite() {
        if (installer_.empty()) installer_ = Packed("q7setup.exe");
    }

    void SetUp() override { RegDeleteTreeA(HKEY_CURRENT_USER, kRegistryKey); }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, kRegistryKey); }

    static std::string Run(const std::vector<std::string>& actions) { return Drive(actions, installer_); }

    // Every payload file byte for byte, the script itself not.
    static void ExpectInstalled(const std::string& folder) {
        EXPECT_EQ(ReadFileBytes(folder + "\\citajma.txt"), ReadFileBytes(Source("payload/citajma.txt")));
        EXPECT_EQ(ReadFileBytes(folder + "\\dokumenty\\licencia.txt"),
                  ReadFileBytes(Source("payload/dokumenty/licencia.txt")));
        EXPECT_EQ(ReadFileBytes(folder + "\\zapisnik.exe"), ReadFileBytes(WinePath(Q7_E2E_SAMPLE_PROGRAM)));
        EXPECT_FALSE(PathExists(folder + "\\setup.ini"));
    }

    static std::string installer_;
};

std::string SampleWizard::installer_;

// The sample with a large entry more, so that the progress page stays on
// screen while the driver watches it.
class SampleProgress : public SampleWizard {
protected:
    static void SetUpTestSuite() {
        // Zeros pack small and take long enough to write.
        TempDir dir;
        WriteFileBytes(dir / "large.bin", std::string(size_t{192} << 20, '\0'));
        large_ = Packed("q7large.exe", {"dokumenty\\velky.bin=" + dir / "large.bin"});
        solid_ = Packed("q7large-solid.exe", {"--solid", "dokumenty\\velky.bin=" + dir / "large.bin"});
    }
    static std::string large_, solid_;
};
std::string SampleProgress::large_, SampleProgress::solid_;

// Into a folder that holds a read-only file of an older version, replaced
// without a trace of the old copy; the folder remembered and offered again.
// (Every page's texts and the offered folder are the try scenario
// tests/try/sample.try, which make demo's actions drive.)
TEST_F(SampleWizard, InstallsOverAnOlderReadOnlyFileAndRemembersTheFolder) {
    TempDir dir;
    std::string folder = dir / "Q7";
    std::filesystem::create_directories(folder);
    WriteFileBytes(folder + "\\citajma.txt", "an older version");
    ASSERT_TRUE(SetFileAttributesA((folder + "\\citajma.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    std::string t = Run(
        {"press:282", "check:243", "press:282", "type:221:" + folder, "press:283", "press:280", "answer:7"});
    EXPECT_TRUE(Contains(Screen(t, "press:280"), kSucceeded));
    EXPECT_TRUE(EndsWell(t));

    ExpectInstalled(folder);
    EXPECT_FALSE(PathExists(folder + "\\.q7journal"));  // the old copy and the journal went
    EXPECT_EQ(RememberedFolder(), folder);
    std::string ini = folder + "\\zapisnik.ini";
    EXPECT_EQ(IniValue(ini, "Program"), kAppName1250);
    EXPECT_EQ(IniValue(ini, "Verzia"), "5.1");
    EXPECT_EQ(IniValue(ini, "Priecinok"), folder);
    EXPECT_EQ(IniValue(ini, "Subory"), "3");

    std::string again = Run({"press:282", "check:243", "press:282", "press:280"});
    EXPECT_TRUE(Contains(Screen(again, "press:280"), FolderLine(folder)))
        << "a second run offers the remembered folder";
}

// A cancelled folder browser, then Back and Next, keep the typed folder.
TEST_F(SampleWizard, BrowserAndBackAndNextKeepTheTypedFolder) {
    TempDir dir;
    std::string folder = dir / "elsewhere";
    std::string t = Run({"press:282", "check:243", "press:282", "type:221:" + folder, "press:222", "answer:2",
                         "press:281", "press:282", "press:280"});
    EXPECT_EQ(Screen(t, "answer:2").rfind("box ", 0), 0u) << "the browser is open over the page\n" << t;
    EXPECT_TRUE(Contains(Screen(t, "press:281"), FolderLine(folder)));
    std::string back = t.substr(t.find("@ press:281\n") + 1);
    EXPECT_TRUE(Contains(Screen(back, "press:282"), "  243 Button \"&Súhlasím"))
        << "Back shows the license page";
    EXPECT_TRUE(Contains(Screen(t, "press:280"), FolderLine(folder))) << "Next shows the typed folder again";
    EXPECT_FALSE(PathExists(folder));
    EXPECT_FALSE(RegistryKeyExists());
}

// Each way to leave the wizard early: the actions, the last of which leaves.
class SampleWizardLeft : public SampleWizard,
                         public ::testing::WithParamInterface<std::vector<std::string>> {};

TEST_P(SampleWizardLeft, InstallsNothing) {
    TempDir dir;
    std::string folder = dir / "never";
    std::vector<std::string> actions = GetParam();
    for (auto& action : actions)
        if (action == "type:221:FOLDER") action = "type:221:" + folder;
    std::string t = Run(actions);
    std::string last = "@ " + actions.back() + "\n";
    EXPECT_EQ(t.substr(t.rfind(last) + last.size()).find("box "), std::string::npos)
        << "the wizard ends without a question\n"
        << t;
    EXPECT_TRUE(EndsWell(t));
    EXPECT_FALSE(PathExists(folder)) << t;
    EXPECT_FALSE(RegistryKeyExists()) << t;
    EXPECT_FALSE(PathExists(InstallerBuild().ProgramFiles + std::string("\\Q7 Z\xE1pisn\xEDk")));
}

INSTANTIATE_TEST_SUITE_P(
    CancelOrCloseOnAnyPage, SampleWizardLeft,
    ::testing::Values(
        std::vector<std::string>{"press:280"}, std::vector<std::string>{"close"},
        std::vector<std::string>{"key:esc"}, std::vector<std::string>{"press:282", "press:280"},
        std::vector<std::string>{"press:282", "check:243", "press:282", "type:221:FOLDER", "press:280"},
        std::vector<std::string>{"press:282", "check:243", "press:282", "type:221:FOLDER", "close"},
        std::vector<std::string>{"press:282", "check:243", "press:282", "type:221:FOLDER", "key:esc"}));

TEST_F(SampleWizard, FolderThatCannotBeCreatedShowsTheFailure) {
    TempDir dir;
    WriteFileBytes(dir / "file", "a file where the folder should go");
    std::string folder = dir / "file\\Q7";
    std::string t =
        Run({"press:282", "check:243", "press:282", "type:221:" + folder, "press:283", "press:280"});
    EXPECT_TRUE(Contains(Screen(t, "press:280"), "  231 Static icon=error\n  232 Static \"" +
                                                     std::string(kFailed) + "\\r\\n\\r\\n" + kCouldNotWrite +
                                                     Shown(dir / "file") + "\""));
    EXPECT_EQ(t.substr(t.rfind("@ press:280\n")).find("box "), std::string::npos)
        << "no offer to start a program that was not installed\n"
        << t;
    EXPECT_FALSE(RegistryKeyExists());
}

// The progress page answers throughout and its bar moves; cancelled or
// failed in the middle, the installation leaves the machine as it was: no
// file and no folder of a first installation, every old file of an upgrade
// byte for byte, and the result page says why; from both archive formats.
TEST_F(SampleProgress, AnswersWhileCopyingAndCancelOrFailureLeavesTheMachineAsItWas) {
    struct Case {
        const char* what;
        bool upgrade, holdOpen;
        const char* then;  // what the driver does on the progress page
        const char* says;  // "" for success
    } cases[] = {
        {"first, watched", false, false, "progress:252", ""},
        {"first, cancelled", false, false, "progress:252:280", kCancelled},
        {"upgrade, cancelled", true, false, "progress:252:280", kCancelled},
        {"upgrade, a file held open", true, true, "progress:252", kCouldNotWrite},
    };
    for (const std::string& installer : {large_, solid_}) {
        for (const Case& c : cases) {
            std::string what = c.what + (" from " + installer);  // which format failed
            RegDeleteTreeA(HKEY_CURRENT_USER, kRegistryKey);
            TempDir dir;
            std::string folder = dir / "Q7";
            if (c.upgrade) {
                std::filesystem::create_directories(folder + "\\dokumenty");
                WriteFileBytes(folder + "\\citajma.txt", "old notes");
                WriteFileBytes(folder + "\\zapisnik.exe", "old program");
                WriteFileBytes(folder + "\\dokumenty\\licencia.txt", "old license");
                SetFileAttributesA((folder + "\\citajma.txt").c_str(), FILE_ATTRIBUTE_READONLY);
            }
            auto tree = [&] { return PathExists(folder) ? Snapshot(folder) : Tree{}; };
            Tree before = tree();
            HANDLE held = c.holdOpen ? CreateFileA((folder + "\\zapisnik.exe").c_str(), GENERIC_READ, 0, nullptr,
                                                   OPEN_EXISTING, 0, nullptr)
                                     : INVALID_HANDLE_VALUE;
            std::vector<std::string> actions = {"press:282", "check:243", "press:282", "type:221:" + folder,
                                                "press:283", c.then,      "press:280"};
            if (!*c.says) actions.push_back("answer:7");
            std::string t = Drive(actions, installer);
            if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
            std::string watched = std::string("progress 252 moved, unanswered 0") + (std::strlen(c.then) > 12 ? ", pressed" : "");
            EXPECT_TRUE(Contains(t, "@ " + std::string(c.then) + "\n" + watched + "\n")) << what;
            std::string result = Screen(t, "press:280");
            if (!*c.says) {
                EXPECT_TRUE(Contains(result, kSucceeded)) << what;
                ExpectInstalled(folder);
                continue;
            }
            std::string why = c.holdOpen ? kCouldNotWrite + Shown(folder + "\\zapisnik.exe") : c.says;
            EXPECT_TRUE(Contains(result, "232 Static \"" + std::string(kFailed) + "\\r\\n\\r\\n" + why + "\""))
                << what;
            EXPECT_EQ(tree(), before) << what;
            EXPECT_FALSE(RegistryKeyExists()) << what;
            if (c.upgrade) SetFileAttributesA((folder + "\\citajma.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
        }
    }
}

}  // namespace
