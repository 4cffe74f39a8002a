// Expressions and calls. Most cases are small scripts that carry their
// expectations inline with assert(actual, expected), which compares kind and
// value; a failing case reports its line and column.

#include <gtest/gtest.h>

#include "tests/support/ScriptHarness.h"

namespace {

TEST(Operators, IntegerArithmeticWrapsAndDividesTowardZero) {
    EXPECT_EQ(CheckScript(R"(
        assert(7 / 2, 3); assert(-7 / 2, -3); assert(-7 % 2, -1); assert(7 % -2, 1);
        assert(2147483647 + 1, -2147483647 - 1); assert($80000000, -2147483647 - 1);
        assert(-2147483647 - 2, 2147483647); assert(65536 * 65536, 0); assert(65537 * 65537, 131073);
        m = $80000000; assert(-m, m); assert(m * -1, m); assert(m - 1, 2147483647);
        assert(m / 1, m); assert(m % 1, 0); assert(m / -2, $40000000);
        assert(6 | 3, 7); assert(6 ^ 3, 5); assert(6 & 3, 2); assert(-1 & $ff, 255);
        assert(1 + "2", 3); assert(2 * "5", 10); assert(1 - " 3", -2); assert(8 & "$c", 8);
    )"),
              "ok");
}

TEST(Operators, TheLeftOperandDecidesTheKind) {
    EXPECT_EQ(CheckScript(R"(
        assert("a" + 1, "a1"); assert("" + -5, "-5"); assert("a" + "b" + 1 + 2, "ab12");
        assert("" + $80000000, "-2147483648");
        assert("1" == 1, -1); assert(1 == "01", -1); assert("01" == 1, 0);
        assert("10" < "9", -1); assert(10 < "9", 0); assert("abc" < "abd", -1);
        assert("ab" < "abc", -1); assert("B" < "a", -1);
        assert("a" != "a", 0); assert("b" >= "a", -1); assert("" <= "", -1); assert(2 > "10", 0);
        assert(+"abc", "abc"); assert(-"5", -5); assert(!"0", -1);
        assert(!0, -1); assert(!-1, 0); assert(!5, -6); assert(!1, -2);
    )"),
              "ok");
    EXPECT_EQ(CheckScript("assert(\"z\" < \"\xe1\", -1); assert(\"\xe1\" < \"\x7f\", 0);"), "ok")
        << "bytes compare as unsigned numbers";
}

TEST(Precedence, LevelsAndLeftAssociativity) {
    EXPECT_EQ(CheckScript(R"(
        assert(1 + 2 * 3, 7); assert((1 + 2) * 3, 9); assert(1 < 2 & 3 < 4, -1);
        assert(1 | 2 ^ 3 & 4, 3); assert(10 - 3 - 2, 5); assert(100 / 10 / 5, 2); assert(2 - 3 + 4, 3);
        assert(1 < 2 < 3, -1); assert(3 > 2 > 1, 0); assert(1 == 1 == -1, -1);
        assert(-2 * -3, 6); assert(!0 + 1, 0); assert(- -1, 1); assert(+ + +1, 1); assert(1 - -1, 2);
        a = b = 7; assert(a, 7); assert(b, 7);
        assert((s = "x") != "", -1); assert(s, "x"); assert(c = 2 + 3, 5);
    )"),
              "ok");
}

TEST(Increments, PrefixAndPostfixStepVariables) {
    EXPECT_EQ(CheckScript(R"(
        s = "5"; t = s++; assert(t, "5"); assert(s, 6);
        n = 1; m = ++n; assert(m, 2); assert(n, 2);
        k = " 3"; assert(--k, 2); assert(k--, 2); assert(k, 1);
        w = 2147483647; w++; assert(w, -2147483647 - 1);
        i = 0; i++; x = ++i; assert(i, 2);
    )"),
              "ok");
}

TEST(Expressions, ErrorsNameTheTokenWhereTheyWereFound) {
    const struct {
        const char *text, *outcome;
    } cases[] = {
        // A string operand that cannot serve fails after the right operand.
        {"x = \"5\" * 2 ;", "1:13: operator not applicable to value"},
        {"x = \"5\" | calls();", "1:18: operator not applicable to value after 1 calls()"},
        {"x = \"s\" ^ calls();", "1:18: operator not applicable to value after 1 calls()"},
        {"x = 1 + \"x\"\n;", "2:1: cannot convert to integer: x"},
        {"x = -\"abc\";", "1:11: cannot convert to integer: abc"},
        // Divisions without a 32-bit result; values are not looked at while skipping.
        {"x = 1 / 0;", "1:10: division by zero"},
        {"x = 1 % (2 - 2) ;", "1:17: division by zero"},
        {"m = -2147483647 - 1; x = m / -1;", "1:32: integer overflow"},
        {"m = $80000000; x = m % -1;", "1:26: integer overflow"},
        {"if (0) x = 1 / 0;", "ok"},
        // Increments need a variable, and statements begin with a name.
        {"i = 0; ++i;", "1:8: statement expected"},
        {"x = ++5;", "1:7: variable expected"},
        {"x++;", "1:2: not a variable: x"},
        {"z = ++x;", "1:7: not a variable: x"},
        {"x = \"a\"; x++;", "1:11: cannot convert to integer: a"},
        // Primaries; the end of the text lies behind trailing comments.
        {"y = x;", "1:6: not a variable: x"},
        {"y = 2147483648;", "1:5: not a integer literal: 2147483648"},
        {"calls(); if (0) { y = $; }", "1:23: not a integer literal: $"},
        {"calls(); if (0) y = 99999999999;", "1:21: not a integer literal: 99999999999"},
        {"y = (1 + 2;", "1:11: ) expected"},
        {"y = ;", "1:5: expression expected"},
        {"y = 1 +", "1:8: expression expected"},
        {"y = 1 + /* c */  ", "1:18: expression expected"},
        {"y = if;", "1:5: expression expected"},
        // Calls: counts and names.
        {"x = two(1);", "1:10: not enough parameters"},
        {"x = two(1, 2, 3);", "1:15: too many parameters"},
        {"x = nofunc(1);", "1:11: not a function: nofunc"},
        {"x = log(,1);", "1:9: expression expected"},
        {"x = log(1 2);", "1:11: ) expected"},
        {"x = log(1", "1:10: ) expected"},
    };
    for (const auto& c : cases) EXPECT_EQ(CheckScript(c.text), c.outcome) << c.text;
}

TEST(Expressions, ErrorsFoundWithoutRunningAnything) {
    for (bool skip : {false, true}) {
        TScriptHarness s;
        EXPECT_EQ(s.RunOnce("if (0) x = two(1, 2, calls());", skip), "1:22: too many parameters");
        EXPECT_EQ(s.RunOnce("if (0) x = two(calls());", skip), "1:23: not enough parameters");
        EXPECT_EQ(s.RunOnce("if (0) x = nope(calls());", skip), "1:16: not a function: nope");
        EXPECT_EQ(s.Probe.Calls, 0);
    }
    TScriptHarness h;
    EXPECT_EQ(h.RunOnce("x = two(calls(), calls(), calls());"), "1:27: too many parameters");
    EXPECT_EQ(h.Probe.Calls, 2) << "the surplus argument is not evaluated";
}

TEST(Calls, AfterAnErrorArgBaseIsRestoredAndLaterCallsCountFromTheHeightFound) {
    TScriptHarness h;
    EXPECT_EQ(h.Check("log(1, log(2, 3, error(\"boom\")));"), "1:30: boom");
    EXPECT_EQ(h.ArgBase, 0);
    EXPECT_EQ(h.Stack.VariableCount(), 4) << "arguments pushed before the error stay";
    h.Probe.Log.clear();
    EXPECT_EQ(h.Check("n = log(5, 6); assert(n, 2); assert(argbase(), 4);"), "ok");
    EXPECT_EQ(h.Probe.Log, (std::vector<std::string>{"5", "6"}));
}

}  // namespace
