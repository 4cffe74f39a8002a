// Script values, the integer text rule, and the store of variables and
// functions.

#include "script/uScript.h"

#include <cstring>

namespace {

constexpr int64_t kMaxDecimalBeforeDigit = 214748364;
constexpr uint32_t kMaxHexBeforeDigit = 0x0FFFFFFF;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigit(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// One or more decimal digits and nothing else, within 32 signed bits.
bool DecimalFromText(std::string_view digits, bool negative, int32_t& value) {
    if (digits.empty()) return false;
    int64_t magnitude = 0;
    for (char c : digits) {
        if (!IsDigit(c) || magnitude > kMaxDecimalBeforeDigit) return false;
        magnitude = magnitude * 10 + (c - '0');
    }
    if (negative) magnitude = -magnitude;
    if (magnitude > INT32_MAX || magnitude < INT32_MIN) return false;
    value = static_cast<int32_t>(magnitude);
    return true;
}

// One or more hexadecimal digits and nothing else, at most 32 bits.
bool HexFromText(std::string_view digits, int32_t& value) {
    if (digits.empty()) return false;
    uint32_t bits = 0;
    for (char c : digits) {
        int digit = HexDigit(c);
        if (digit < 0 || bits > kMaxHexBeforeDigit) return false;
        bits = (bits << 4) | static_cast<uint32_t>(digit);
    }
    value = static_cast<int32_t>(bits);
    return true;
}

}  // namespace

const TValue EmptyStringValue{};
const TValue ZeroValue = IntegerValue(0);

TValue StringValue(std::string_view text) {
    TValue v;
    v.Str.assign(text.data(), text.size());
    return v;
}

TValue IntegerValue(int32_t n) {
    TValue v;
    v.Kind = vkInteger;
    v.Int = n;
    return v;
}

TValue BooleanValue(bool flag) { return IntegerValue(TScript::BoolToInt(flag)); }

bool IntegerFromText(std::string_view text, int32_t& value) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    text.remove_prefix(i);
    if (text.empty()) return false;
    char c = text[0];
    if (c == '-' || c == '+') return DecimalFromText(text.substr(1), c == '-', value);
    if (c == '$' || c == 'x' || c == 'X') return HexFromText(text.substr(1), value);
    if (c == '0' && text.size() > 1 && (text[1] == 'x' || text[1] == 'X')) return HexFromText(text.substr(2), value);
    return DecimalFromText(text, false, value);
}

void TScriptMemory::RegisterFunction(std::string_view name, int32_t minArgs, int32_t maxArgs,
                                     TFunctionHandler handler) {
    Functions.push_back(TFunction{std::string(name), handler, minArgs, maxArgs});
}

int32_t TScriptMemory::FindFunction(std::string_view name) const {
    for (size_t i = 0; i < Functions.size(); ++i)
        if (Functions[i].Handler && Functions[i].Name == name) return static_cast<int32_t>(i);
    return -1;
}

void TScriptMemory::FunctionArity(int32_t index, int32_t& minArgs, int32_t& maxArgs) const {
    const TFunction& f = Functions[static_cast<size_t>(index)];
    minArgs = f.MinArgs;
    maxArgs = f.MaxArgs;
}

void TScriptMemory::CallFunction(int32_t index, TScript& script, TValue& result) const {
    // Copied first: a handler may register functions and so move the list.
    TFunctionHandler handler = Functions[static_cast<size_t>(index)].Handler;
    result.Str.clear();
    handler.Routine(handler.Owner, script, result);
}

void TScriptMemory::AddVariable(std::string_view name, const TValue& value) {
    Variables.push_back(TVariable{std::string(name), value});
}

void TScriptMemory::AddVariable(std::string_view name, TValue&& value) {
    Variables.push_back(TVariable{std::string(name), std::move(value)});
}

int32_t TScriptMemory::FindVariable(std::string_view name) const {
    // The evaluator's innermost lookup: length and first byte rule out most
    // entries before the bytes are compared.
    size_t size = name.size();
    for (size_t i = Variables.size(); i-- > 0;) {
        const std::string& candidate = Variables[i].Name;
        if (candidate.size() != size) continue;
        if (size == 0 || (candidate[0] == name[0] && std::memcmp(candidate.data() + 1, name.data() + 1, size - 1) == 0))
            return static_cast<int32_t>(i);
    }
    return -1;
}

void TScriptMemory::SetVariable(std::string_view name, const TValue& value) {
    int32_t index = FindVariable(name);
    if (index >= 0)
        SetVariableAt(index, value);
    else
        AddVariable(name, value);
}
