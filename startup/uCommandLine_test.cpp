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

}  // namespace
