#include "scriptlib/uScriptLib.h"

#include <algorithm>
#include <cstdint>

#include "system/text/uTextLower.h"
#include "system/uSystem.h"

namespace {

constexpr uint32_t kExpectedText = 65516;  // "expected "
constexpr uint32_t kGotText = 65517;       // ", got "

struct TBaseLibFunction {
    const char* Name;
    int32_t MinArgs;
    int32_t MaxArgs;
    TFunctionHandler::TRoutine Routine;
};

template <void (TBaseLibMemory::*Method)(TScript&, TValue&)>
constexpr TFunctionHandler::TRoutine kMethod = &CallMethod<TBaseLibMemory, Method>;

// In the order scripts have always found them registered.
const TBaseLibFunction kFunctions[] = {
    {"abs", 1, 1, kMethod<&TBaseLibMemory::Abs>},
    {"strlen", 1, 1, kMethod<&TBaseLibMemory::StrLen>},
    {"strpos", 2, 3, kMethod<&TBaseLibMemory::StrPos>},
    {"substr", 2, 3, kMethod<&TBaseLibMemory::SubStr>},
    {"strtolower", 1, 1, kMethod<&TBaseLibMemory::StrToLower>},
    {"print", 0, -1, kMethod<&TBaseLibMemory::Print>},
    {"error", 0, 1, kMethod<&TBaseLibMemory::Error>},
    {"assert", 2, 2, kMethod<&TBaseLibMemory::Assert>},
    {"chr", 1, 1, kMethod<&TBaseLibMemory::Chr>},
};

bool SameValue(const TValue& a, const TValue& b) {
    if (a.Kind != b.Kind) return false;
    return a.Kind == vkInteger ? a.Int == b.Int : a.Str == b.Str;
}

}  // namespace

TBaseLibMemory::TBaseLibMemory() : PrintSeparator("\r\n") {
    for (const TBaseLibFunction& f : kFunctions)
        RegisterFunction(f.Name, f.MinArgs, f.MaxArgs, TFunctionHandler{f.Routine, this});
}

// The smallest integer is its own magnitude in 32 bits.
void TBaseLibMemory::Abs(TScript& script, TValue& result) {
    int32_t n = script.ArgInt(1);
    result = IntegerValue(n < 0 ? static_cast<int32_t>(0u - static_cast<uint32_t>(n)) : n);
}

void TBaseLibMemory::StrLen(TScript& script, TValue& result) {
    result = IntegerValue(static_cast<int32_t>(script.ArgStr(1).size()));
}

// strpos(haystack, needle [, offset]): position in the whole haystack of the
// first occurrence at or after a positive offset; -1 if none or if the
// needle is empty.
void TBaseLibMemory::StrPos(TScript& script, TValue& result) {
    std::string haystack = script.ArgStr(1);
    std::string needle = script.ArgStr(2);
    int32_t offset = script.ArgInt(3);
    size_t from = offset > 0 ? static_cast<size_t>(offset) : 0;
    size_t found = std::string::npos;
    if (!needle.empty() && from < haystack.size()) found = haystack.find(needle, from);
    result = IntegerValue(found == std::string::npos ? -1 : static_cast<int32_t>(found));
}

// substr(text, start [, count]): a negative start counts from the end, a
// negative count leaves that many characters off the end; the range is then
// clipped to the text and never raises.
void TBaseLibMemory::SubStr(TScript& script, TValue& result) {
    std::string text = script.ArgStr(1);
    int64_t n = static_cast<int64_t>(text.size());
    int64_t start = script.ArgInt(2);
    TValue countArg;
    int64_t count = script.Arg(3, countArg) ? script.ArgInt(3) : n;
    if (start < 0) start += n;
    if (count < 0) count += n - start;
    start = std::max<int64_t>(start, 0);
    if (start >= n || count < 0) return;
    count = std::min(count, n - start);
    result = StringValue(std::string_view(text).substr(static_cast<size_t>(start), static_cast<size_t>(count)));
}

void TBaseLibMemory::StrToLower(TScript& script, TValue& result) {
    std::string text = script.ArgStr(1);
    AnsiLowerInPlace(text);
    result = StringValue(text);
}

void TBaseLibMemory::Print(TScript& script, TValue& result) {
    std::string text;
    TValue value;
    for (int32_t i = 1; script.Arg(i, value); ++i) {
        if (i > 1) text += PrintSeparator;
        text += TScript::ValueToString(value);
    }
    result = StringValue(text);
}

void TBaseLibMemory::Error(TScript& script, TValue&) { script.Error(script.ArgStr(1)); }

// assert(actual, expected): equal kinds and equal values, or a script error
// that names both.
void TBaseLibMemory::Assert(TScript& script, TValue& result) {
    result = BooleanValue(true);
    TValue actual, expected;
    script.Arg(1, actual);
    script.Arg(2, expected);
    if (SameValue(actual, expected)) return;
    script.Error(ResourceText(kExpectedText) + TScript::ValueToString(expected) + ResourceText(kGotText) +
                 TScript::ValueToString(actual));
}

// One character: the low 8 bits of the code.
void TBaseLibMemory::Chr(TScript& script, TValue& result) {
    result = StringValue(std::string(1, static_cast<char>(script.ArgInt(1) & 0xFF)));
}
