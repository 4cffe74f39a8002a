#include "scriptlib/uPatcherTable.h"

#include <iterator>

const TPatcherConstant PatcherConstants[] = {
    {"INITAPP", 1},
    {"INITDIALOG", 2},
    {"CLOSE", 3},
    {"COMMAND", 4},
    // The predefined registry roots: the platform's handle values as signed
    // 32-bit integers (the host sign-extends them back).
    {"HKEY_CLASSES_ROOT", INT32_MIN},
    {"HKEY_CURRENT_USER", INT32_MIN + 1},
    {"HKEY_LOCAL_MACHINE", INT32_MIN + 2},
    {"HKEY_USERS", INT32_MIN + 3},
    {"IDI_QUESTION", 32514},
    {"IDI_WARNING", 32515},
    {"IDI_ERROR", 32513},
    {"IDI_INFORMATION", 32516},
    {"IDI_WINLOGO", 32517},
    {"IDOK", 1},
    {"IDCANCEL", 2},
    {"IDABORT", 3},
    {"IDRETRY", 4},
    {"IDIGNORE", 5},
    {"IDYES", 6},
    {"IDNO", 7},
    {"IDCLOSE", 8},
    {"MB_OKCANCEL", 1},
    {"MB_ABORTRETRYIGNORE", 2},
    {"MB_YESNOCANCEL", 3},
    {"MB_YESNO", 4},
    {"MB_RETRYCANCEL", 5},
    {"MB_ICONQUESTION", 32},
    {"MB_ICONWARNING", 48},
    {"MB_ICONERROR", 16},
    {"MB_ICONINFORMATION", 64},
    {"MB_SETFOREGROUND", 65536},
    {"TRUE", -1},
    {"FALSE", 0},
    // The shell's special folders for GetSpecialFolder, with their Win32
    // numbers.
    {"CSIDL_PROGRAMS", 0x02},
    {"CSIDL_PERSONAL", 0x05},
    {"CSIDL_STARTUP", 0x07},
    {"CSIDL_DESKTOPDIRECTORY", 0x10},
    {"CSIDL_FONTS", 0x14},
    {"CSIDL_COMMON_PROGRAMS", 0x17},
    {"CSIDL_COMMON_STARTUP", 0x18},
    {"CSIDL_COMMON_DESKTOPDIRECTORY", 0x19},
    {"CSIDL_APPDATA", 0x1A},
    {"CSIDL_LOCAL_APPDATA", 0x1C},
    {"CSIDL_COMMON_APPDATA", 0x23},
    {"CSIDL_WINDOWS", 0x24},
    {"CSIDL_SYSTEM", 0x25},
    {"CSIDL_PROGRAM_FILES", 0x26},
    {"CSIDL_PROGRAM_FILES_COMMON", 0x2B},
};
const size_t PatcherConstantCount = std::size(PatcherConstants);

const TPatcherFunctionSpec PatcherFunctions[] = {
    // Dialogs and message boxes.
    {"MessageBox", 1, 3},
    {"LoadString", 1, 1},
    {"LoadIcon", 1, 1},
    {"DialogBox", 1, 2},
    {"EndDialog", 0, 1},
    {"GetDlgItemText", 1, 1},
    {"SetDlgItemText", 2, 2},
    {"GetDlgItemCheck", 1, 1},
    {"SetDlgItemCheck", 2, 2},
    {"SetDlgItemIcon", 2, 2},
    {"EnableDlgItem", 2, 2},
    {"ShowDlgItem", 2, 2},
    {"SendDlgItemMessage", 2, 4},
    // INI files and the registry.
    {"ReadIni", 3, 4},
    {"WriteIni", 4, 4},
    {"RegQueryValue", 2, 3},
    {"RegSetValue", 3, 3},
    {"RegOpenKey", 2, 2},
    {"RegCreateKey", 2, 2},
    {"RegCloseKey", 1, 1},
    // Files, directories and processes.
    {"DirectoryExists", 1, 1},
    {"CreateDirectory", 1, 1},
    {"SelectDirectory", 0, 1},
    {"GetCurrentDirectory", 0, 0},
    {"SetCurrentDirectory", 1, 1},
    {"RemoveDirectory", 1, 1},
    {"FileExists", 1, 1},
    {"DeleteFile", 1, 1},
    {"MoveFile", 2, 2},
    {"CopyFile", 2, 3},
    {"Execute", 1, 4},
    // The archive.
    {"ArchiveFileCopy", 1, 2},
    {"ArchiveFileCount", 0, 0},
    {"ArchiveFileName", 1, 1},
    // A product's life on the machine: its folders, shortcuts, Apps &
    // features entry and removal.
    {"GetSpecialFolder", 1, 1},
    {"GetEnvironmentVariable", 1, 1},
    {"ExpandEnvironmentStrings", 1, 1},
    {"GetModuleFileName", 0, 0},
    {"GetDiskFreeSpace", 1, 1},
    {"ArchiveFileSize", 1, 1},
    {"CreateShortcut", 2, 7},
    {"RegDeleteValue", 2, 2},
    {"RegDeleteKey", 2, 2},
    {"ExecuteWait", 1, 3},
    {"DeleteAtRestart", 1, 1},
    // Unattended installs: the command line's options and the exit status.
    {"HasOption", 1, 1},
    {"GetOption", 1, 1},
    {"SetExitCode", 1, 1},
    // The archive on the wizard's pages: a license text, and installing
    // every entry with progress, a cancel and an undo.
    {"ArchiveFileText", 1, 1},
    {"ArchiveInstall", 1, 3},
    {"ArchiveInstallCancel", 0, 0},
    // An uninstaller's copy of itself outside the folder it removes, added
    // behind all the others so that none of them moves.
    {"ExecuteCopy", 1, 2},
};
const size_t PatcherFunctionCount = std::size(PatcherFunctions);
