// Expressions, one routine per precedence level from the lowest, and calls
// of registered functions through the argument stack.

#include "script/uScript.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "system/uSystem.h"

namespace {

// Restores ArgBase when a call ends, normally or by an exception.
class TArgBaseScope {
public:
    TArgBaseScope(int32_t& argBase, int32_t height) : ArgBase(argBase), Saved(argBase) { argBase = height; }
    ~TArgBaseScope() { ArgBase = Saved; }
    TArgBaseScope(const TArgBaseScope&) = delete;
    TArgBaseScope& operator=(const TArgBaseScope&) = delete;

private:
    int32_t& ArgBase;
    int32_t Saved;
};

// Byte order as unsigned numbers; a prefix is smaller than the longer text.
int Ordinal(const std::string& a, const std::string& b) {
    size_t n = std::min(a.size(), b.size());
    int c = n ? std::memcmp(a.data(), b.data(), n) : 0;
    if (c != 0) return c;
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

bool IsComparison(TToken t) { return t >= tkEqual && t <= tkNotEqual; }

// One to nine decimal digits, which always fit in 32 bits.
bool ShortDecimal(std::string_view text, int32_t& value) {
    if (text.empty() || text.size() > 9) return false;
    int32_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
    }
    value = n;
    return true;
}

}  // namespace

// expression -> xor { '|' xor }
void TScript::Expression(bool skip, TValue& result) {
    TLevel level(*this);
    XorExpr(skip, result);
    while (Parser->Token == tkOr) {
        Parser->Next();
        TValue right;
        XorExpr(skip, right);
        if (!skip) Arithmetic(tkOr, result, right);
    }
}

// xor -> and { '^' and }
void TScript::XorExpr(bool skip, TValue& result) {
    AndExpr(skip, result);
    while (Parser->Token == tkXor) {
        Parser->Next();
        TValue right;
        AndExpr(skip, right);
        if (!skip) Arithmetic(tkXor, result, right);
    }
}

// and -> comparison { '&' comparison }
void TScript::AndExpr(bool skip, TValue& result) {
    Comparison(skip, result);
    while (Parser->Token == tkAnd) {
        Parser->Next();
        TValue right;
        Comparison(skip, right);
        if (!skip) Arithmetic(tkAnd, result, right);
    }
}

// comparison -> additive { ('==' | '!=' | '<' | '<=' | '>' | '>=') additive }
void TScript::Comparison(bool skip, TValue& result) {
    Additive(skip, result);
    while (IsComparison(Parser->Token)) {
        TToken op = Parser->Token;
        Parser->Next();
        TValue right;
        Additive(skip, right);
        if (!skip) Compare(op, result, right);
    }
}

// additive -> multiplicative { ('+' | '-') multiplicative }
void TScript::Additive(bool skip, TValue& result) {
    Multiplicative(skip, result);
    while (Parser->Token == tkPlus || Parser->Token == tkMinus) {
        TToken op = Parser->Token;
        Parser->Next();
        TValue right;
        Multiplicative(skip, right);
        if (!skip) Arithmetic(op, result, right);
    }
}

// multiplicative -> unary { ('*' | '/' | '%') unary }
void TScript::Multiplicative(bool skip, TValue& result) {
    Unary(skip, result);
    while (Parser->Token == tkMultiply || Parser->Token == tkDivide || Parser->Token == tkModulo) {
        TToken op = Parser->Token;
        Parser->Next();
        TValue right;
        Unary(skip, right);
        if (!skip) Arithmetic(op, result, right);
    }
}

// unary -> ('!' | '-') unary | '+' { '+' } unary | ('++' | '--') name | primary
void TScript::Unary(bool skip, TValue& result) {
    TToken op = Parser->Token;
    if (op == tkIncrement || op == tkDecrement) return PrefixStep(skip, result);
    if (op != tkNot && op != tkMinus && op != tkPlus) return Primary(skip, result);
    TLevel level(*this);
    do Parser->Next();
    while (op == tkPlus && Parser->Token == tkPlus);
    Unary(skip, result);
    if (skip || op == tkPlus) return;
    uint32_t n = static_cast<uint32_t>(ValueToInteger(result));
    result.Kind = vkInteger;
    result.Int = static_cast<int32_t>(op == tkNot ? ~n : 0u - n);
}

// primary -> integer | string | '(' expression ')' | name-operand
void TScript::Primary(bool skip, TValue& result) {
    switch (Parser->Token) {
        case tkInteger:
            result.Int = LiteralValue();
            result.Kind = vkInteger;
            break;
        case tkString:
            if (!skip) {
                result.Kind = vkString;
                result.Str.assign(Parser->TokenText.data(), Parser->TokenText.size());
            }
            break;
        case tkOpenParen:
            Parser->Next();
            Expression(skip, result);
            Expect(tkCloseParen, ") expected");
            break;
        case tkIdentifier: return NameOperand(skip, result);
        default: Error("expression expected");
    }
    Parser->Next();
}

// name-operand -> name '=' expression | name '(' arguments ')' | name ('++' | '--') | name
void TScript::NameOperand(bool skip, TValue& result) {
    std::string_view name = Parser->TokenText;
    switch (Parser->Next()) {
        case tkAssign:
            Parser->Next();
            Expression(skip, result);
            if (!skip) Memory->SetVariable(name, result);
            break;
        case tkOpenParen: Call(name, skip, result); break;
        case tkIncrement:
        case tkDecrement:
            if (!skip) PostfixStep(name, result);
            Parser->Next();
            break;
        default:
            if (!skip) CopyValue(result, Memory->VariableAt(VariableIndex(name)));
    }
}

// The variable's index; "not a variable: " with the parser where it stands.
int32_t TScript::VariableIndex(std::string_view name) {
    int32_t index = Memory->FindVariable(name);
    if (index < 0) Error("not a variable: ", name);
    return index;
}

// '++' name or '--' name: the variable steps first, its new value is the result.
void TScript::PrefixStep(bool skip, TValue& result) {
    int32_t step = Parser->Token == tkIncrement ? 1 : -1;
    if (Parser->Next() != tkIdentifier) Error("variable expected");
    if (!skip) {
        int32_t index = VariableIndex(Parser->TokenText);
        uint32_t n = static_cast<uint32_t>(ValueToInteger(Memory->VariableAt(index)));
        result = IntegerValue(static_cast<int32_t>(n + static_cast<uint32_t>(step)));
        Memory->SetVariableAt(index, result);
    }
    Parser->Next();
}

// name '++' or name '--': the result is the old value, in its own kind.
void TScript::PostfixStep(std::string_view name, TValue& result) {
    int32_t step = Parser->Token == tkIncrement ? 1 : -1;
    int32_t index = VariableIndex(name);
    CopyValue(result, Memory->VariableAt(index));
    uint32_t n = static_cast<uint32_t>(ValueToInteger(result));
    Memory->SetVariableAt(index, IntegerValue(static_cast<int32_t>(n + static_cast<uint32_t>(step))));
}

// Converted while skipping too, so the checking pass finds bad literals.
// Loop bodies convert their literals on every pass, so up to nine decimal
// digits (always in range) take a short way.
int32_t TScript::LiteralValue() {
    std::string_view text = Parser->TokenText;
    int32_t n = 0;
    if (!ShortDecimal(text, n) && !IntegerFromText(text, n)) Error("not a integer literal: ", text);
    return n;
}

// The left operand's kind decides: text comparison or signed comparison.
void TScript::Compare(TToken op, TValue& left, const TValue& right) {
    int c;
    if (left.Kind == vkString) {
        c = right.Kind == vkString ? Ordinal(left.Str, right.Str) : Ordinal(left.Str, IntegerText(right.Int));
    } else {
        int32_t r = ValueToInteger(right);
        c = left.Int < r ? -1 : left.Int > r ? 1 : 0;
    }
    bool outcome = false;
    switch (op) {
        case tkEqual: outcome = c == 0; break;
        case tkNotEqual: outcome = c != 0; break;
        case tkLess: outcome = c < 0; break;
        case tkLessEqual: outcome = c <= 0; break;
        case tkGreater: outcome = c > 0; break;
        default: outcome = c >= 0; break;
    }
    left.Kind = vkInteger;
    left.Int = BoolToInt(outcome);
}

// Every operator but the comparisons. A string left operand allows only '+',
// which appends; integers wrap in 32 bits, and the two divisions that have
// no 32-bit result are script errors.
void TScript::Arithmetic(TToken op, TValue& left, const TValue& right) {
    if (left.Kind == vkString) {
        if (op != tkPlus) Error("operator not applicable to value");
        left.Str += right.Kind == vkString ? right.Str : IntegerText(right.Int);
        return;
    }
    uint32_t a = static_cast<uint32_t>(left.Int);
    int32_t r = ValueToInteger(right);
    uint32_t b = static_cast<uint32_t>(r);
    switch (op) {
        case tkOr: a |= b; break;
        case tkXor: a ^= b; break;
        case tkAnd: a &= b; break;
        case tkPlus: a += b; break;
        case tkMinus: a -= b; break;
        case tkMultiply: a *= b; break;
        default:
            if (r == 0) Error("division by zero");
            if (left.Int == INT32_MIN && r == -1) Error("integer overflow");
            a = static_cast<uint32_t>(op == tkDivide ? left.Int / r : left.Int % r);
    }
    left.Int = static_cast<int32_t>(a);
}

// call -> name '(' [ expression { ',' expression } [ ',' ] ] ')'
void TScript::Call(std::string_view name, bool skip, TValue& result) {
    int32_t index = Memory->FindFunction(name);
    if (index < 0) Error("not a function: ", name);
    int32_t minArgs, maxArgs;
    Memory->FunctionArity(index, minArgs, maxArgs);
    TArgBaseScope scope(ArgBase, Stack.VariableCount());
    Parser->Next();
    int32_t count = 0;
    while (Parser->Token != tkCloseParen) {
        ++count;
        if (maxArgs != -1 && count > maxArgs) Error("too many parameters");
        TValue argument;
        Expression(skip, argument);
        if (!skip) Stack.AddVariable({}, std::move(argument));
        if (Parser->Token == tkComma)
            Parser->Next();
        else
            Expect(tkCloseParen, ") expected");
    }
    if (count < minArgs) Error("not enough parameters");
    if (!skip) Invoke(index, result);
    Parser->Next();
}

// Calls the handler with the arguments pushed since ArgBase, then drops them.
// Kept apart from Call so that the slot is not part of every nesting level.
[[gnu::noinline]] void TScript::Invoke(int32_t index, TValue& result) {
    TValue slot;
    Memory->CallFunction(index, *this, slot);
    result = std::move(slot);
    while (Stack.VariableCount() > ArgBase) Stack.DropLastVariable();
}
