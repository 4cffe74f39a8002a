#include "archive/uStoredName.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

namespace {

TEST(IsEscapingName, RefusesNamesThatLeaveTheDirectory) {
    for (const char* name : {"\\abs", "/abs", "C:\\x", "c:x", "..", "..\\x", "a/../b", "a\\..", "x/.."})
        EXPECT_TRUE(IsEscapingName(name)) << name;
    for (const char* name : {"setup.ini", "dir\\file", "a/b", "..a", "a..", "a\\...\\b", ".\\x", "", "1:x"})
        EXPECT_FALSE(IsEscapingName(name)) << name;
}

TEST(StoredNameFault, RefusesNamesWindowsWouldTurnIntoSomethingElse) {
    const std::string refused[] = {
        "", "..\\x", "C:x",                                              // empty, escaping
        "CON", "con", "Nul.txt", "dir\\aux.tar.gz", "lpt9", "COM1/x", "PRN .txt",  // devices
        "ads.txt:hidden", "a<b", "a>b", "a\"b", "a|b", "a?b", "a*b",     // reserved characters
        "tab\there", "nul\0byte"s, "esc\x1b[2J",                         // control bytes
        "trail.", "trail ", "dir.\\file", "dir \\file",                  // dropped by Windows
    };
    for (const std::string& name : refused) EXPECT_NE(StoredNameFault(name), nullptr) << name;
    const char* kept[] = {"setup.ini", "dir\\file.txt", "a/b", ".\\x", "CONSOLE.txt", "com10", "LPT0",
                          "COM", "xcon", "con_x.txt", "\xC1\xE8ko.txt", "..a", "a..b"};
    for (const char* name : kept) EXPECT_EQ(StoredNameFault(name), nullptr) << name;
}

}  // namespace
