// Nesting depth: every kind of nesting counts toward one limit, so that no
// script can overflow the stack of the installer's main thread (1 MiB on
// Windows), in the checking pass as in the real pass.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "tests/support/ScriptHarness.h"

namespace {

std::string Repeat(std::string_view piece, int32_t times) {
    std::string out;
    for (int32_t i = 0; i < times; ++i) out += piece;
    return out;
}

struct TNestingKind {
    const char* Name;
    int32_t Overhead;  // levels the script uses besides the repeated ones
    std::string (*Make)(int32_t levels, const std::string& inner);
};

// Each kind wraps an innermost call, `inner`, in the given number of levels.
const TNestingKind kKinds[] = {
    {"statements", 1, [](int32_t n, const std::string& in) { return Repeat("if (1) ", n) + in + ";"; }},
    {"blocks", 1, [](int32_t n, const std::string& in) { return Repeat("{", n) + in + Repeat("}", n); }},
    {"parentheses", 2,
     [](int32_t n, const std::string& in) { return "x = " + Repeat("(", n) + in + Repeat(")", n); }},
    {"unary operators", 2, [](int32_t n, const std::string& in) { return "x = " + Repeat("- ", n) + in; }},
    {"call arguments", 2,
     [](int32_t n, const std::string& in) { return "x = " + Repeat("abs(", n) + in + Repeat(")", n); }},
    {"assignments", 1, [](int32_t n, const std::string& in) { return Repeat("x = ", n) + in; }},
};

// The stack a script uses at the deepest nesting allowed, measured from a
// handler called at the innermost level. Sanitizers enlarge every frame, so
// the budget is checked in plain builds only; the figures are printed for
// choosing MaxDepth (run the win64 build to see the Windows figures).
uintptr_t gLowestProbe = UINTPTR_MAX;

void StackProbe(void*, TScript&, TValue& result) {
    volatile char here = 0;
    result = IntegerValue(0);
    gLowestProbe = std::min(gLowestProbe, reinterpret_cast<uintptr_t>(&here));
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kPlainBuild = false;
#else
constexpr bool kPlainBuild = true;
#endif

// Under a third of the main thread's 1 MiB: the rest stays for the
// installer, the dialogs of nested events and the operating system.
constexpr uintptr_t kStackBudget = 320 * 1024;

TEST(Nesting, EveryKindWorksUpToTheLimitWithinTheStackBudgetAndFailsCleanlyFarBeyond) {
    static_assert(TScript::MaxDepth >= 200, "scripts in the field nest at least 200 levels");
    for (const TNestingKind& kind : kKinds) {
        int32_t deepest = TScript::MaxDepth - kind.Overhead;
        TScriptHarness deep;
        deep.Probe.RegisterFunction("probe", 0, 0, TFunctionHandler{&StackProbe, nullptr});
        volatile char top = 0;
        gLowestProbe = UINTPTR_MAX;
        ASSERT_EQ(deep.Check(kind.Make(deepest, "probe()")), "ok") << kind.Name;
        uintptr_t used = reinterpret_cast<uintptr_t>(&top) - gLowestProbe;
        std::printf("%-16s %4d levels: %7zu bytes of stack, %5zu per level\n", kind.Name, deepest,
                    static_cast<size_t>(used), static_cast<size_t>(used / static_cast<uintptr_t>(deepest)));
        if (kPlainBuild) {
            EXPECT_LT(used, kStackBudget) << kind.Name;
        }

        // One level too deep and far too deep, checked first or in one pass.
        TScriptHarness h;
        std::string far = kind.Make(100000, "calls()");
        for (const std::string& outcome :
             {CheckScript(kind.Make(deepest + 1, "calls()")), h.Check(far), h.RunOnce(far)})
            EXPECT_NE(outcome.find(": nesting too deep"), std::string::npos) << kind.Name << ": " << outcome;
        EXPECT_EQ(h.Probe.Calls, 0) << kind.Name;
        EXPECT_EQ(h.Depth(), 0) << kind.Name << ": the depth returns to zero after the error";
    }
}

TEST(Nesting, TheErrorNamesTheFirstTokenTooDeepAndTheCheckingPassFindsIt) {
    // A too-deep branch that never runs is reported before anything runs.
    std::string text = "calls(); if (0) { x = " + Repeat("(", 100000) + "1" + Repeat(")", 100000) + "; }";
    // The statements if, { and x = hold three levels and the right-hand side
    // one more; the first '(' too deep is the one behind the level that fails.
    int32_t column = 23 + TScript::MaxDepth - 3;
    EXPECT_EQ(CheckScript(text), "1:" + std::to_string(column) + ": nesting too deep");
    std::string mixed = Repeat("{ if (1) ", 50000) + "x = " + Repeat("(- abs(", 50000);
    EXPECT_NE(CheckScript(mixed).find("nesting too deep"), std::string::npos);
    EXPECT_EQ(CheckScript("x = " + Repeat("+ ", 100000) + "1; assert(x, 1);"), "ok") << "a run of + is one level";
}

TEST(Nesting, NestedRunsCountOnFromTheOuterDepth) {
    TScriptHarness h;
    std::string inner = Repeat("{", TScript::MaxDepth) + Repeat("}", TScript::MaxDepth);
    EXPECT_EQ(h.Check("nested(\"" + inner + "\"); ok = 1;"), "ok");
    // The outer statement holds one level while its handler runs.
    EXPECT_EQ(h.Probe.Nested,
              (std::vector<std::string>{"1:" + std::to_string(TScript::MaxDepth) + ": nesting too deep"}));
    EXPECT_EQ(h.Var("ok"), "i:1");
    EXPECT_EQ(h.Depth(), 0);
}

}  // namespace
