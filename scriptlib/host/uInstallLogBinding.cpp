// The binding that records the calls of installer functions in the
// installation log: the function's own handler runs, then one line with the
// arguments as the script gave them and the result. Which functions, and
// how, is the log column of the list (scriptlib/installer/uPatcherFunctions.inc).

#include "archive/uZlibArchive.h"
#include "scriptlib/host/uPatcherLibrary.h"
#include "scriptlib/installer/uPatcherArchive.h"
#include "system/app/uInstallLog.h"

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

// Name(arguments) = result, then the note.
void CallLogged(void* owner, TScript& script, TValue& result) {
    auto& call = *static_cast<TLoggedCall*>(owner);
    call.Inner.Routine(call.Inner.Owner, script, result);
    if (!LogOpened()) return;
    std::string text = std::string(call.Function->Name) + "(";
    TValue arg;
    for (int32_t i = 1; script.Arg(i, arg); ++i) {
        if (i > 1) text += ", ";
        AppendValue(text, arg);
    }
    text += ") = ";
    if (call.Function->Log != lgResult && result.Kind == vkInteger)
        text += result.Int ? "TRUE" : "FALSE";
    else
        AppendValue(text, result);
    if (call.Function->Log == lgEntry)
        text += EntryNote(*static_cast<const TPatcherMemory*>(call.Inner.Owner), script);
    LogLine(text);
}

}  // namespace

TFunctionHandler LoggedHandler(const TPatcherFunctionSpec& function, TFunctionHandler inner,
                               std::vector<std::unique_ptr<TLoggedCall>>& calls) {
    if (function.Log == lgNo) return inner;
    calls.push_back(std::make_unique<TLoggedCall>(TLoggedCall{&function, inner}));
    return {&CallLogged, calls.back().get()};
}
