// The INI functions. INI file names go to the OS unchanged, so a bare name
// means the Windows directory.

#include "scriptlib/host/uPatcherLibrary.h"
#include "system/win/uIniFile.h"

// ReadIni(file, section, key [, default]): the value, or the default.
void ScriptReadIni(TPatcherMemory&, TScript& script, TValue& result) {
    result = StringValue(ReadIniString(script.ArgStr(1), script.ArgStr(2), script.ArgStr(3), script.ArgStr(4)));
}

// WriteIni(file, section, key, value): an empty value is written, not deleted.
void ScriptWriteIni(TPatcherMemory&, TScript& script, TValue& result) {
    result = BooleanValue(WriteIniString(script.ArgStr(1), script.ArgStr(2), script.ArgStr(3), script.ArgStr(4)));
}
