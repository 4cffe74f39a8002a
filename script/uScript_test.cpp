// Statements, whole runs, the checking pass, error positions and nested runs.

#include <gtest/gtest.h>

#include "tests/support/ScriptHarness.h"

namespace {

TEST(Statements, RunAsWritten) {
    EXPECT_EQ(CheckScript(R"(
        // Semicolons are optional and empty statements allowed.
        x = 3;;; {;; y = "b" ;} ; z = 1 z = 2 assert(x, 3) assert(y, "b") assert(z, 2);
        // An else binds to the nearest if, and one ';' before it belongs to the if.
        if (0) a = 1; else a = 2; assert(a, 2);
        if (1) if (0) b = 1; else b = 2; assert(b, 2);
        c = 0; if (0) if (1) c = 1; else c = 2; assert(c, 0);
        if (1) d = 1 else d = 2 assert(d, 1);
        if (0) ; else e = 5; assert(e, 5);
        if (0) { f = 1; } else { f = 2; } assert(f, 2);
        if ("1") g = 1; assert(g, 1); if ("0") g = 2; assert(g, 1);
        if (0) h = 1; h = 3; assert(h, 3);
        n = 0; i = 0; while (i < 3) { j = 0; while (j < i) { n++; j++; } i++; } assert(n, 3);
        // The condition is scanned and evaluated afresh before every pass.
        k = 0; while (5 - calls() > 0) k++; assert(k, 4);
    )"),
              "ok after 5 calls()");
}

TEST(Statements, ErrorsNameTheTokenWhereTheyWereFound) {
    const struct {
        const char *text, *outcome;
    } cases[] = {
        {"if (0) a = 1;; else a = 2;", "1:16: statement expected"},
        {"else a = 1;", "1:1: statement expected"},
        {"if (\"yes\") x = 1;", "1:10: cannot convert to integer: yes"},
        {"return 1 +;", "1:11: expression expected"},
        {"x = 1;\nx + 1;", "2:3: statement expected"},
        {"x;", "1:2: not a variable: x"},
        {"{ a = 1", "1:8: } expected"},
        {"{ a = 1\r\n  // trailing\r\n  ", "3:3: } expected"},
        {"a = 1; }", "1:8: statement expected"},
        {"if x = 1;", "1:4: ( expected"},
        {"while\n\t1", "2:2: ( expected"},
        {"if (1 a = 1;", "1:7: ) expected"},
        {"5;", "1:1: statement expected"},
        {"x = 1; error(\"stop \" + x);", "1:25: stop 1"},
        // The checking pass finds these on paths that never run, before anything runs.
        {"calls(); x = 1; #", "1:17: invalid character: #"},
        {"calls(); if (0) { while (0) nofunc(); }", "1:35: not a function: nofunc"},
        {"calls(); if (0) { x = (1; }", "1:25: ) expected"},
        {"calls(); while (0) { abs(1, 2); }", "1:29: too many parameters"},
        {"calls(); if (0) x = \"never", "1:21: string not terminated"},
    };
    for (const auto& c : cases) EXPECT_EQ(CheckScript(c.text), c.outcome) << c.text;
}

TEST(Statements, ReturnEndsTheWholeRunFromAnyDepth) {
    TScriptHarness h;
    // The outcome, the run's result and the variable x.
    auto run = [&](const char* text) {
        std::string outcome = h.CheckResult(text);
        return outcome + " " + h.Var("x");
    };
    EXPECT_EQ(run("x = 1; return; x = 2;"), "ok i:0 i:1");
    EXPECT_EQ(run("x = 0; { while (1) { x++; if (x == 3) { return x * 2; } } } x = 100;"), "ok i:6 i:3");
    EXPECT_EQ(run("if (0) return 7; x = 5"), "ok i:0 i:5") << "a skipped return leaves Result alone";
    // A nested run resets the shared Result as it starts, not the value of the return it is part of.
    EXPECT_EQ(run("return \"a\" + nested(\"x = 6;\") + \"b\";"), "ok s:a0b i:6");
    EXPECT_EQ(h.Check("{ return }"), "ok");
}

TEST(CheckingPass, LeavesValueErrorsToTheRealPassAndCallsNoHandler) {
    TScriptHarness h;
    EXPECT_EQ(h.Check("if (0) { y = nope; z = \"a\" - 1; w = 1 / 0; q = -\"x\"; error(\"no\"); r++; }"),
              "ok");
    EXPECT_EQ(h.Check("calls();"), "ok");
    EXPECT_EQ(h.Probe.Calls, 1) << "the checking pass makes no call";
    EXPECT_EQ(h.Check("a = calls(); b = nope; c = 1;"), "1:22: not a variable: nope");
    EXPECT_EQ(h.Var("a") + " " + h.Var("c"), "i:2 none") << "what ran before the error stands";
    EXPECT_EQ(h.RunOnce("d = a;"), "ok") << "variables outlive the run";
    EXPECT_EQ(h.Var("d"), "i:2");
}

TEST(Runs, NeedAParserAndMemory) {
    TScript bare;
    EXPECT_FALSE(bare.Run(false));
    EXPECT_FALSE(bare.CheckAndRun());
}

TEST(NestedRuns, ShareMemoryAndStackAndLeaveTheOuterRunGoing) {
    TScriptHarness h;
    EXPECT_EQ(h.Check(R"(
        a = 1; r = nested("a = a + 1; log(a); return 5; a = 100;"); assert(a, 2); assert(r, 5);
        i = 0; while (i < 3) nested("i++;"); assert(i, 3);
        s = log("x", nested("log(height(), argbase());"), "y");
    )"),
              "ok");
    EXPECT_EQ(h.Probe.Log, (std::vector<std::string>{"2", "2", "3", "x", "0", "y"}));
    EXPECT_EQ(h.Stack.VariableCount(), 0);
    EXPECT_EQ(h.Probe.Nested.size(), 5u);
}

TEST(NestedRuns, AFailingNestedRunEndsOnlyItself) {
    TScriptHarness h;
    std::string text =
        "msg = \"boom\"; r = log(1, nested(\"log(2, 3, error(msg));\"), 4); after = 1; y = nope;";
    std::string nopeAt = std::to_string(text.find("nope;") + 5);
    EXPECT_EQ(h.Check(text), "1:" + nopeAt + ": not a variable: nope")
        << "the outer run goes on and reports its own position";
    EXPECT_EQ(h.Probe.Nested, (std::vector<std::string>{"1:20: boom"}));
    EXPECT_EQ(h.Probe.ArgsAfterNested, (std::vector<std::string>{"log(2, 3, error(msg));"}));
    EXPECT_EQ(h.Probe.Log, (std::vector<std::string>{"1", "0", "4"})) << "its own arguments intact";
    EXPECT_EQ(h.Var("after"), "i:1");
    EXPECT_EQ(h.Stack.VariableCount(), 0) << "the enclosing call dropped what the nested run left";

    TScriptHarness c;
    EXPECT_EQ(c.Check("nested(\"x = 1; if (0) nofunc();\", 1); nested(\"x = $\", 1); ok = 1;"), "ok");
    EXPECT_EQ(c.Probe.Nested,
              (std::vector<std::string>{"1:21: not a function: nofunc", "1:5: not a integer literal: $"}));
    EXPECT_EQ(c.Var("x") + " " + c.Var("ok"), "none i:1");
}

}  // namespace
