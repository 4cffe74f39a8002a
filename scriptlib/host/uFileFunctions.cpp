// The file, directory and program functions. Paths go to the OS unchanged;
// relative ones are taken against the process's current directory, which
// SetCurrentDirectory changes for everything after it (archive copies and
// started programs included).

#include <windows.h>

#include <string>

#include "scriptlib/host/uPatcherLibrary.h"
#include "system/app/uFatalError.h"
#include "system/fs/uFiles.h"
#include "system/win/uDeleteAtRestart.h"
#include "system/win/uFolderBrowser.h"
#include "system/win/uPrivateCopy.h"
#include "system/win/uPrograms.h"
#include "system/win/uShortcut.h"

namespace {

// The whole current directory, also one longer than MAX_PATH (a buffer of
// that size would leave nothing readable); the empty text when the OS
// cannot tell it.
std::string CurrentDirectory() {
    std::string buffer(MAX_PATH, '\0');
    DWORD n = GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
    if (n >= buffer.size()) {
        buffer.assign(n, '\0');
        n = GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
        if (n >= buffer.size()) n = 0;
    }
    buffer.resize(n);
    return buffer;
}

}  // namespace

void ScriptDirectoryExists(TPatcherMemory&, TScript& script, TValue& result) {
    result = BooleanValue(IsExistingDirectory(script.ArgStr(1)));
}

// CreateDirectory(path): makes every missing level; TRUE also when it exists.
void ScriptCreateDirectory(TPatcherMemory&, TScript& script, TValue& result) {
    result = BooleanValue(CreateDirectoryTree(script.ArgStr(1)));
}

// SelectDirectory([title]): the folder the user chose in the shell's
// browser over the page on screen; the empty text when cancelled, and at
// once in a silent run.
void ScriptSelectDirectory(TPatcherMemory& memory, TScript& script, TValue& result) {
    std::string path, title = script.ArgStr(1);
    if (!IsSilentRun()) BrowseForDirectory(memory.CurrentDialog, title, path);
    result = StringValue(path);
}

void ScriptGetCurrentDirectory(TPatcherMemory&, TScript&, TValue& result) {
    result = StringValue(CurrentDirectory());
}

void ScriptSetCurrentDirectory(TPatcherMemory&, TScript& script, TValue& result) {
    result = BooleanValue(SetCurrentDirectoryA(script.ArgStr(1).c_str()) != 0);
}

// RemoveDirectory(path): an empty directory only.
void ScriptRemoveDirectory(TPatcherMemory&, TScript& script, TValue& result) {
    result = BooleanValue(RemoveDirectoryA(script.ArgStr(1).c_str()) != 0);
}

// FileExists(name): a file (the first match of a pattern) with a DOS time.
void ScriptFileExists(TPatcherMemory&, TScript& script, TValue& result) {
    result = BooleanValue(IsExistingFile(script.ArgStr(1)));
}

// DeleteFile(name): read-only, hidden and system files too.
void ScriptDeleteFile(TPatcherMemory&, TScript& script, TValue& result) {
    result = BooleanValue(DeleteFileForced(script.ArgStr(1)));
}

// MoveFile(from, to): fails when to exists.
void ScriptMoveFile(TPatcherMemory&, TScript& script, TValue& result) {
    result = BooleanValue(MoveFileA(script.ArgStr(1).c_str(), script.ArgStr(2).c_str()) != 0);
}

// CopyFile(from, to [, failIfExists]): overwrites unless the flag is set.
void ScriptCopyFile(TPatcherMemory&, TScript& script, TValue& result) {
    BOOL failIfExists = script.ArgInt(3) != 0;
    result = BooleanValue(CopyFileA(script.ArgStr(1).c_str(), script.ArgStr(2).c_str(), failIfExists) != 0);
}

// Execute(file [, parameters [, hidden [, wait]]]): TRUE when the shell
// started the file; with wait, only once the program has ended. The wait
// flag is converted first, the hidden flag last.
void ScriptExecute(TPatcherMemory&, TScript& script, TValue& result) {
    bool wait = script.ArgInt(4) != 0;
    std::string parameters = script.ArgStr(2);
    std::string file = script.ArgStr(1);
    bool hidden = script.ArgInt(3) != 0;
    result = BooleanValue(StartProgram(file, parameters, hidden, wait));
}

// ExecuteWait(file [, parameters [, hidden]]): starts as Execute does and
// answers the program's exit code once it has ended; -1 when nothing was
// started or there is no process to wait on.
void ScriptExecuteWait(TPatcherMemory&, TScript& script, TValue& result) {
    std::string file = script.ArgStr(1);
    std::string parameters = script.ArgStr(2);
    bool hidden = script.ArgInt(3) != 0;
    result = IntegerValue(RunProgramToEnd(file, parameters, hidden));
}

// CreateShortcut(link, target [, arguments [, folder [, icon [, iconIndex
// [, description]]]]]): TRUE when the .lnk file was written (an existing
// one replaced); no folder is created.
void ScriptCreateShortcut(TPatcherMemory&, TScript& script, TValue& result) {
    TShortcut s;
    s.IconIndex = script.ArgInt(6);
    s.Link = script.ArgStr(1);
    s.Target = script.ArgStr(2);
    s.Arguments = script.ArgStr(3);
    s.Folder = script.ArgStr(4);
    s.Icon = script.ArgStr(5);
    s.Description = script.ArgStr(7);
    result = BooleanValue(WriteShortcut(s));
}

// ExecuteCopy(name [, parameters]): copies the running installer as name
// into a new private folder of the temporary folder and starts the copy
// there; TRUE when it runs (system/win/uPrivateCopy.h says what keeps the copy
// from being replaced before it starts).
void ScriptExecuteCopy(TPatcherMemory&, TScript& script, TValue& result) {
    std::string name = script.ArgStr(1);
    result = BooleanValue(StartPrivateCopy(name, script.ArgStr(2)));
}

// ExecuteCopyWait(name [, parameters]): as ExecuteCopy, then waits until
// the copy has ended; its exit status, -1 when it did not start. The
// running installer's file moves beside the copy first, so that the copy
// can remove the folder it came from.
void ScriptExecuteCopyWait(TPatcherMemory&, TScript& script, TValue& result) {
    std::string name = script.ArgStr(1);
    int32_t status = -1;
    StartPrivateCopy(name, script.ArgStr(2), &status);
    result = IntegerValue(status);
}

// DeleteAtRestart(path): TRUE when Windows will delete the file or empty
// folder at its next restart (administrators only).
void ScriptDeleteAtRestart(TPatcherMemory&, TScript& script, TValue& result) {
    result = BooleanValue(DeleteAtRestart(script.ArgStr(1)));
}
