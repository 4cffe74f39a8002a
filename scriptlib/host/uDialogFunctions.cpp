// The dialog and message functions: thin handlers that read their
// arguments, make one Win32 call against the page on screen (CurrentDialog)
// or one of its controls, and turn the answer into a script value. Only the
// integer conversions of arguments raise script errors.

#include "scriptlib/host/uPatcherLibrary.h"
#include "system/app/uFatalError.h"
#include "system/app/uInstallLog.h"
#include "system/app/uResourceLanguage.h"
#include "system/uSystem.h"

namespace {

constexpr int32_t kFirstSystemIcon = 30001;
constexpr UINT kSetIcon = 0x0170;  // STM_SETICON

HINSTANCE OwnModule() { return GetModuleHandleA(nullptr); }

// Handles travel as signed 32-bit integers; sign extension brings back the
// platform's value in 64-bit builds too.
template <class THandleType>
THandleType HandleFrom(int32_t value) {
    return reinterpret_cast<THandleType>(static_cast<INT_PTR>(value));
}

int32_t IntegerFrom(const void* handle) { return static_cast<int32_t>(reinterpret_cast<INT_PTR>(handle)); }

// A resource number: resources are numbered 1 to 65535, so any other
// integer names none (rather than a number cut to 16 bits).
bool IsResourceNumber(int32_t n) { return n >= 1 && n <= 0xFFFF; }

// A message parameter: an integer as it is, a string as the address of its
// zero-terminated characters (which the value keeps alive).
LPARAM Parameter(const TValue& value) {
    if (value.Kind == vkInteger) return static_cast<LPARAM>(value.Int);
    return reinterpret_cast<LPARAM>(value.Str.c_str());
}

}  // namespace

// MessageBox(text [, caption [, flags]]): in a silent run no box, a line
// of the log, and the answer of a user who declines (ShowBox).
void ScriptMessageBox(TPatcherMemory& memory, TScript& script, TValue& result) {
    TValue flags = IntegerValue(MB_ICONINFORMATION);
    script.Arg(3, flags);
    UINT style = static_cast<UINT>(script.ValueToInteger(flags));
    TValue caption = StringValue(ResourceText(kCaptionText));
    script.Arg(2, caption);
    std::string text = script.ArgStr(1);
    if (IsSilentRun()) LogLine("message box: " + text);
    result = IntegerValue(ShowBox(memory.CurrentDialog, text, TScript::ValueToString(caption), style));
}

void ScriptLoadString(TPatcherMemory&, TScript& script, TValue& result) {
    int32_t id = script.ArgInt(1);
    result = StringValue(id >= 0 && id <= 0xFFFF ? ResourceText(static_cast<uint32_t>(id)) : std::string());
}

void ScriptLoadIcon(TPatcherMemory&, TScript& script, TValue& result) {
    TValue icon = ZeroValue;
    script.Arg(1, icon);
    HICON handle = nullptr;
    if (icon.Kind == vkString)
        handle = ::LoadIconA(OwnModule(), icon.Str.c_str());
    else if (IsResourceNumber(icon.Int))
        handle = ::LoadIconA(icon.Int < kFirstSystemIcon ? OwnModule() : nullptr, MAKEINTRESOURCEA(icon.Int));
    result = IntegerValue(IntegerFrom(handle));
}

void ScriptDialogBox(TPatcherMemory& memory, TScript& script, TValue& result) {
    int32_t init = script.ArgInt(2);
    TValue page = ZeroValue;
    script.Arg(1, page);
    result = IntegerValue(-1);
    if (page.Kind == vkInteger && !IsResourceNumber(page.Int)) return;
    // A silent run shows no page: the script did not expect /S, so the run
    // fails and says so rather than wait for a user who is not there.
    if (IsSilentRun()) {
        LogLine("page " + TScript::ValueToString(page) + " not shown: silent run");
        memory.ExitCode = kExitScriptFailed;
        return;
    }
    LPCSTR name = page.Kind == vkString ? page.Str.c_str() : MAKEINTRESOURCEA(page.Int);
    uint32_t size = 0;
    const void* chosen = ResourceLanguage() != 0 ? LanguageResource(RT_DIALOG, name, size) : nullptr;
    INT_PTR answer =
        chosen ? ::DialogBoxIndirectParamA(OwnModule(), static_cast<LPCDLGTEMPLATEA>(chosen),
                                           memory.CurrentDialog, DialogProc, static_cast<LPARAM>(init))
               : ::DialogBoxParamA(OwnModule(), name, memory.CurrentDialog, DialogProc,
                                   static_cast<LPARAM>(init));
    result = IntegerValue(static_cast<int32_t>(answer));
}

void ScriptEndDialog(TPatcherMemory& memory, TScript& script, TValue& result) {
    int32_t answer = script.ArgInt(1);
    result = BooleanValue(::EndDialog(memory.CurrentDialog, answer) != 0);
}

void ScriptGetDlgItemText(TPatcherMemory& memory, TScript& script, TValue& result) {
    HWND control = GetDlgItem(memory.CurrentDialog, script.ArgInt(1));
    LRESULT length = control ? SendMessageA(control, WM_GETTEXTLENGTH, 0, 0) : 0;
    std::string text;
    if (length > 0) {
        text.assign(static_cast<size_t>(length) + 1, '\0');
        SendMessageA(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<size_t>(length));
    }
    result = StringValue(text);
}

void ScriptSetDlgItemText(TPatcherMemory& memory, TScript& script, TValue& result) {
    int32_t id = script.ArgInt(1);
    std::string text = script.ArgStr(2);
    result = BooleanValue(SetWindowTextA(GetDlgItem(memory.CurrentDialog, id), text.c_str()) != 0);
}

void ScriptGetDlgItemCheck(TPatcherMemory& memory, TScript& script, TValue& result) {
    result = BooleanValue(SendDlgItemMessageA(memory.CurrentDialog, script.ArgInt(1), BM_GETCHECK, 0, 0) ==
                          BST_CHECKED);
}

void ScriptSetDlgItemCheck(TPatcherMemory& memory, TScript& script, TValue& result) {
    int32_t state = script.ArgInt(2);
    int32_t id = script.ArgInt(1);
    SendDlgItemMessageA(memory.CurrentDialog, id, BM_SETCHECK, state != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
    result = IntegerValue(0);
}

void ScriptSetDlgItemIcon(TPatcherMemory& memory, TScript& script, TValue& result) {
    int32_t icon = script.ArgInt(2);
    int32_t id = script.ArgInt(1);
    WPARAM handle = reinterpret_cast<WPARAM>(HandleFrom<HICON>(icon));
    result = BooleanValue(SendDlgItemMessageA(memory.CurrentDialog, id, kSetIcon, handle, 0) != 0);
}

void ScriptEnableDlgItem(TPatcherMemory& memory, TScript& script, TValue& result) {
    int32_t state = script.ArgInt(2);
    int32_t id = script.ArgInt(1);
    result = BooleanValue(EnableWindow(GetDlgItem(memory.CurrentDialog, id), state != 0) != 0);
}

void ScriptShowDlgItem(TPatcherMemory& memory, TScript& script, TValue& result) {
    int32_t state = script.ArgInt(2);
    int32_t id = script.ArgInt(1);
    result =
        BooleanValue(ShowWindow(GetDlgItem(memory.CurrentDialog, id), state != 0 ? SW_SHOW : SW_HIDE) != 0);
}

void ScriptSendDlgItemMessage(TPatcherMemory& memory, TScript& script, TValue& result) {
    UINT message = static_cast<UINT>(script.ArgInt(2));
    int32_t id = script.ArgInt(1);
    TValue wParam = ZeroValue, lParam = ZeroValue;
    script.Arg(3, wParam);
    script.Arg(4, lParam);
    LRESULT answer = SendDlgItemMessageA(memory.CurrentDialog, id, message,
                                         static_cast<WPARAM>(Parameter(wParam)), Parameter(lParam));
    result = IntegerValue(static_cast<int32_t>(answer));
}
