// The registry functions. Keys are signed 32-bit numbers
// (system/win/uRegistry.h); 0, a failed open, is harmless everywhere.
// Keys named by a path are in the view RegSetView chose.

#include "scriptlib/host/uPatcherLibrary.h"
#include "system/win/uRegistry.h"

namespace {

TValue ResultOf(int32_t key) { return IntegerValue(key); }
TValue ResultOf(bool done) { return BooleanValue(done); }

// The functions of a key and a path, in the script's registry view: the key
// converted first. RegOpenKey and RegCreateKey (root, subkey) answer the
// key, 0 on failure (RegCreateKey makes every missing level); RegDeleteKey
// (key, path) TRUE when key\path and all below it are gone, an empty path
// and a single level below a root refused; RegDeleteEmptyKey (key, path)
// the same for a key that holds nothing.
template <typename TResult, TResult (*Call)(int32_t, const std::string&, uint32_t)>
void OnKeyPath(TPatcherMemory& memory, TScript& script, TValue& result) {
    int32_t key = script.ArgInt(1);
    result = ResultOf(Call(key, script.ArgStr(2), memory.RegistryView));
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

// RegSetValue(key, name, value [, type]): without a type a string is
// REG_SZ (REG_EXPAND_SZ where the value is one already) and an integer
// REG_DWORD; REG_SZ and REG_EXPAND_SZ write the value's text, REG_DWORD its
// integer. Any other type is refused.
void ScriptRegSetValue(TPatcherMemory&, TScript& script, TValue& result) {
    int32_t type = script.ArgInt(4);
    TValue value = EmptyStringValue;
    script.Arg(3, value);
    std::string name = script.ArgStr(2);
    int32_t key = script.ArgInt(1);
    bool written = false;
    if (type == REG_DWORD || (type == 0 && value.Kind == vkInteger))
        written = SetRegistryNumber(key, name, script.ValueToInteger(value));
    else if (type == 0 || type == REG_SZ || type == REG_EXPAND_SZ)
        written = SetRegistryText(key, name, TScript::ValueToString(value), type);
    else
        SetLastError(ERROR_INVALID_PARAMETER);
    result = BooleanValue(written);
}

void ScriptRegCloseKey(TPatcherMemory&, TScript& script, TValue& result) {
    result = BooleanValue(CloseRegistryKey(script.ArgInt(1)));
}

void ScriptRegOpenKey(TPatcherMemory& memory, TScript& script, TValue& result) {
    OnKeyPath<int32_t, OpenRegistryKey>(memory, script, result);
}

void ScriptRegCreateKey(TPatcherMemory& memory, TScript& script, TValue& result) {
    OnKeyPath<int32_t, CreateRegistryKey>(memory, script, result);
}

// RegDeleteValue(key, name): TRUE when the value was there and is gone.
void ScriptRegDeleteValue(TPatcherMemory&, TScript& script, TValue& result) {
    int32_t key = script.ArgInt(1);
    result = BooleanValue(DeleteRegistryValue(key, script.ArgStr(2)));
}

void ScriptRegDeleteKey(TPatcherMemory& memory, TScript& script, TValue& result) {
    OnKeyPath<bool, DeleteRegistryKey>(memory, script, result);
}

void ScriptRegDeleteEmptyKey(TPatcherMemory& memory, TScript& script, TValue& result) {
    OnKeyPath<bool, DeleteEmptyRegistryKey>(memory, script, result);
}

// RegSetView(view): KEY_WOW64_64KEY, KEY_WOW64_32KEY or 0 (the installer's
// own) for every key named by a path from now on; FALSE, nothing changed,
// for any other number.
void ScriptRegSetView(TPatcherMemory& memory, TScript& script, TValue& result) {
    int32_t view = script.ArgInt(1);
    bool known = view == 0 || view == KEY_WOW64_64KEY || view == KEY_WOW64_32KEY;
    if (known) memory.RegistryView = static_cast<uint32_t>(view);
    SetLastError(known ? 0 : ERROR_INVALID_PARAMETER);
    result = BooleanValue(known);
}
