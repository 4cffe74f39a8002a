// The English example (examples/hello) as its user meets it: q7pack writes
// its brand into the installer, whose pages then show the new title,
// footer, texts, icon and banner, whose boxes carry the new caption, whose
// version information Windows reads, and which installs completely.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include "tests/e2e/uE2e.h"

namespace {

const char kTitle[] = "Hello 1.0 Setup";

std::string Source(const std::string& relative) {
    return WinePath(Q7_E2E_SOURCE_DIR "/examples/hello/" + relative);
}

std::string Screen(const std::string& transcript, const std::string& action) {
    size_t start = transcript.find("@ " + action + "\n");
    if (start == std::string::npos) return "(no action " + action + ")";
    start = transcript.find('\n', start) + 1;
    return transcript.substr(start, transcript.find("@ ", start) - start);
}

std::string Hex(const std::string& bytes, size_t blue) {
    if (bytes.size() < blue + 3) return "(file too short)";
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", static_cast<unsigned char>(bytes[blue + 2]),
                  static_cast<unsigned char>(bytes[blue + 1]), static_cast<unsigned char>(bytes[blue]));
    return text;
}

// Where the driver probes the pictures, and what the files say it shows
// there: the banner (24 bits, rows bottom up), stretched to the page's
// width, and the opaque pixels of the icon's 32x32 image (32 bits with
// alpha, the first of hello.ico). A banner probe holds the colours of the
// banner's pixels next to the one under it, as the stretch may round
// either way.
struct Probe {
    std::string action, colour;
    int x = -1, y = -1;  // where in a banner shown at its own size
};

std::vector<Probe> PictureProbes() {
    std::vector<Probe> probes;
    for (int x : {0, 45, 150, 263, 462, 525})
        for (int y : {0, 30, 70, 87})
            probes.push_back({"colour:-1:" + std::to_string(x) + ":" + std::to_string(y), "", x, y});
    std::string ico = ReadFileBytes(Source("hello.ico"));
    const size_t image = 6 + 32;  // behind the directory of two entries
    for (auto [x, y] : {std::pair{16, 16}, {10, 12}, {21, 12}, {16, 24}, {5, 16}, {16, 2}}) {
        size_t pixel = image + 40 + 4 * ((31 - y) * 32 + x);
        if (ico.size() > pixel + 3 && static_cast<unsigned char>(ico[pixel + 3]) == 255)
            probes.push_back({"colour:202:" + std::to_string(x) + ":" + std::to_string(y), Hex(ico, pixel)});
    }
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

class HelloWizard : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        package_ = std::make_unique<TempDir>();
        installer_ = *package_ / "hello-setup.exe";
        ASSERT_EQ(RunProgram(PackerExe(), {"create", "-o", installer_, "--stub", InstallerExe(), "--brand",
                                           Source("brand.ini"), Source("setup.ini"), Source("payload"),
                                           "hello.exe=" + WinePath(Q7_E2E_HELLO_PROGRAM)}),
                  0);
    }
    static void TearDownTestSuite() { package_.reset(); }

    static std::unique_ptr<TempDir> package_;
    static std::string installer_;
};

std::unique_ptr<TempDir> HelloWizard::package_;
std::string HelloWizard::installer_;

TEST_F(HelloWizard, InstallsWithItsOwnTitleTextsIconAndBanner) {
    TempDir dir;
    std::string folder = dir / "Hello";
    std::vector<Probe> probes = PictureProbes();
    std::vector<std::string> actions = {"size:0", "size:-1"};
    for (const Probe& p : probes) actions.push_back(p.action);
    actions.insert(actions.end(), {"press:282", "press:243", "press:282", "type:221:" + folder, "press:283", "press:280", "answer:7"});
    std::string t = Drive(actions, installer_);
    std::string welcome = Screen(t, probes.front().action);
    for (const char* line :
         {"page \"Hello 1.0 Setup\"\n", "  211 Static \"Welcome to the Hello 1.0 Setup Wizard.\"\n",
          "  282 Button \"Next >\" default\n  280 Button \"Cancel\"\n",
          "  -1 Static \"Hello 1.0 · Example Software\" disabled\n"})
        EXPECT_NE(welcome.find(line), std::string::npos) << line << "\n" << t;
    EXPECT_GE(probes.size(), 24u + 4u) << "most of the icon's probes fall on opaque pixels";
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
    EXPECT_NE(Screen(t, "type:221:" + folder).find("  220 Static \"Install Hello in this folder:\"\n"),
              std::string::npos)
        << t;
    std::string result = Screen(t, "press:280");
    EXPECT_NE(result.find("  232 Static \"Hello 1.0 has been installed.\"\n"), std::string::npos) << t;
    EXPECT_NE(result.find("  280 Button \"Finish\" default\n  280 Button \"Cancel\" disabled\n"),
              std::string::npos)
        << t;
    EXPECT_NE(Screen(t, "answer:7").find(Box(kTitle, "question", "Start Hello now?", "6 7")),
              std::string::npos)
        << t;
    EXPECT_EQ(t.substr(t.size() - strlen(kEnd)), kEnd) << t;

    EXPECT_EQ(ReadFileBytes(folder + "\\hello.exe"), ReadFileBytes(WinePath(Q7_E2E_HELLO_PROGRAM)));
    EXPECT_EQ(ReadFileBytes(folder + "\\readme.txt"), ReadFileBytes(Source("payload/readme.txt")));
    EXPECT_EQ(ReadFileBytes(folder + "\\docs\\license.txt"),
              ReadFileBytes(Source("payload/docs/license.txt")));
}

TEST_F(HelloWizard, FatalErrorsAndVersionInformationCarryTheBrand) {
    std::string t = Drive({"answer:1"}, installer_, {"C:\\no\\such\\archive.q7"});
    EXPECT_EQ(Screen(t, "answer:1"), Box(kTitle, "error", "The archive of this installer is damaged.", "1"))
        << t;

    EXPECT_EQ(VersionText(installer_, "ProductName"), "Hello");
    EXPECT_EQ(VersionText(installer_, "ProductVersion"), "1.0");
    EXPECT_EQ(VersionText(installer_, "CompanyName"), "Example Software");
    EXPECT_EQ(VersionText(installer_, "LegalCopyright"), "Copyright 2026 Example Software");
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

// Signed after packing with a throw-away certificate, the installer still
// verifies, reads its archive and installs.
TEST_F(HelloWizard, SignedInstallerVerifiesAndInstalls) {
    if (!PathExists("Z:\\usr\\bin\\openssl") || !PathExists("Z:\\usr\\bin\\osslsigncode"))
        GTEST_SKIP() << "openssl or osslsigncode missing";
    TempDir dir;
    std::string key = UnixPath(dir / "key.pem"), cert = UnixPath(dir / "cert.pem"),
                signed_ = dir / "signed.exe";
    ASSERT_EQ(
        RunLinux(dir, "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=q7pack-test -keyout '" +
                          key + "' -out '" + cert + "'"),
        0);
    ASSERT_EQ(RunLinux(dir, "osslsigncode sign -certs '" + cert + "' -key '" + key + "' -in '" +
                                UnixPath(installer_) + "' -out '" + UnixPath(signed_) + "'"),
              0);
    EXPECT_EQ(RunLinux(dir, "osslsigncode verify -CAfile '" + cert + "' '" + UnixPath(signed_) + "'"), 0);
    EXPECT_EQ(RunProgram(PackerExe(), {"verify", signed_}), 0);

    std::string folder = dir / "Hello";
    std::string t = Drive({"press:282", "press:243", "press:282", "type:221:" + folder, "press:283", "press:280", "answer:7"},
                          signed_);
    EXPECT_EQ(t.substr(t.size() - strlen(kEnd)), kEnd) << t;
    EXPECT_EQ(ReadFileBytes(folder + "\\docs\\license.txt"),
              ReadFileBytes(Source("payload/docs/license.txt")));
}

}  // namespace
