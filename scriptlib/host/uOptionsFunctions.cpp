// The functions of unattended installs: the command line's options (only
// an installer whose brand asks for options has any), the status the
// installer ends with, the rights it runs with and what it tells the log.

#include <windows.h>

#include "scriptlib/host/uPatcherLibrary.h"
#include "scriptlib/installer/uCommandLine.h"
#include "system/app/uInstallLog.h"
#include "system/win/uPrograms.h"
#include "system/win/uEnvironment.h"

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

// IsAdmin(): TRUE when the installer runs with administrator rights, so it
// may write to Program Files and HKEY_LOCAL_MACHINE.
void ScriptIsAdmin(TPatcherMemory&, TScript&, TValue& result) { result = BooleanValue(RunsAsAdministrator()); }

// RunElevated([options]): starts this installer again with administrator
// rights (Windows asks the user) and its own command line, options added
// behind it, then waits for it; its exit status, -1 when it did not start
// (the user declined) and when options are added to an installer without
// options, which would take them for an archive's name.
void ScriptRunElevated(TPatcherMemory& memory, TScript& script, TValue& result) {
    std::string added = script.ArgStr(1);
    std::string arguments(ProgramArguments(GetCommandLineA()));
    if (!added.empty()) arguments += (arguments.empty() ? "" : " ") + added;
    std::string self = OwnProgramPath();
    int32_t status = -1;
    SetLastError(ERROR_INVALID_PARAMETER);
    if (memory.TakesOptions || added.empty()) status = RunProgramToEnd(self, arguments, false, "runas");
    if (status == -1) memory.LastFailure = self + ": " + OsErrorText(LastOsError());
    result = IntegerValue(status);
}

// GetLastFailure(): why the last function that changes the machine failed
// (a file or key and the OS's text); empty when it succeeded.
void ScriptGetLastFailure(TPatcherMemory& memory, TScript&, TValue& result) {
    result = StringValue(memory.LastFailure);
}

// WriteLog(text): a line "script: text" in the installation log; TRUE when
// there is a log.
void ScriptWriteLog(TPatcherMemory&, TScript& script, TValue& result) {
    std::string text = script.ArgStr(1);
    LogLine("script: " + text);
    result = BooleanValue(LogOpened());
}
