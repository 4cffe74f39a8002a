// The English example (examples/hello) as its user meets it: q7pack writes
// its brand into the installer, whose pages then show the new title,
// footer, texts, icon and banner, whose boxes carry the new caption, whose
// version information Windows reads, which installs completely, and whose
// product is found in Apps & features and uninstalled without a trace.

#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <cstdlib>
#include <utility>
#include <vector>

#include "tests/e2e/uE2e.h"
#include "tests/support/ShellLink.h"

namespace {

const char kTitle[] = "Hello 1.0 Setup";

std::string Source(const std::string& relative) { return Example("hello/" + relative); }

std::string Hex(const std::string& bytes, size_t blue) {
    if (bytes.size() < blue + 3) return "(file too short)";
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", static_cast<unsigned char>(bytes[blue + 2]),
                  static_cast<unsigned char>(bytes[blue + 1]), static_cast<unsigned char>(bytes[blue]));
    return text;
}

// Where the driver probes the pictures, and what the files say it shows
// there: the banner (24 bits, rows bottom up) stretched to the page's width,
// at its text, its gradient and its face, where the stub's own banner differs;
// and the icon's 32x32 image (32 bits, the first of hello.ico) at its face and
// an eye. A banner probe holds the colours of the banner's pixels next to the
// one under it, as the stretch may round either way.
struct Probe {
    std::string action, colour;
    int x = -1, y = -1;  // where in a banner shown at its own size
};

std::vector<Probe> PictureProbes() {
    std::vector<Probe> probes;
    for (auto [x, y] : {std::pair{45, 70}, {263, 30}, {462, 30}, {525, 87}})
        probes.push_back({"colour:-1:" + std::to_string(x) + ":" + std::to_string(y), "", x, y});
    std::string ico = ReadFileBytes(Source("hello.ico"));
    for (auto [x, y] : {std::pair{16, 16}, {10, 12}})  // behind the directory of two entries and the header
        probes.push_back({"colour:202:" + std::to_string(x) + ":" + std::to_string(y),
                          Hex(ico, 6 + 32 + 40 + 4 * ((31 - y) * 32 + x))});
    return probes;
}

// The colours of the banner around what a probe at x, y of a banner shown
// width by height pixels shows.
std::vector<Probe> Stretched(std::vector<Probe> probes, int width, int height) {
    std::string bmp = ReadFileBytes(Source("banner.bmp"));
    const size_t stride = (526 * 3 + 3) & ~size_t{3};
    for (Probe& p : probes) {
        if (p.x < 0) continue;
        int sx = p.x * 526 / std::max(width, 1), sy = p.y * 88 / std::max(height, 1);
        for (int dx : {-1, 0, 1})
            for (int dy : {-1, 0, 1}) {
                int x = std::clamp(sx + dx, 0, 525), y = std::clamp(sy + dy, 0, 87);
                p.colour += " " + Hex(bmp, 54 + (87 - y) * stride + 3 * x);
            }
    }
    return probes;
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

TEST_F(HelloWizard, InstallsWithItsOwnTitleTextsIconAndBanner) {
    TempDir dir;
    std::string folder = dir / "Hello";
    std::vector<Probe> probes = PictureProbes();
    std::vector<std::string> actions = {"size:0", "size:-1"};
    for (const Probe& p : probes) actions.push_back(p.action);
    actions.insert(actions.end(), {"press:282", "press:243", "press:282", "type:221:" + folder, "press:283",
                                   "answer:7", "press:280", "answer:7"});
    std::string t = Drive(actions, installer_);
    std::string welcome = Screen(t, probes.front().action);
    for (const char* line :
         {"page \"Hello 1.0 Setup\"\n", "  211 Static \"Welcome to the Hello 1.0 Setup Wizard.\"\n",
          "  282 Button \"Next >\" default\n  280 Button \"Cancel\"\n",
          "  -1 Static \"Hello 1.0 · Example Software\" disabled\n"})
        EXPECT_TRUE(Contains(welcome, line));
    int pageWidth = 0, width = 0, height = 0;
    std::sscanf(t.c_str() + t.find("size 0 "), "size 0 %dx", &pageWidth);
    std::sscanf(t.c_str() + t.find("size -1 "), "size -1 %dx%d", &width, &height);
    EXPECT_EQ(width, pageWidth) << "the banner fills the page's width\n" << t;
    for (const Probe& p : Stretched(probes, width, height)) {
        size_t at = t.find("colour " + p.action.substr(7) + " ");
        std::string shown = at == std::string::npos ? "(none)" : t.substr(at, t.find('\n', at) - at);
        shown = shown.substr(shown.rfind(' '));
        EXPECT_NE((" " + p.colour + " ").find(shown + " "), std::string::npos) << p.action << " shows" << shown
                                                                       << ", expected one of" << p.colour;
    }
    EXPECT_TRUE(
        Contains(Screen(t, "type:221:" + folder), "  220 Static \"Install Hello in this folder:\"\n"));
    std::string result = Screen(t, "press:280");
    EXPECT_TRUE(Contains(result, "  232 Static \"Hello 1.0 has been installed.\"\n"));
    EXPECT_TRUE(Contains(result, "  280 Button \"Finish\" default\n  280 Button \"Cancel\" disabled\n"));
    EXPECT_TRUE(Contains(t, Box(kTitle, "question", "Start Hello now?", "6 7")));
    EXPECT_TRUE(EndsWell(t));
    EXPECT_EQ(ReadFileBytes(folder + "\\docs\\license.txt"),
              ReadFileBytes(Source("payload/docs/license.txt")));
}

// Runs a shell command line of the Linux side and returns its exit status.
// Wine starts Linux programs but gives no handle to wait on, so the
// command leaves its status in a file, renamed into place when complete.
int RunLinux(const TempDir& dir, const std::string& command) {
    std::string status = UnixPath(dir / "status");
    if (RunProgram("Z:\\bin\\sh", {"-c", "(" + command + ") >/dev/null 2>&1; echo $? >'" + status +
                                             ".tmp'; mv '" + status + ".tmp' '" + status + "'"}) == -1)
        return -1;
    for (int waited = 0; waited < 600 && !PathExists(dir / "status"); ++waited) Sleep(100);
    std::string text = PathExists(dir / "status") ? ReadFileBytes(dir / "status") : "-2";
    DeleteFileA((dir / "status").c_str());
    return std::stoi(text);
}

// What a package manager does with the installer signed after packing (by
// a throw-away certificate), which still verifies: install with /S into /D,
// log, remove with the QuietUninstallString's /S (its copy's status), and
// once more when nothing is installed.
TEST_F(HelloWizard, SignedInstallsAndRemovesSilently) {
    TempDir dir;
    const std::string key = UnixPath(dir / "key.pem"), cert = UnixPath(dir / "cert.pem"),
                      signed_ = dir / "signed.exe";
    ASSERT_EQ(
        RunLinux(dir, "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=q7pack-test -keyout '" +
                          key + "' -out '" + cert + "' && osslsigncode sign -certs '" + cert + "' -key '" +
                          key + "' -in '" + UnixPath(installer_) + "' -out '" + UnixPath(signed_) +
                          "' && osslsigncode verify -CAfile '" + cert + "' '" + UnixPath(signed_) + "'"),
        0);
    EXPECT_EQ(RunProgram(PackerExe(), {"verify", signed_}), 0);
    const std::string folder = dir / "Hello Silent", log = dir / "setup.log", quiet = "@ no-window\n@ end\nexit ";
    const std::string desktop = Folder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\Hello.lnk";
    EXPECT_EQ(Drive({"no-window"}, signed_, {"/S", "/D=" + folder, "/DESKTOP", "/LOG=" + log}),
              quiet + "0\n");
    EXPECT_TRUE(Contains(ReadFileBytes(log), "ArchiveInstall(\"" + folder + "\", 252, 251) = TRUE\r\n"));
    EXPECT_EQ(ReadFileBytes(folder + "\\hello.exe"), ReadFileBytes(WinePath(Q7_E2E_HELLO_PROGRAM)));
    EXPECT_TRUE(PathExists(desktop));
    EXPECT_EQ(Value(kUninstallKey, "QuietUninstallString"), "\"" + folder + "\\uninstall.exe\" /S");

    const std::string again = dir / "uninstall.exe";
    ASSERT_TRUE(CopyFileA((folder + "\\uninstall.exe").c_str(), again.c_str(), FALSE));
    EXPECT_EQ(Drive({"attach:Hello-uninstall.exe", "no-window"}, folder + "\\uninstall.exe", {"/S"}),
              "@ attach:Hello-uninstall.exe\n" + quiet + "0\n");
    for (const std::string& gone : {folder, desktop}) EXPECT_FALSE(PathExists(gone)) << gone;
    EXPECT_EQ(Value(kUninstallKey, "DisplayName"), "(none)");
    EXPECT_EQ(Drive({"no-window"}, again, {"/S"}), quiet + "1605\n");
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

// Hello's whole life: installed into Program Files with its shortcuts and an
// Apps & features entry that Wine's own uninstaller lists, a newer version
// over it, then uninstalled as Windows starts it: a file in use stops it
// with Retry/Cancel, and in the end only its copy stays, in a new folder of
// %TEMP% of its own, both due for deletion at restart. Whatever another
// program left at a name in %TEMP% it could know does not stop it.
TEST_F(HelloWizard, LivesInProgramFilesAndUninstallsLeavingOnlyATemporaryCopy) {
    TempDir dir;
    const std::string folder = std::string(InstallerBuild().ProgramFiles) + "\\Hello",
                      program = folder + "\\hello.exe";
    const std::string links[] = {Folder(CSIDL_COMMON_PROGRAMS) + "\\Hello.lnk",
                                 Folder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\Hello.lnk"};
    const std::string temp = getenv("TEMP"), planted = temp + "\\Hello-uninstall.exe";
    // What the brand scenarios' installations of Hello left in the prefix.
    for (const char* key : {kUninstallKey, kProductKey})
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key, InstallerBuild().RegistryView, 0);
    for (const std::string& file : {links[0], links[1]}) DeleteFileA(file.c_str());
    CreateDirectoryA(planted.c_str(), nullptr);

    std::string script = ReadFileBytes(Source("setup.ini"));
    WriteFileBytes(dir / "setup.ini",
                   script.replace(script.find("VERSION = \"1.0\""), 15, "VERSION = \"1.1\""));
    // The desktop shortcut is asked for once, and stays.
    for (auto [installer, desktop] :
         {std::pair{installer_, "answer:6"}, {Pack(dir / "hello-1.1.exe", dir / "setup.ini"), "answer:7"}}) {
        std::string t = Drive({"press:282", "press:243", "press:282", "press:283", desktop, "press:280", "answer:7"},
                              installer);
        EXPECT_TRUE(EndsWell(t));
    }
    for (const std::string& link : links)
        EXPECT_EQ(ReadShortcut(link), program + "||" + folder + "|" + program + ",0|Greets you");
    EXPECT_EQ(ReadFileBytes(program), ReadFileBytes(WinePath(Q7_E2E_HELLO_PROGRAM)));
    std::string listed = Listed(dir);
    EXPECT_TRUE(Contains(listed, "Hello|||Hello"));
    EXPECT_EQ(listed.find("Hello|||Hello"), listed.rfind("Hello|||Hello")) << "one entry after the upgrade";
    uint64_t bytes = 0;
    for (const char* file : {"hello.exe", "readme.txt", "docs\\license.txt", "uninstall.exe"})
        bytes += ReadFileBytes(folder + "\\" + file).size();
    for (auto [name, value] : {std::pair<const char*, std::string>{"DisplayName", "Hello"},
                               {"DisplayVersion", "1.1"},
                               {"Publisher", "Example Software"},
                               {"DisplayIcon", program},
                               {"InstallLocation", folder},
                               {"UninstallString", "\"" + folder + "\\uninstall.exe\""},
                               {"EstimatedSize", std::to_string((bytes + 1023) / 1024)},
                               {"NoModify", "1"},
                               {"NoRepair", "1"}})
        EXPECT_EQ(Value(kUninstallKey, name), value) << name;

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
    for (const char* path : {kUninstallKey, kProductKey})
        EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, path, InstallerBuild().RegistryView)) << path;
    EXPECT_EQ(Listed(dir).find("|||Hello"), std::string::npos);
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
