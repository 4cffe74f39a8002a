#pragma once
// The script engine: the tagged script value, the store of variables and
// functions, and TScript, the interpreter that runs a control script straight
// from the token stream of its TParser. A skip flag passed through every
// routine turns execution into mere parsing (untaken branches, the end of a
// loop, the checking pass before the first run).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "script/uParser.h"

class TScript;

// A script value: a byte string (Kind 0) or a signed 32-bit integer (Kind 1).
// Only Kind decides which payload counts. Truth values are -1 and 0.
struct TValue {
    uint8_t Kind = 0;
    int32_t Int = 0;
    std::string Str;
};

constexpr uint8_t vkString = 0;
constexpr uint8_t vkInteger = 1;

// Copies a value; the text is copied only for a string, since Kind alone
// decides which payload counts.
inline void CopyValue(TValue& to, const TValue& from) {
    to.Kind = from.Kind;
    to.Int = from.Int;
    if (from.Kind == vkString) to.Str = from.Str;
}

TValue StringValue(std::string_view text);
TValue IntegerValue(int32_t n);
TValue BooleanValue(bool flag);

extern const TValue EmptyStringValue;
extern const TValue ZeroValue;

// The integer text rule shared by literals and conversions: optional leading
// spaces, then a signed decimal number, or a hexadecimal one after $, x, X,
// 0x or 0X (at most 32 bits, taken as two's complement). False when the text
// does not follow it.
bool IntegerFromText(std::string_view text, int32_t& value);

// The routine of a script function, bound to the object that owns it.
struct TFunctionHandler {
    using TRoutine = void (*)(void* owner, TScript& script, TValue& result);
    TRoutine Routine = nullptr;
    void* Owner = nullptr;
    explicit operator bool() const { return Routine != nullptr; }
};

// Calls Method on the owner; a virtual Method dispatches on the owner's class
// at call time, so a descendant's override is the one that runs.
template <class C, void (C::*Method)(TScript&, TValue&)>
void CallMethod(void* owner, TScript& script, TValue& result) {
    (static_cast<C*>(owner)->*Method)(script, result);
}

template <class C, void (C::*Method)(TScript&, TValue&)>
TFunctionHandler BindMethod(C* owner) {
    return {&CallMethod<C, Method>, owner};
}

struct TFunction {
    std::string Name;
    TFunctionHandler Handler;
    int32_t MinArgs = 0;
    int32_t MaxArgs = 0;  // -1: no upper limit
};

struct TVariable {
    std::string Name;
    TValue Value;
};

// Global variables (also host constants and, in a script's Stack, call
// arguments under empty names) and registered functions, each in order of
// creation. Lookups are linear; indexes passed in must be valid.
class TScriptMemory {
public:
    virtual ~TScriptMemory() = default;

    void RegisterFunction(std::string_view name, int32_t minArgs, int32_t maxArgs, TFunctionHandler handler);
    // First registration with a set handler; -1 if none.
    int32_t FindFunction(std::string_view name) const;
    void FunctionArity(int32_t index, int32_t& minArgs, int32_t& maxArgs) const;
    // Empties result's string, then calls the handler.
    void CallFunction(int32_t index, TScript& script, TValue& result) const;

    void AddVariable(std::string_view name, const TValue& value);
    void AddVariable(std::string_view name, TValue&& value);
    // The newest entry of that name; -1 if none.
    int32_t FindVariable(std::string_view name) const;
    void SetVariable(std::string_view name, const TValue& value);
    void SetVariableAt(int32_t index, const TValue& value) { CopyValue(Variables[static_cast<size_t>(index)].Value, value); }
    TValue GetVariableAt(int32_t index) const { return Variables[static_cast<size_t>(index)].Value; }
    // The entry itself, for readers that need no copy.
    const TValue& VariableAt(int32_t index) const { return Variables[static_cast<size_t>(index)].Value; }
    int32_t VariableCount() const { return static_cast<int32_t>(Variables.size()); }
    void DropLastVariable() { Variables.pop_back(); }

    std::vector<TVariable> Variables;
    std::vector<TFunction> Functions;
};

// Raised by TScript::Error; the message is in TScript::ErrorText, the
// position in the parser.
class ExceptionError {};
// Raised by `return` to end the run.
class ExceptionReturn {};

class TScript {
public:
    TScript() = default;
    virtual ~TScript() = default;
    TScript(const TScript&) = delete;
    TScript& operator=(const TScript&) = delete;

    static int32_t BoolToInt(bool flag) { return flag ? -1 : 0; }
    // Levels of nesting currently entered (0 between runs).
    int32_t Depth() const { return Level; }

    // One pass over the whole text of Parser. False after a script error
    // (ErrorText and Parser's position tell what and where), true otherwise,
    // also when `return` ended the run.
    bool Run(bool skip);
    // The lexical check, the checking pass, then the real pass.
    bool CheckAndRun();

    void Statement(bool skip);
    void Expression(bool skip, TValue& result);
    void Unary(bool skip, TValue& result);
    // Performs a call whose name has been consumed; the parser is on the '('.
    void Call(std::string_view name, bool skip, TValue& result);

    // Moves the parser back to the start of its current token, keeps the
    // message in ErrorText and raises ExceptionError. The second form joins a
    // message and its detail ("not a variable: " + name).
    [[noreturn]] void Error(std::string_view message);
    [[noreturn]] void Error(std::string_view message, std::string_view detail);

    int32_t ValueToInteger(const TValue& value);
    static std::string ValueToString(const TValue& value);

    // Argument i (from 1) of the call being performed, for handlers.
    bool Arg(int32_t i, TValue& value) const;
    int32_t ArgInt(int32_t i);
    std::string ArgStr(int32_t i) const;

    TParser* Parser = nullptr;
    TScriptMemory* Memory = nullptr;
    TScriptMemory Stack;
    int32_t ArgBase = 0;
    std::string ErrorText;
    TValue Result;

    // Statements, blocks, parentheses, unary operators and call arguments
    // nest at most this deep, so that no script can exhaust the 1 MiB stack
    // of the installer's main thread. The costliest level, a call argument,
    // takes about 1.2 KiB of stack in the x86_64 Windows build (less in the
    // i686 one), so the deepest script stays near 300 KiB; the stack budget
    // test in uScriptDepth_test.cpp measures it.
    static constexpr int32_t MaxDepth = 250;

private:
    // One level of nesting for as long as it lives; "nesting too deep" past
    // MaxDepth.
    class TLevel {
    public:
        explicit TLevel(TScript& script) : Script(script) {
            if (++Script.Level > MaxDepth) {
                --Script.Level;
                Script.Error("nesting too deep");
            }
        }
        ~TLevel() { --Script.Level; }
        TLevel(const TLevel&) = delete;
        TLevel& operator=(const TLevel&) = delete;

    private:
        TScript& Script;
    };

    void Block(bool skip);
    void IfStatement(bool skip);
    void WhileStatement(bool skip);
    void ReturnStatement(bool skip);
    bool Condition(bool skip);
    void Expect(TToken token, const char* message);

    void XorExpr(bool skip, TValue& result);
    void AndExpr(bool skip, TValue& result);
    void Comparison(bool skip, TValue& result);
    void Additive(bool skip, TValue& result);
    void Multiplicative(bool skip, TValue& result);
    void Primary(bool skip, TValue& result);
    void NameOperand(bool skip, TValue& result);
    void PrefixStep(bool skip, TValue& result);
    void Invoke(int32_t index, TValue& result);
    void PostfixStep(std::string_view name, TValue& result);
    int32_t LiteralValue();
    int32_t VariableIndex(std::string_view name);

    void Compare(TToken op, TValue& left, const TValue& right);
    void Arithmetic(TToken op, TValue& left, const TValue& right);

    int32_t Level = 0;
};
