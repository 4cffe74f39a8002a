// The base library, each function with its clipping rules, mostly as small
// scripts that carry their expectations with assert.

#include "scriptlib/uScriptLib.h"

#include <gtest/gtest.h>

#include "tests/support/ScriptHarness.h"

namespace {

TEST(BaseLib, FunctionsWorkOn32BitIntegersAndCountBytesFromZero) {
    EXPECT_EQ(CheckScript(R"(
        assert(abs(-5), 5); assert(abs(7), 7); assert(abs("-3"), 3); assert(abs(0), 0);
        assert(abs(-2147483647 - 1), -2147483647 - 1);
        assert(chr(65), "A"); assert(chr(321), "A"); assert(chr(-191), "A"); assert(strlen(chr(0)), 1);
        assert(chr(225) != "a", -1);
        assert(strlen(""), 0); assert(strlen(123), 3); assert(strlen(-12), 3); assert(strlen("a b"), 3);
        assert(strpos("abcabc", "bc"), 1); assert(strpos("abcabc", "bc", 2), 4);
        assert(strpos("abcabc", "bc", 5), -1); assert(strpos("abcabc", "bc", 99), -1);
        assert(strpos("abcabc", "bc", -5), 1); assert(strpos("abcabc", "bc", 0), 1);
        assert(strpos("abc", ""), -1); assert(strpos("", ""), -1); assert(strpos("abc", "", 1), -1);
        assert(strpos("aBc", "b"), -1); assert(strpos("x12y", 12), 1); assert(strpos("abc", "abcd"), -1);
        assert(print(), ""); assert(print(7), "7"); assert(strlen(print(1, "a", 2)), 7);
        assert(print(1, "a", 2), "1" + chr(13) + chr(10) + "a" + chr(13) + chr(10) + "2");
        x = assert("ab", "a" + "b"); assert(x, -1);
    )"),
              "ok");
}

TEST(BaseLib, SubstrClipsEveryRangeToTheText) {
    EXPECT_EQ(CheckScript(R"(
        t = "abcdef";
        assert(substr(t, 1, 3), "bcd"); assert(substr(t, 1, -2), "bcd"); assert(substr(t, -2), "ef");
        assert(substr(t, -10), "abcdef"); assert(substr(t, -10, 2), "ab"); assert(substr(t, -10, -1), "abcdef");
        assert(substr(t, 6), ""); assert(substr(t, 2, -10), ""); assert(substr(t, 0, 0), "");
        assert(substr(t, 4, 100), "ef"); assert(substr(t, 0), "abcdef"); assert(substr("setup.exe", -4), ".exe");
        assert(substr(t, -2147483647 - 1, 2147483647), "abcdef"); assert(substr(t, 2147483647, -2147483647 - 1), "");
        assert(substr(12345, 1, 2), "23"); assert(substr("", 0), "");
    )"),
              "ok");
}

TEST(BaseLib, StrtolowerLowersTheCodePagesCapitals) {
    // Windows-1250: Š Č Ť Ž Ý Á Í É Ľ Ô Ň and their small letters.
    EXPECT_EQ(
        CheckScript("assert(strtolower(\"ABC xyz 09 \\\\ \x8a\xc8\x8d\x8e\xdd\xc1\xcd\xc9\xbc\xd4\xd2\"),"
                    " \"abc xyz 09 \\\\ \x9a\xe8\x9d\x9e\xfd\xe1\xed\xe9\xbe\xf4\xf2\");"
                    "assert(strtolower(\"\"), \"\"); assert(strtolower(-1), \"-1\");"
                    "assert(strtolower(chr(65) + chr(0) + chr(66)), \"a\" + chr(0) + \"b\");"),  // past a NUL
        "ok");
}

// error and assert end the run at their closing parenthesis.
TEST(BaseLib, ErrorsNameTheirPosition) {
    const struct {
        const char *text, *outcome;
    } cases[] = {
        {"x = abs(\"x\");", "1:12: cannot convert to integer: x"},
        {"x = chr(\"\");", "1:11: cannot convert to integer: "},
        {"x = strpos(\"a\", \"b\", \"c\");", "1:25: cannot convert to integer: c"},
        {"error();", "1:7: "},
        {"x = 2; error(\"bad \" + x, );", "1:26: bad 2"},
        {"assert(4, 5);", "1:12: expected 5, got 4"},
        {"assert(5, \"5\");", "1:14: expected 5, got 5"},  // a string never equals an integer
        {"assert(\"a\", \"A\");", "1:16: expected A, got a"},
        {"assert(1);", "1:9: not enough parameters"},
        {"error(1, 2);", "1:10: too many parameters"},
    };
    for (const auto& c : cases) EXPECT_EQ(CheckScript(c.text), c.outcome) << c.text;
}

// A descendant that gives print another effect: the registration made by
// the base constructor must reach the override.
class TCountingPrintMemory : public TProbeMemory {
public:
    void Print(TScript& script, TValue& result) override {
        ++Printed;
        TBaseLibMemory::Print(script, result);
        result.Str = "[" + result.Str + "]";
    }
    int Printed = 0;
};

TEST(BaseLib, PrintRunsTheOverrideOfADescendant) {
    TCountingPrintMemory memory;
    TScriptHarness h;
    h.Memory = &memory;
    EXPECT_EQ(h.Check("assert(print(1, 2), \"[1\" + chr(13) + chr(10) + \"2]\");"), "ok");
    EXPECT_EQ(memory.Printed, 1);
}

}  // namespace
