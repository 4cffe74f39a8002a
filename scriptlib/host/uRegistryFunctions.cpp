// The registry functions. Keys are signed 32-bit numbers
// (system/win/uRegistry.h); 0, a failed open, is harmless everywhere.

#include "scriptlib/host/uPatcherLibrary.h"
#include "system/win/uRegistry.h"

namespace {

TValue ResultOf(int32_t key) { return IntegerValue(key); }
TValue ResultOf(bool done) { return BooleanValue(done); }

// The functions of a key and a text: the key converted first. RegOpenKey and
// RegCreateKey (root, subkey) answer the key, 0 on failure (RegCreateKey
// makes every missing level); RegDeleteValue (key, name) TRUE when the value
// was there and is gone; RegDeleteKey (key, path) TRUE when key\path and all
// below it are gone, an empty path and a single level below a root refused.
template <typename TResult, TResult (*Call)(int32_t, const std::string&)>
void OnKeyAndText(TScript& script, TValue& result) {
    int32_t key = script.ArgInt(1);
    result = ResultOf(Call(key, script.ArgStr(2)));
}

}  // namespace

// RegQueryValue(key, name [, default]): text or number by the value's type;
// the default (as given, unconverted) when the value cannot be read as either.
void ScriptRegQueryValue(TPatcherMemory&, TScript& script, TValue& result) {
    int32_t key = script.ArgInt(1);
    std::string name = script.ArgStr(2);
    result = EmptyStringValue;
    script.Arg(3, result);
    TRegistryValue value = QueryRegistryValue(key, name);
    if (value.Kind == TRegistryValue::Text) result = StringValue(value.Str);
    if (value.Kind == TRegistryValue::Number) result = IntegerValue(value.Int);
}

// RegSetValue(key, name, value): the type follows the value's kind, REG_SZ
// for a string, REG_DWORD for an integer.
void ScriptRegSetValue(TPatcherMemory&, TScript& script, TValue& result) {
    TValue value = EmptyStringValue;
    script.Arg(3, value);
    std::string name = script.ArgStr(2);
    int32_t key = script.ArgInt(1);
    bool written = value.Kind == vkInteger ? SetRegistryNumber(key, name, value.Int)
                                           : SetRegistryText(key, name, value.Str);
    result = BooleanValue(written);
}

void ScriptRegCloseKey(TPatcherMemory&, TScript& script, TValue& result) {
    result = BooleanValue(CloseRegistryKey(script.ArgInt(1)));
}

void ScriptRegOpenKey(TPatcherMemory&, TScript& script, TValue& result) {
    OnKeyAndText<int32_t, OpenRegistryKey>(script, result);
}

void ScriptRegCreateKey(TPatcherMemory&, TScript& script, TValue& result) {
    OnKeyAndText<int32_t, CreateRegistryKey>(script, result);
}

void ScriptRegDeleteValue(TPatcherMemory&, TScript& script, TValue& result) {
    OnKeyAndText<bool, DeleteRegistryValue>(script, result);
}

void ScriptRegDeleteKey(TPatcherMemory&, TScript& script, TValue& result) {
    OnKeyAndText<bool, DeleteRegistryKey>(script, result);
}
