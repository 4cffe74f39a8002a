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
    // The archive on the wizard's pages: a license text, and installing
    // every entry with progress, a cancel and an undo.
    {"ArchiveFileText", 1, 1},
    {"ArchiveInstall", 1, 3},
    {"ArchiveInstallCancel", 0, 0},
};
const size_t PatcherFunctionCount = std::size(PatcherFunctions);
