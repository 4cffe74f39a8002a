#include <gtest/gtest.h>

#include "script/uScript.h"
#include "tests/support/ScriptHarness.h"

namespace {

// The integer text rule's verdict: the number, or "fails".
std::string Rule(std::string_view text) {
    int32_t n = 12345;
    return IntegerFromText(text, n) ? std::to_string(n) : "fails";
}

// Decimal with an optional sign after leading spaces, or hexadecimal as the
// two's complement of at most 32 bits; nothing may follow.
TEST(IntegerTextRule, AcceptsOnlyWhole32BitNumbers) {
    for (std::string c :  // text=value
         {" 42=42", "   +7=7", "-0=0", "007=7", "0=0", "2147483647=2147483647", "-2147483648=-2147483648",
          "0000000000002147483647=2147483647", "$ff=255", "0xFF=255", "xff=255", "X1F=31",
          " 0X7fffffff=2147483647", "$FFFFFFFF=-1", "$80000000=-2147483648", "$000000001=1"}) {
        size_t eq = c.find('=');
        EXPECT_EQ(Rule(c.substr(0, eq)), c.substr(eq + 1)) << "'" << c << "'";
    }
    for (const char* bad : {"2147483648", "-2147483649", "21474836470", "99999999999999999999", "", "   ",
                            "42 ", "\t42", "4 2", "- 5", "+", "-", "+-1", "12a", "1.5"})
        EXPECT_EQ(Rule(bad), "fails") << "'" << bad << "'";
    for (const char* bad : {"$100000000", "-$1", "+$1", "-0x1", "$", "0x", "x", "$fg", "0x1 ", "$ 1"})
        EXPECT_EQ(Rule(bad), "fails") << "'" << bad << "'";
}

TEST(ScriptMemory, VariablesAreFoundNewestFirstAndByExactName) {
    TScriptMemory m;
    m.AddVariable("A", IntegerValue(1));
    m.AddVariable("A", IntegerValue(2));
    m.SetVariable("A", IntegerValue(3));
    m.SetVariable("B", StringValue("b"));
    std::string found;
    for (const char* name : {"A", "a", "AA", "B"}) found += std::to_string(m.FindVariable(name)) + " ";
    EXPECT_EQ(found + ValueText(m.VariableAt(0)) + " " + ValueText(m.VariableAt(1)), "1 -1 -1 2 i:1 i:3");
    m.DropLastVariable();
    EXPECT_EQ(m.FindVariable("B"), -1);
}

void First(TScript&, TValue& result) { result = StringValue("first"); }
void Second(TScript&, TValue& result) { result = StringValue("second"); }

TEST(ScriptMemory, TheFirstRegistrationWithAHandlerWins) {
    TScriptMemory m;
    m.RegisterFunction("f", 0, 0, TFunctionHandler{});
    m.RegisterFunction("f", 1, 2, {[](void*, TScript& s, TValue& r) { First(s, r); }, nullptr});
    m.RegisterFunction("f", 0, 0, {[](void*, TScript& s, TValue& r) { Second(s, r); }, nullptr});
    EXPECT_EQ(m.FindFunction("f"), 1);
    EXPECT_EQ(m.FindFunction("F"), -1);
    int32_t lo, hi;
    m.FunctionArity(1, lo, hi);
    TScriptHarness h;
    TValue slot = StringValue("stale");
    m.CallFunction(1, h, slot);
    EXPECT_EQ(std::to_string(lo) + " " + std::to_string(hi) + " " + slot.Str, "1 2 first");
}

TEST(Arguments, ArgCountsFromArgBaseAndMissingOnesDefault) {
    TScriptHarness h;
    h.Stack.AddVariable("", StringValue("below"));
    h.Stack.AddVariable("", StringValue("7g"));
    h.Stack.AddVariable("", IntegerValue(-3));
    h.ArgBase = 1;
    TValue v = StringValue("untouched");
    EXPECT_FALSE(h.Arg(0, v) || h.Arg(3, v));
    EXPECT_EQ(v.Str, "untouched");
    ASSERT_TRUE(h.Arg(1, v));
    EXPECT_EQ(ValueText(v) + " " + h.ArgStr(2) + " " + std::to_string(h.ArgInt(2)) + " " +
                  std::to_string(h.ArgInt(3)) + " [" + h.ArgStr(3) + "]",
              "s:7g -3 -3 0 []");
    EXPECT_THROW(h.ArgInt(1), ExceptionError);
    EXPECT_EQ(h.ErrorText, "cannot convert to integer: 7g");
}

}  // namespace
