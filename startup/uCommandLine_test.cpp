#include "startup/uCommandLine.h"

#include <gtest/gtest.h>

namespace {

using Items = std::vector<std::string>;

TEST(SplitCommandLine, BlanksAndControlCharactersSeparate) {
    EXPECT_EQ(SplitCommandLine("  setup.exe  a\tb\r\nc\x01" "d  "), (Items{"setup.exe", "a", "b", "c", "d"}));
    EXPECT_EQ(SplitCommandLine(""), Items{});
    EXPECT_EQ(SplitCommandLine(" \t "), Items{});
}

TEST(SplitCommandLine, QuotesGroupAndAreRemoved) {
    EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\q7patcher.exe\" \"D:\\my archive.q7\""),
              (Items{"C:\\Program Files\\q7patcher.exe", "D:\\my archive.q7"}));
    EXPECT_EQ(SplitCommandLine("x a\" b \"c"), (Items{"x", "a b c"}));
    EXPECT_EQ(SplitCommandLine("x \"\" y"), (Items{"x", "", "y"}));
    EXPECT_EQ(SplitCommandLine("x \"open to the end"), (Items{"x", "open to the end"}));
}

TEST(SplitCommandLine, KeepsCodePageBytesAsTheyAre) {
    EXPECT_EQ(SplitCommandLine("x \xC8\xE9\xF8\xA0y"), (Items{"x", "\xC8\xE9\xF8\xA0y"}));
}

// The C runtime's rules: each line with the items after the program.
TEST(SplitWindowsCommandLine, FollowsTheCRuntimesQuotingRules) {
    const struct {
        const char* line;
        Items items;
    } cases[] = {
        {R"("C:\Program Files\setup.exe" /S)", {"C:\\Program Files\\setup.exe", "/S"}},
        {R"(x "a b\\" c)", {"x", "a b\\", "c"}},
        {R"(x a\\\"b a\\b "a""b" "")", {"x", "a\\\"b", "a\\\\b", "a\"b", ""}},
        {"x a\x01" "b\tc", {"x", "a\x01" "b", "c"}},
        {R"("a\"b c)", {"a\\", "b", "c"}},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitWindowsCommandLine(c.line), c.items) << c.line;
}

}  // namespace
