// The binding that records the calls of installer functions in the
// installation log: the function's own handler runs, then one line with the
// arguments as the script gave them, the result and why it failed. Which
// functions, and how, is the log column of the list
// (scriptlib/installer/uPatcherFunctions.inc). They change the machine, and
// GetLastFailure tells the last one's failure, so the binding clears it
// before each call.

#include "archive/uZlibArchive.h"
#include "scriptlib/host/uPatcherLibrary.h"
#include "scriptlib/installer/uPatcherArchive.h"
#include "system/app/uInstallLog.h"
#include "system/uSystem.h"

namespace {

// The stored name, which the entry goes to when the target is empty.
std::string EntryNote(const TPatcherMemory& memory, TScript& script) {
    TValue index = ZeroValue;
    script.Arg(1, index);
    const TZLibPackedFile* entry =
        memory.Unpacker && index.Kind == vkInteger ? EntryAt(*memory.Unpacker, index.Int) : nullptr;
    return entry ? " (entry " + entry->Name + ")" : "";
}

// A text in double quotes with a quote inside doubled, an integer in decimal.
void AppendValue(std::string& out, const TValue& value) {
    if (value.Kind == vkInteger) {
        out += IntegerText(value.Int);
        return;
    }
    out += '"';
    for (char c : value.Str) {
        out += c;
        if (c == '"') out += '"';
    }
    out += '"';
}

// Why a call failed, unless the function said: its first argument when it
// is a text (the file or folder), then the OS's reason (code is the
// thread's last error as the call left it).
std::string Failure(TScript& script, uint32_t code) {
    TValue first;
    std::string subject = script.Arg(1, first) && first.Kind == vkString ? first.Str + ": " : "";
    return subject + (code ? OsErrorText(code) : "failed");
}

// Name(arguments) = result, then the note, then " - " and why it failed.
void CallLogged(void* owner, TScript& script, TValue& result) {
    auto& call = *static_cast<TLoggedCall*>(owner);
    auto& memory = *static_cast<TPatcherMemory*>(call.Inner.Owner);
    memory.LastFailure.clear();
    SetLastError(0);
    call.Inner.Routine(call.Inner.Owner, script, result);
    uint32_t code = LastOsError();
    bool failed = result.Kind == vkInteger && result.Int == (call.Function->Log == lgCode ? -1 : 0);
    if (failed && memory.LastFailure.empty()) memory.LastFailure = Failure(script, code);
    if (!LogOpened()) return;
    std::string text = std::string(call.Function->Name) + "(";
    TValue arg;
    for (int32_t i = 1; script.Arg(i, arg); ++i) {
        if (i > 1) text += ", ";
        AppendValue(text, arg);
    }
    text += ") = ";
    if (call.Function->Log != lgResult && call.Function->Log != lgCode && result.Kind == vkInteger)
        text += result.Int ? "TRUE" : "FALSE";
    else
        AppendValue(text, result);
    if (call.Function->Log == lgEntry) text += EntryNote(memory, script);
    if (!memory.LastFailure.empty()) text += " - " + memory.LastFailure;
    LogLine(text);
}

}  // namespace

TFunctionHandler LoggedHandler(const TPatcherFunctionSpec& function, TFunctionHandler inner,
                               std::vector<std::unique_ptr<TLoggedCall>>& calls) {
    if (function.Log == lgNo) return inner;
    calls.push_back(std::make_unique<TLoggedCall>(TLoggedCall{&function, inner}));
    return {&CallLogged, calls.back().get()};
}
