// Which installer functions the installation log records, and the binding
// that records them: the function's own handler runs, then one line with
// the arguments as the script gave them and the result. A function added
// to the library is logged by one line in kLogged.

#include <cstring>
#include <iterator>

#include "archive/uZlibArchive.h"
#include "scriptlib/uPatcherArchive.h"
#include "scriptlib/uPatcherLibrary.h"
#include "system/uInstallLog.h"

struct TLoggedFunction {
    const char* Name;
    bool BooleanResult;  // TRUE/FALSE in the log, else the value as it is
    // Extra text behind the result, or null.
    std::string (*Note)(const TPatcherMemory& memory, TScript& script);
};

namespace {

// The stored name, which the entry goes to when the target is empty.
std::string EntryNote(const TPatcherMemory& memory, TScript& script) {
    TValue index = ZeroValue;
    script.Arg(1, index);
    const TZLibPackedFile* entry =
        memory.Unpacker && index.Kind == vkInteger ? EntryAt(*memory.Unpacker, index.Int) : nullptr;
    return entry ? " (entry " + entry->Name + ")" : "";
}

// Every function that changes the machine or starts a program.
const TLoggedFunction kLogged[] = {
    {"WriteIni", true, nullptr},        {"RegSetValue", true, nullptr},
    {"RegCreateKey", false, nullptr},   {"CreateDirectory", true, nullptr},
    {"RemoveDirectory", true, nullptr}, {"DeleteFile", true, nullptr},
    {"MoveFile", true, nullptr},        {"CopyFile", true, nullptr},
    {"Execute", true, nullptr},         {"ArchiveFileCopy", true, EntryNote},
    {"RegDeleteValue", true, nullptr},  {"RegDeleteKey", true, nullptr},
    {"CreateShortcut", true, nullptr},  {"DeleteAtRestart", true, nullptr},
    {"ExecuteWait", false, nullptr},    {"ArchiveInstall", true, nullptr},
    {"ExecuteCopy", true, nullptr},
};

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
    if (call.Function->BooleanResult && result.Kind == vkInteger)
        text += result.Int ? "TRUE" : "FALSE";
    else
        AppendValue(text, result);
    if (call.Function->Note) text += call.Function->Note(*static_cast<const TPatcherMemory*>(call.Inner.Owner), script);
    LogLine(text);
}

}  // namespace

TFunctionHandler LoggedHandler(const char* name, TFunctionHandler inner,
                               std::vector<std::unique_ptr<TLoggedCall>>& calls) {
    for (const TLoggedFunction& f : kLogged)
        if (std::strcmp(f.Name, name) == 0) {
            calls.push_back(std::make_unique<TLoggedCall>(TLoggedCall{&f, inner}));
            return {&CallLogged, calls.back().get()};
        }
    return inner;
}
