// The English example (examples/hello) as its user meets it: q7pack writes
// its brand into the installer, whose pages then show the new title,
// footer, texts, icon and banner, whose boxes carry the new caption, whose
// version information Windows reads, which installs completely, and whose
// product is upgraded in place and uninstalled, a file in use holding it.

#include <gtest/gtest.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <cstdlib>
#include <utility>
#include <vector>

#include "system/app/uImageScale.h"
#include "tests/e2e/uE2e.h"

namespace {

const char kTitle[] = "Hello 1.0 Setup";

std::string Source(const std::string& relative) { return Example("hello/" + relative); }

std::string Hex(uint32_t bgr) {
    char text[8];
    std::snprintf(text, sizeof text, "#%06x", bgr & 0xFFFFFF);
    return text;
}

// A picture file's pixels as Windows loads it (rows top down, 32-bit BGRX).
std::vector<uint32_t> Loaded(const std::string& file, UINT type, int size, int& width, int& height) {
    HANDLE image = LoadImageA(nullptr, file.c_str(), type, size, size, LR_LOADFROMFILE | LR_CREATEDIBSECTION);
    BITMAP shape{};
    ICONINFO icon{};
    HBITMAP bitmap = type == IMAGE_ICON && GetIconInfo(static_cast<HICON>(image), &icon) ? icon.hbmColor
                                                                                        : static_cast<HBITMAP>(image);
    GetObjectA(bitmap, sizeof shape, &shape);
    width = shape.bmWidth, height = shape.bmHeight;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (type == IMAGE_ICON) DeleteObject(icon.hbmColor), DeleteObject(icon.hbmMask), DestroyIcon(static_cast<HICON>(image));
    else DeleteObject(image);
    return pixels;
}

// Where the driver probes the pictures of the welcome page, and what they
// must show there: the banner (-1) resampled to the size its control has
// at the display's scale, at its text, its gradient and its face; and the
// icon (202) as the image of the size the scale asks for (iconSize), at
// its face and an eye.
struct Probe {
    std::string action, colour;
};

std::vector<Probe> PictureProbes(int bannerWidth, int bannerHeight, int iconSize) {
    std::vector<Probe> probes;
    int width = 0, height = 0;
    std::vector<uint32_t> banner = Loaded(Source("banner.bmp"), IMAGE_BITMAP, 0, width, height);
    std::vector<uint32_t> shown = ScaleImage(banner, width, height, bannerWidth, bannerHeight);
    for (auto [x, y] : {std::pair{45, 70}, {263, 30}, {462, 30}, {525, 87}}) {
        x = x * bannerWidth / 612, y = y * bannerHeight / 88;
        probes.push_back({"colour:-1:" + std::to_string(x) + ":" + std::to_string(y),
                          shown.empty() ? "(none)" : Hex(shown[static_cast<size_t>(y * bannerWidth + x)])});
    }
    std::vector<uint32_t> icon = Loaded(Source("hello.ico"), IMAGE_ICON, iconSize, width, height);
    for (auto [x, y] : {std::pair{16, 16}, {10, 12}}) {
        x = x * iconSize / 32, y = y * iconSize / 32;
        probes.push_back({"colour:202:" + std::to_string(x) + ":" + std::to_string(y),
                          width == iconSize ? Hex(icon[static_cast<size_t>(y * width + x)]) : "(no such image)"});
    }
    return probes;
}

// The size the driver recorded for control id ("size ID WxH").
std::pair<int, int> SizeOf(const std::string& transcript, int id) {
    int width = 0, height = 0;
    size_t at = transcript.find("size " + std::to_string(id) + " ");
    if (at != std::string::npos) std::sscanf(transcript.c_str() + at, "size %*d %dx%d", &width, &height);
    return {width, height};
}

// The colour the driver recorded for a probe; "(none)" when it has none.
std::string Shown(const std::string& transcript, const Probe& probe) {
    size_t at = transcript.find("colour " + probe.action.substr(7) + " ");
    if (at == std::string::npos) return "(none)";
    std::string line = transcript.substr(at, transcript.find('\n', at) - at);
    return line.substr(line.rfind(' ') + 1);
}

std::string VersionText(const std::string& file, const char* name) {
    DWORD ignored = 0, size = GetFileVersionInfoSizeA(file.c_str(), &ignored);
    std::string data(size, '\0');
    if (size == 0 || !GetFileVersionInfoA(file.c_str(), 0, size, data.data()))
        return "(no version information)";
    char* value = nullptr;
    UINT length = 0;
    std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueA(data.data(), path.c_str(), reinterpret_cast<void**>(&value), &length))
        return "(none)";
    return value;
}

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Hello";
const char kProductKey[] = "Software\\Hello";

std::string Folder(int csidl) {
    char path[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, csidl | CSIDL_FLAG_DONT_VERIFY, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

// A value of the installer's view of HKLM as its text or number; "(none)".
std::string Value(const char* key, const char* name, DWORD view = InstallerBuild().RegistryView) {
    return RegText(HKEY_LOCAL_MACHINE, key, name, view);
}

// What Wine's Apps & features lists: "id|||name" lines.
std::string Listed(const TempDir& dir) {
    RunProgram("cmd", {"/c", "uninstaller --list >" + (dir / "list.txt")});
    return ReadFileBytes(dir / "list.txt");
}

// Hello's installer with its uninstaller, of setup.
std::string Pack(const std::string& out, const std::string& setup) {
    return PackInstaller(out, {"--brand", Source("brand.ini"), "--uninstaller", Source("uninstall.ini"),
                               setup, Source("payload"), "hello.exe=" + WinePath(Q7_E2E_HELLO_PROGRAM)});
}

class HelloWizard : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static TempDir package;
        if (installer_.empty()) installer_ = Pack(package / "hello-setup.exe", Source("setup.ini"));
    }
    static std::string installer_;
};

std::string HelloWizard::installer_;

// The display's scale for the programs started while it lives: Wine reads
// LogPixels of the user's desktop settings when a program starts.
class DisplayScale {
public:
    explicit DisplayScale(DWORD dpi) { Set(dpi); }
    ~DisplayScale() { Set(96); }
    DisplayScale(const DisplayScale&) = delete;
    DisplayScale& operator=(const DisplayScale&) = delete;

private:
    static void Set(DWORD dpi) {
        RegSetKeyValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "LogPixels", REG_DWORD, &dpi, sizeof dpi);
    }
};

// Hello's wizard from the welcome page to the end, at 100 % and 150 %
// display scale: its own title, texts, icon and banner, every page laid
// out at the scale (the banner resampled to its control's size, the icon's
// image of that size), and the files installed.
TEST_F(HelloWizard, ShowsItsOwnPagesAtEveryScaleAndInstalls) {
    int widths[2] = {};
    for (auto [dpi, percent] : {std::pair{96, 100}, {144, 150}}) {
        TempDir dir;
        DisplayScale scale(static_cast<DWORD>(dpi));
        std::string folder = dir / "Hello";
        std::string sizes = Drive({"size:0", "size:-1", "close"}, installer_);
        auto [pageWidth, pageHeight] = SizeOf(sizes, 0);
        auto [width, height] = SizeOf(sizes, -1);
        EXPECT_EQ(width, pageWidth) << "the banner fills the page's width\n" << sizes;
        widths[percent == 150] = pageWidth;
        std::vector<Probe> probes = PictureProbes(width, height, dpi == 96 ? 32 : 48);
        std::vector<std::string> actions;
        for (const Probe& p : probes) actions.push_back(p.action);
        actions.insert(actions.end(), {"press:282", "check:243", "press:282", "press:282", "press:282",
                                       "type:221:" + folder, "press:283", "wait:271", "uncheck:272", "press:280"});
        std::string t = Drive(actions, installer_);
        for (const Probe& p : probes) EXPECT_EQ(Shown(t, p), p.colour) << p.action << " at " << percent << " %";
        std::string welcome = Screen(t, probes.front().action);
        for (const char* line :
             {"page \"Hello 1.0 Setup\"\n", "  211 Static \"Welcome to the Hello 1.0 Setup Wizard.\"\n",
              "  282 Button \"Next >\" default\n  280 Button \"Cancel\"\n",
              "  -1 Static \"Hello 1.0 · Example Software\" disabled\n"})
            EXPECT_TRUE(Contains(welcome, line));
        EXPECT_TRUE(Contains(Screen(t, "type:221:" + folder), "  220 Static \"Install Hello in this folder:\"\n"));
        EXPECT_TRUE(Contains(Screen(t, "uncheck:272"), "  271 Static \"Hello 1.0 has been installed.\"\n"
                                                     "  272 Button \"&Start Hello now\" checked\n"
                                                     "  273 Button \"Show the &readme\"\n"
                                                     "  281 Button \"< Back\" disabled\n"
                                                     "  280 Button \"Finish\" default\n"
                                                     "  280 Button \"Cancel\" disabled\n"));
        EXPECT_TRUE(EndsWell(t));
        EXPECT_EQ(ReadFileBytes(folder + "\\docs\\license.txt"), ReadFileBytes(Source("payload/docs/license.txt")));
        EXPECT_TRUE(PathExists(folder + "\\greetings\\sk.txt")) << "the greetings are chosen at first";
    }
    // Not the same size (as a program that is not DPI-aware gets); the fonts
    // at 150 % are not exactly one and a half times as wide.
    EXPECT_GT(widths[1], widths[0] * 4 / 3) << "laid out at 150 %";
}

// The components and tasks the user chooses on the two choices pages: the
// greetings left out are not installed, the Start-menu shortcut left out is
// not made, the desktop one chosen is; Finish starts Hello.
TEST_F(HelloWizard, InstallsExactlyTheChosenComponentsAndTasksAndFinishStartsHello) {
    TempDir dir;
    const std::string folder = dir / "Hello", desktop = Folder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\Hello.lnk",
                      programs = Folder(CSIDL_COMMON_PROGRAMS) + "\\Hello.lnk";
    for (const std::string& link : {desktop, programs}) DeleteFileA(link.c_str());
    std::string t = Drive({"press:282", "check:243", "press:282", "uncheck:262", "press:282", "uncheck:261", "check:262",
                           "press:282", "type:221:" + folder, "press:283", "wait:271", "press:280", "window-close:Hello 1.0"},
                          installer_);
    std::string boxes;
    for (int id = 263; id <= 268; ++id) boxes += "  " + std::to_string(id) + " Button \"\" hidden\n";
    EXPECT_TRUE(Contains(Screen(t, "uncheck:262"), "  290 Static \"Choose components\"\n"
                                                 "  291 Static \"Choose the parts of Hello to install.\"\n"
                                                 "  261 Button \"Hello (required)\" disabled checked\n"
                                                 "  262 Button \"&Greetings in other languages\" checked\n" +
                                                     boxes + "  269 Static \"Hello says hello in German, French and Slovak.\"\n"));
    EXPECT_TRUE(Contains(Screen(t, "uncheck:261"), "  290 Static \"Choose additional tasks\"\n"));
    EXPECT_TRUE(Contains(t, "@ window-close:Hello 1.0\n" + std::string(kEnd)));
    Tree installed = Snapshot(folder);
    uint64_t needed = 0;
    for (auto& [name, bytes] : installed) {
        if (name != "hello.ini" && bytes != "/") needed += bytes.size();
        bytes = bytes == "/" ? "/" : "file";
    }
    char size[64] = {};
    StrFormatByteSize64A(static_cast<LONGLONG>(needed), size, sizeof size);
    EXPECT_TRUE(Contains(Screen(t, "press:283"), "  223 Static \"Space required: " + std::string(size) +
                                                     "\"\n  224 Static \"Space available: (size)\"\n"));
    EXPECT_EQ(installed, (Tree{{"docs", "/"},
                               {"docs/license.txt", "file"},
                               {"hello.exe", "file"},
                               {"hello.ini", "file"},
                               {"readme.txt", "file"},
                               {"uninstall.exe", "file"}}));
    EXPECT_TRUE(PathExists(desktop));
    EXPECT_FALSE(PathExists(programs));
    DeleteFileA(desktop.c_str());
}

TEST_F(HelloWizard, FatalErrorsAndVersionInformationCarryTheBrand) {
    // Hello runs only its own archive.
    std::string t = Drive({"answer:1"}, installer_, {"C:\\no\\such\\archive.q7"});
    EXPECT_EQ(t, Answered(Box(kTitle, "error", "The archive of this installer cannot be read: C:\\\\no\\\\such\\\\archive.q7",
                              "1"),
                          3));

    EXPECT_EQ(VersionText(installer_, "ProductName"), "Hello");
    EXPECT_EQ(VersionText(installer_, "ProductVersion"), "1.0");
    EXPECT_EQ(VersionText(installer_, "CompanyName"), "Example Software");
    EXPECT_EQ(VersionText(installer_, "LegalCopyright"), "Copyright 2026 Example Software");
}

// Hello 1.1 over 1.0 (its plain life, from the wizard to nothing left, is
// the try scenario tests/try/hello.try, as signing and the silent life are
// tests/try/hello-silent.try): one Apps & features entry that Wine's own
// uninstaller lists, with the new version; the desktop shortcut asked for
// once stays. Then a file in use holds the uninstall at Retry and Cancel,
// before the uninstaller and its entry go, and the UninstallString ends it:
// only its copy stays, in a new folder of %TEMP% of its own, both due for
// deletion at restart. Whatever another program left at a name in %TEMP% it
// could know does not stop it.
TEST_F(HelloWizard, UpgradesInPlaceAndAFileInUseHoldsTheUninstall) {
    TempDir dir;
    const std::string folder = std::string(InstallerBuild().ProgramFiles) + "\\Hello";
    const std::string links[] = {Folder(CSIDL_COMMON_PROGRAMS) + "\\Hello.lnk",
                                 Folder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\Hello.lnk"};
    const std::string temp = getenv("TEMP"), planted = temp + "\\Hello-uninstall.exe";
    // What the branded installation above left in the prefix.
    for (const char* key : {kUninstallKey, kProductKey})
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key, InstallerBuild().RegistryView, 0);
    for (const std::string& link : links) DeleteFileA(link.c_str());
    CreateDirectoryA(planted.c_str(), nullptr);

    std::string script = ReadFileBytes(Source("setup.ini"));
    WriteFileBytes(dir / "setup.ini",
                   script.replace(script.find("VERSION = \"1.0\""), 15, "VERSION = \"1.1\""));
    // The desktop shortcut is chosen once, and stays.
    for (auto [installer, desktop] : {std::pair{installer_, true}, {Pack(dir / "hello-1.1.exe", dir / "setup.ini"), false}}) {
        std::vector<std::string> actions = {"press:282", "check:243", "press:282", "press:282", "press:282",
                                            "press:283", "wait:271", "uncheck:272", "press:280"};
        if (desktop) actions.insert(actions.begin() + 4, "check:262");
        EXPECT_TRUE(EndsWell(Drive(actions, installer)));
    }
    for (const std::string& link : links) EXPECT_TRUE(PathExists(link)) << link;
    std::string listed = Listed(dir);
    EXPECT_TRUE(Contains(listed, "Hello|||Hello"));
    EXPECT_EQ(listed.find("Hello|||Hello"), listed.rfind("Hello|||Hello")) << "one entry after the upgrade";
    EXPECT_EQ(Value(kUninstallKey, "DisplayVersion"), "1.1");

    // Through Wine's Apps & features while the readme is open: Retry finds
    // it still in use, Cancel stops before the uninstaller and its entry go.
    HANDLE open =
        CreateFileA((folder + "\\readme.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    std::string t = Drive({"attach:Hello-uninstall.exe", "answer:6", "answer:4", "answer:2", "answer:1"},
                          "uninstaller", {"--remove", "Hello"});
    CloseHandle(open);
    std::string inUse = "\\\\Hello\\\\readme.txt is in use. Close Hello and press Retry.\" [4 2]\n@ answer:";
    EXPECT_TRUE(Contains(t, inUse + "2\nbox \"Hello 1.0 Uninstall\" icon=warning \""));
    EXPECT_TRUE(Contains(t, inUse + "1\n"));
    EXPECT_FALSE(PathExists(folder + "\\docs\\license.txt"));
    EXPECT_TRUE(PathExists(folder + "\\readme.txt") && PathExists(folder + "\\uninstall.exe"));
    EXPECT_EQ(Value(kUninstallKey, "DisplayName"), "Hello");

    // Then through the UninstallString, to the end.
    std::string uninstaller = Value(kUninstallKey, "UninstallString");
    const std::string uninstallerBytes = ReadFileBytes(folder + "\\uninstall.exe");
    t = Drive({"attach:Hello-uninstall.exe", "answer:6", "answer:1"},
              uninstaller.substr(1, uninstaller.size() - 2));
    EXPECT_TRUE(Contains(
        t,
        Box("Hello 1.0 Uninstall", "information", "Hello has been removed from this computer.", "1") + kEnd));
    for (const std::string& gone : {folder, links[0], links[1]}) EXPECT_FALSE(PathExists(gone)) << gone;
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey, InstallerBuild().RegistryView));
    // The copy's folder: sixteen hex digits, new in %TEMP%; the copy, then
    // the folder, go at the next restart.
    std::string pending =
        Value("System\\CurrentControlSet\\Control\\Session Manager", "PendingFileRenameOperations", 0);
    std::smatch copy;
    ASSERT_TRUE(std::regex_search(pending, copy, std::regex("\\\\([0-9a-f]{16})\\\\Hello-uninstall\\.exe")))
        << pending;
    const std::string own = temp + "\\" + copy[1].str();
    EXPECT_TRUE(Contains(pending, own + "\\Hello-uninstall.exe" + std::string(2, '\0') + "\\??\\" + own));
    EXPECT_EQ(ReadFileBytes(own + "\\Hello-uninstall.exe"), uninstallerBytes);
    DeleteFileA((own + "\\Hello-uninstall.exe").c_str());
    RemoveDirectoryA(own.c_str());
    RemoveDirectoryA(planted.c_str());
}

}  // namespace
