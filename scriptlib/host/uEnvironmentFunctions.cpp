// The functions that tell the script about the machine: the shell's special
// folders, environment variables, the installer's own file and free disk
// space. Each answers the empty text or -1 when Windows cannot tell.

#include "scriptlib/host/uPatcherLibrary.h"
#include "system/win/uEnvironment.h"

// GetSpecialFolder(csidl): the folder without a trailing backslash; empty
// when Windows has none. CSIDL_PROGRAM_FILES64 is the 64-bit Program Files.
void ScriptGetSpecialFolder(TPatcherMemory&, TScript& script, TValue& result) {
    result = StringValue(SpecialFolderPath(script.ArgInt(1)));
}

// GetEnvironmentVariable(name): the value; empty when unset.
void ScriptGetEnvironmentVariable(TPatcherMemory&, TScript& script, TValue& result) {
    result = StringValue(EnvironmentValue(script.ArgStr(1)));
}

// ExpandEnvironmentStrings(text): %NAME% replaced as Windows does.
void ScriptExpandEnvironmentStrings(TPatcherMemory&, TScript& script, TValue& result) {
    result = StringValue(ExpandEnvironment(script.ArgStr(1)));
}

// GetModuleFileName(): the running installer's full path.
void ScriptGetModuleFileName(TPatcherMemory&, TScript&, TValue& result) {
    result = StringValue(OwnProgramPath());
}

// GetDiskFreeSpace(path): KiB free to the user on path's volume, -1 when
// there is none.
void ScriptGetDiskFreeSpace(TPatcherMemory&, TScript& script, TValue& result) {
    result = IntegerValue(FreeDiskKiB(script.ArgStr(1)));
}

// NotifyEnvironmentChange(): after the environment in the registry changed
// (a Path); TRUE when the broadcast went out.
void ScriptNotifyEnvironmentChange(TPatcherMemory&, TScript&, TValue& result) {
    result = BooleanValue(BroadcastEnvironmentChange());
}

// NotifyAssociationChange(): after file types were registered; TRUE.
void ScriptNotifyAssociationChange(TPatcherMemory&, TScript&, TValue& result) {
    NotifyAssociationChange();
    result = BooleanValue(true);
}
