#pragma once
// A script over the base library plus a few probing functions, for the
// engine's tests: run a text, then read the outcome as "ok" or as
// "line:column: message", the way the installer reports a script error.

#include <string>
#include <string_view>
#include <vector>

#include "script/uParser.h"
#include "script/uScript.h"
#include "scriptlib/uScriptLib.h"

// The base library, and functions that let a test watch calls:
//   log(...)      appends its arguments' text forms to Log; result: their count
//   calls()       counts its calls in Calls; result: the new count
//   two(a, b)     exactly two arguments; result: a
//   height()      result: the argument stack's height during the call
//   argbase()     result: ArgBase during the call
//   nested(text [, check])  runs text with the same script on a fresh parser
//                 (CheckAndRun when check is non-zero, else Run), records the
//                 outcome in Nested, then reads its own arguments again;
//                 result: the nested run's result
class TProbeMemory : public TBaseLibMemory {
public:
    TProbeMemory() {
        RegisterFunction("log", 0, -1, BindMethod<TProbeMemory, &TProbeMemory::LogArgs>(this));
        RegisterFunction("calls", 0, 0, BindMethod<TProbeMemory, &TProbeMemory::CountCall>(this));
        RegisterFunction("two", 2, 2, BindMethod<TProbeMemory, &TProbeMemory::Two>(this));
        RegisterFunction("height", 0, 0, BindMethod<TProbeMemory, &TProbeMemory::Height>(this));
        RegisterFunction("argbase", 0, 0, BindMethod<TProbeMemory, &TProbeMemory::ArgBaseNow>(this));
        RegisterFunction("nested", 1, 2, BindMethod<TProbeMemory, &TProbeMemory::NestedRun>(this));
    }

    void LogArgs(TScript& script, TValue& result) {
        TValue v;
        int32_t i = 1;
        for (; script.Arg(i, v); ++i) Log.push_back(TScript::ValueToString(v));
        result = IntegerValue(i - 1);
    }
    void CountCall(TScript&, TValue& result) { result = IntegerValue(++Calls); }
    void Two(TScript& script, TValue& result) { script.Arg(1, result); }
    void Height(TScript& script, TValue& result) { result = IntegerValue(script.Stack.VariableCount()); }
    void ArgBaseNow(TScript& script, TValue& result) { result = IntegerValue(script.ArgBase); }
    void NestedRun(TScript& script, TValue& result);

    std::vector<std::string> Log;
    int32_t Calls = 0;
    std::vector<std::string> Nested;  // "ok" or "line:column: message" per nested run
    std::vector<std::string> ArgsAfterNested;
};

// The outcome of the script's last run.
inline std::string Outcome(const TScript& script, bool ok) {
    if (ok) return "ok";
    int32_t line = 0, column = 0;
    script.Parser->LineAndColumn(line, column);
    return std::to_string(line) + ":" + std::to_string(column) + ": " + script.ErrorText;
}

// Runs text on script with a parser of its own (CheckAndRun, or one pass
// when check is false), then puts the script's parser back: "ok" or
// "line:column: message".
inline std::string RunText(TScript& script, std::string_view text, bool check = true) {
    TParser parser;
    parser.SetText(text);
    TParser* outer = script.Parser;
    script.Parser = &parser;
    std::string outcome = Outcome(script, check ? script.CheckAndRun() : script.Run(false));
    script.Parser = outer;
    return outcome;
}

// A value as "kind:text" (s:abc, i:-1).
inline std::string ValueText(const TValue& v) {
    return (v.Kind == vkInteger ? "i:" : "s:") + TScript::ValueToString(v);
}

// The value of a variable as "kind:text", or "none".
inline std::string VarText(const TScriptMemory& memory, std::string_view name) {
    int32_t i = memory.FindVariable(name);
    return i < 0 ? "none" : ValueText(memory.VariableAt(i));
}

// The value of expression after one pass of "r = expression;" on script, as
// "kind:text", or the script's error text without its position.
inline std::string ValueOf(TScript& script, const std::string& expression) {
    std::string outcome = RunText(script, "r = " + expression + ";", false);
    return outcome == "ok" ? VarText(*script.Memory, "r") : outcome.substr(outcome.find(": ") + 2);
}

inline void TProbeMemory::NestedRun(TScript& script, TValue& result) {
    Nested.push_back(RunText(script, script.ArgStr(1), script.ArgInt(2) != 0));
    ArgsAfterNested.push_back(script.ArgStr(1));
    result = script.Result;
}

class TScriptHarness : public TScript {
public:
    TScriptHarness() {
        Memory = &Probe;
        Parser = &Text;
    }

    // CheckAndRun over text: "ok" or "line:column: message".
    std::string Check(std::string_view text) {
        Text.SetText(text);
        return Outcome(*this, CheckAndRun());
    }
    // Check, then the run's result as "kind:text": "ok i:6".
    std::string CheckResult(std::string_view text) {
        std::string outcome = Check(text);
        return outcome + " " + ValueText(Result);
    }
    // One pass with the given skip flag, without the checks before it.
    std::string RunOnce(std::string_view text, bool skip = false) {
        Text.SetText(text);
        return Outcome(*this, Run(skip));
    }
    // The value of a variable as "kind:text" (s:abc, i:-1), or "none".
    std::string Var(std::string_view name) const { return VarText(Probe, name); }

    TProbeMemory Probe;
    TParser Text;
};

// One fresh harness per text: "ok" or the failure, and " after N calls()"
// when the script called calls().
inline std::string CheckScript(std::string_view text) {
    TScriptHarness h;
    std::string outcome = h.Check(text);
    return h.Probe.Calls ? outcome + " after " + std::to_string(h.Probe.Calls) + " calls()" : outcome;
}
