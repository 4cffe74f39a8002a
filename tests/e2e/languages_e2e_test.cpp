// The languages example (examples/world): one UTF-8 installer that shows
// the user's language on its pages and in its boxes (English for a language
// it lacks), installs names of any script, and writes UTF-8 registry and
// INI values; and a Windows-1252 package on a Windows-1252 system. Wine
// takes the display language and the ANSI code page from LANG, which CTest
// sets for each run of this program (tests/e2e/CMakeLists.txt).

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/e2e/uE2e.h"

namespace {

namespace fs = std::filesystem;

std::string Source(const std::string& relative) { return Example("world/" + relative); }

std::string FileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::wstring IniValue(const fs::path& ini, const wchar_t* key) {
    wchar_t value[256] = {};
    GetPrivateProfileStringW(L"Hello", key, L"(none)", value, 256, ini.wstring().c_str());
    return value;
}

TEST(WorldWizard, SpeaksTheUsersLanguageAndInstallsEveryScriptsNames) {
    struct Case {
        const char *locale, *welcome, *next, *finish, *caption, *box;
    };
    const Case cases[] = {
        {"sk_SK.UTF-8", "Welcome to the setup of Hello World 1.0.", "Next >", "Finish", "Setup",
         "Hello World is installed. Greetings to everyone!"},
        {"de_DE.UTF-8", "Willkommen bei der Installation von Hello World 1.0.", "Weiter >", "Fertig stellen",
         "Installation", "Hello World ist installiert. Grüße an alle!"},
        {"fr_FR.UTF-8", "Bienvenue dans l'installation de Hello World 1.0.", "Suivant >", "Terminer", "Installation",
         "Hello World est installé. Salut à tous, où que vous soyez !"},
        {"ru_RU.UTF-8", "Вас приветствует установка Hello World 1.0.", "Далее >", "Готово", "Установка",
         "Hello World установлен. Привет всем!"},
        {"ja_JP.UTF-8", "Hello World 1.0 のセットアップへようこそ。", "次へ >", "完了", "セットアップ",
         "Hello World をインストールしました。みなさん、こんにちは！"},
    };
    const wchar_t* names[] = {L"Grüße.txt", L"Привет.txt", L"こんにちは.txt", L"docs\\Été à Paris.txt"};
    const char* lang = std::getenv("LANG");
    for (const Case& c : cases) {
        if (!lang || std::string(lang) != c.locale) continue;
        TempDir dir;
        std::string folder = dir / "World";
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Example Software\\Hello World");
        std::string installer =
            PackInstaller(dir / "world-setup.exe",
                          {"--brand", Source("brand.ini"), Source("setup.ini"), Source("payload")});
        std::string t =
            Drive({"press:282", "type:221:" + folder, "press:283", "press:280", "answer:1"}, installer);
        for (std::string line : {std::string("  211 Static \"") + c.welcome + "\"\n",
                                 std::string("  282 Button \"") + c.next + "\" default\n",
                                 std::string("  280 Button \"") + c.finish + "\" default\n",
                                 Box(c.caption, "information", c.box, "1")})
            EXPECT_TRUE(Contains(t, line)) << c.locale;
        fs::path installed = fs::path(folder), source = fs::u8path(Source("payload"));
        for (const wchar_t* name : names)
            EXPECT_EQ(FileBytes(installed / name), FileBytes(source / name)) << c.locale;
        EXPECT_EQ(RegText(HKEY_CURRENT_USER, "Software\\Example Software\\Hello World", "Greeting"),
                  "Grüße · Привет · こんにちは")
            << c.locale;
        // An INI file has no code page of its own: it holds the installer's UTF-8.
        EXPECT_EQ(FileBytes(installed / L"world.ini"),
                  "[Hello]\r\nGreeting=Grüße · Привет · こんにちは\r\nLower=été жук åsa\r\n")
            << c.locale;
    }
}

// A Windows-1252 package: q7pack stores the UTF-8 script and names in
// Windows-1252, which a Windows-1252 system (German locale) reads right.
TEST(Cp1252Package, InstallsAccentedNamesOnAWindows1252System) {
    if (GetACP() != 1252) GTEST_SKIP() << "runs where the ANSI code page is 1252";
    TempDir dir;
    fs::path payload = dir.Path() / "payload";
    fs::create_directories(payload);
    const wchar_t* names[] = {L"niño.txt", L"café crème.txt"};
    for (const wchar_t* name : names) std::ofstream(payload / name) << "ñ é";
    std::string folder = dir / "out";
    WriteFileBytes(dir / "brand.ini", "[installer]\ncodepage = 1252\nlanguage = es\n");
    WriteFileBytes(dir / "setup.ini", "if (MESSAGE == INITAPP) {\n  CreateDirectory(\"" + folder +
                                          "\"); SetCurrentDirectory(\"" + folder +
                                          "\");\n  i = 1;\n  while (i < ArchiveFileCount()) { ArchiveFileCopy(i); i++; }\n"
                                          "  WriteIni(\"" + folder + "\\x.ini\", \"Hello\", \"Lower\", strtolower(\"ÑANDÚ\"));\n}\n");
    Drive({}, PackInstaller(dir / "setup.exe",
                            {"--brand", dir / "brand.ini", dir / "setup.ini", dir / "payload"}));
    for (const wchar_t* name : names) EXPECT_EQ(FileBytes(fs::path(folder) / name), "ñ é");
    EXPECT_EQ(IniValue(fs::path(folder) / L"x.ini", L"Lower"), L"ñandú");
}

}  // namespace
