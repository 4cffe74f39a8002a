#include "scriptlib/installer/uPatcherTable.h"

#include <iterator>

#include "system/win/uEnvironment.h"

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
    // Registry value types for RegSetValue and views for RegSetView, with
    // their Win32 numbers.
    {"REG_SZ", 1},
    {"REG_EXPAND_SZ", 2},
    {"REG_DWORD", 4},
    {"KEY_WOW64_64KEY", 0x100},
    {"KEY_WOW64_32KEY", 0x200},
    // The 64-bit Program Files, also from the 32-bit installer: a number of
    // the installer's own, beyond the shell's.
    {"CSIDL_PROGRAM_FILES64", kProgramFiles64},
};
const size_t PatcherConstantCount = std::size(PatcherConstants);
