#include "startup/uCommandLine.h"

#include <gtest/gtest.h>

#include <optional>

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

}  // namespace

// The C runtime's rules: each line with the items after the program.
TEST(SplitWindowsCommandLine, FollowsTheCRuntimesQuotingRules) {
    const struct {
        const char* line;
        Items items;
    } cases[] = {
        {R"("C:\Program Files\setup.exe" /S)", {"C:\\Program Files\\setup.exe", "/S"}},
        {R"(setup.exe /D="C:\Program Files\App")", {"setup.exe", "/D=C:\\Program Files\\App"}},
        {R"(setup.exe /D="C:\Program Files\App)", {"setup.exe", "/D=C:\\Program Files\\App"}},
        {R"(x "a b\\" c)", {"x", "a b\\", "c"}},
        {R"(x a\\\"b a\\b "a""b" "")", {"x", "a\\\"b", "a\\\\b", "a\"b", ""}},
        {"x a\x01" "b\tc", {"x", "a\x01" "b", "c"}},
        {R"("a\"b c)", {"a\\", "b", "c"}},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitWindowsCommandLine(c.line), c.items) << c.line;
}

TEST(ParseInvocation, OptionsOnlyWhereTheInstallerTakesThem) {
    const struct {
        const char* line;
        bool withOptions;
        std::optional<std::string> archive;
        std::vector<std::pair<std::string, std::string>> options;
    } cases[] = {
        {"setup.exe", true, std::nullopt, {}},
        {"setup.exe /S", false, "/S", {}},
        {"setup.exe /S /D=C:\\x", false, "/D=C:\\x", {}},
        {R"(setup.exe /S "/D=C:\a b" /log=x=y one.q7 two.q7)", true, "two.q7", {{"S", ""}, {"D", "C:\\a b"}, {"log", "x=y"}}},
        {R"(setup.exe /S "C:\dir\")", false, "C:\\dir\\", {}},
        {R"(setup.exe "C:\dir\\" /S)", true, "C:\\dir\\", {{"S", ""}}},
    };
    for (const auto& c : cases) {
        TInvocation got = ParseInvocation(c.line, c.withOptions);
        std::vector<std::pair<std::string, std::string>> options;
        for (const TOption& o : got.Options) options.emplace_back(o.Name, o.Value);
        EXPECT_EQ(got.Archive, c.archive) << c.line;
        EXPECT_EQ(options, c.options) << c.line;
    }
    std::vector<TOption> given = {{"D", "first"}, {"s", ""}, {"d", "last"}};
    EXPECT_EQ(FindOption(given, "/D")->Value, "last");
    EXPECT_NE(FindOption(given, "S"), nullptr);
    EXPECT_EQ(FindOption(given, "LOG"), nullptr);
}
