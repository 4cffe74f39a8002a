// The INI and registry functions. INI file names go to the OS unchanged, so
// a bare name means the Windows directory. Keys are signed 32-bit numbers
// (system/uSystemRegistry.h); 0, a failed open, is harmless everywhere.

#include <iterator>

#include "scriptlib/uPatcherLibrary.h"
#include "system/uSystemRegistry.h"
#include "system/uSystemShell.h"

namespace {

// ReadIni(file, section, key [, default]): the value, or the default.
void ScriptReadIni(TPatcherMemory&, TScript& script, TValue& result) {
    result = StringValue(ReadIniString(script.ArgStr(1), script.ArgStr(2), script.ArgStr(3), script.ArgStr(4)));
}

// WriteIni(file, section, key, value): an empty value is written, not deleted.
void ScriptWriteIni(TPatcherMemory&, TScript& script, TValue& result) {
    result = BooleanValue(WriteIniString(script.ArgStr(1), script.ArgStr(2), script.ArgStr(3), script.ArgStr(4)));
}

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

// RegOpenKey(root, subkey): the opened key, 0 on failure.
void ScriptRegOpenKey(TPatcherMemory&, TScript& script, TValue& result) {
    int32_t root = script.ArgInt(1);
    result = IntegerValue(OpenRegistryKey(root, script.ArgStr(2)));
}

// RegCreateKey(root, subkey): the key, made with every missing level; 0 on
// failure.
void ScriptRegCreateKey(TPatcherMemory&, TScript& script, TValue& result) {
    int32_t root = script.ArgInt(1);
    result = IntegerValue(CreateRegistryKey(root, script.ArgStr(2)));
}

void ScriptRegCloseKey(TPatcherMemory&, TScript& script, TValue& result) {
    result = BooleanValue(CloseRegistryKey(script.ArgInt(1)));
}

// RegDeleteValue(key, name): TRUE when the value was there and is gone.
void ScriptRegDeleteValue(TPatcherMemory&, TScript& script, TValue& result) {
    int32_t key = script.ArgInt(1);
    result = BooleanValue(DeleteRegistryValue(key, script.ArgStr(2)));
}

// RegDeleteKey(key, path): TRUE when key\path and all below it are gone.
// An empty path, and a single level below a root, are refused.
void ScriptRegDeleteKey(TPatcherMemory&, TScript& script, TValue& result) {
    int32_t key = script.ArgInt(1);
    result = BooleanValue(DeleteRegistryKey(key, script.ArgStr(2)));
}

const TLibraryFunction kFunctions[] = {
    {"ReadIni", &CallLibraryHandler<ScriptReadIni>},
    {"WriteIni", &CallLibraryHandler<ScriptWriteIni>},
    {"RegQueryValue", &CallLibraryHandler<ScriptRegQueryValue>},
    {"RegSetValue", &CallLibraryHandler<ScriptRegSetValue>},
    {"RegOpenKey", &CallLibraryHandler<ScriptRegOpenKey>},
    {"RegCreateKey", &CallLibraryHandler<ScriptRegCreateKey>},
    {"RegCloseKey", &CallLibraryHandler<ScriptRegCloseKey>},
    {"RegDeleteValue", &CallLibraryHandler<ScriptRegDeleteValue>},
    {"RegDeleteKey", &CallLibraryHandler<ScriptRegDeleteKey>},
};

}  // namespace

const TLibraryFunctions RegistryFunctions = {kFunctions, std::size(kFunctions)};
