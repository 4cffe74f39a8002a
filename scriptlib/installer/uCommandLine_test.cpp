#include "scriptlib/installer/uCommandLine.h"

#include <gtest/gtest.h>

namespace {

using Items = std::vector<std::string>;

// Each line split by the installer's own rules (blanks and control characters
// separate, quotes group and go, code-page bytes stay) and by the C runtime's.
TEST(SplitCommandLine, OwnRulesAndTheCRuntimes) {
    const struct {
        decltype(&SplitCommandLine) split;
        const char* line;
        Items items;
    } cases[] = {
        {SplitCommandLine, "  setup.exe  a\tb\r\nc\001d  ", {"setup.exe", "a", "b", "c", "d"}},
        {SplitCommandLine, "", {}},
        {SplitCommandLine, " \t ", {}},
        {SplitCommandLine,
         R"("C:\Program Files\q7patcher.exe" "D:\my archive.q7")",
         {"C:\\Program Files\\q7patcher.exe", "D:\\my archive.q7"}},
        {SplitCommandLine, R"(x a" b "c)", {"x", "a b c"}},
        {SplitCommandLine, R"(x "" y)", {"x", "", "y"}},
        {SplitCommandLine, R"(x "open to the end)", {"x", "open to the end"}},
        {SplitCommandLine, "x \xC8\xE9\xF8\xA0y", {"x", "\xC8\xE9\xF8\xA0y"}},
        {SplitWindowsCommandLine,
         R"("C:\Program Files\setup.exe" /S)",
         {"C:\\Program Files\\setup.exe", "/S"}},
        {SplitWindowsCommandLine, R"(x "a b\\" c)", {"x", "a b\\", "c"}},
        {SplitWindowsCommandLine, R"(x a\\\"b a\\b "a""b" "")", {"x", "a\\\"b", "a\\\\b", "a\"b", ""}},
        {SplitWindowsCommandLine, "x a\001b\tc", {"x", "a\001b", "c"}},
        {SplitWindowsCommandLine, R"("a\"b c)", {"a\\", "b", "c"}},
    };
    for (const auto& c : cases) EXPECT_EQ(c.split(c.line), c.items) << c.line;
}

// What a restarted installer is given again: everything behind the program
// as it was written, quotes and all.
TEST(ProgramArguments, AreTheLineBehindTheProgramAsWritten) {
    const std::pair<const char*, const char*> cases[] = {
        {R"("C:\Program Files\setup.exe"  /S /D="C: b" x)", R"(/S /D="C: b" x)"},
        {"setup.exe	/S", "/S"},
        {R"("C: b\setup.exe"/S)", "/S"},
        {"setup.exe", ""},
        {R"("open)", ""},
        {"", ""},
    };
    for (const auto& [line, arguments] : cases) EXPECT_EQ(ProgramArguments(line), arguments) << line;
}

}  // namespace
