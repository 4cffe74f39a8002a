// The functions of unattended installs: the command line's options (only
// an installer whose brand asks for options has any) and the status the
// installer ends with.

#include "scriptlib/host/uPatcherLibrary.h"

// HasOption(name): TRUE when /NAME or /NAME=... was given, in any case.
void ScriptHasOption(TPatcherMemory& memory, TScript& script, TValue& result) {
    result = BooleanValue(FindOption(memory.Options, script.ArgStr(1)) != nullptr);
}

// GetOption(name): the text behind = of the last /NAME=..., quotes removed;
// the empty text when there is none.
void ScriptGetOption(TPatcherMemory& memory, TScript& script, TValue& result) {
    const TOption* option = FindOption(memory.Options, script.ArgStr(1));
    result = option ? StringValue(option->Value) : EmptyStringValue;
}

// SetExitCode(code): the status the installer ends with, unless a later
// call or failure sets another.
void ScriptSetExitCode(TPatcherMemory& memory, TScript& script, TValue& result) {
    memory.ExitCode = script.ArgInt(1);
    result = BooleanValue(true);
}
