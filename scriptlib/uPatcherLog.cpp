// Which installer functions the installation log records, and the binding
// that records them: the function's own handler runs, then one line with
// the arguments as the script gave them and the result. A function added
// to the library is logged by one line in kLogged.

#include <cstring>
#include <iterator>

#include "archive/uZlibArchive.h"
#include "scriptlib/uInstallLog.h"
#include "scriptlib/uPatcherLibrary.h"

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
    bool inside = memory.Unpacker && index.Kind == vkInteger && index.Int >= 0 &&
                  index.Int < memory.Unpacker->FileCount();
    return inside ? " (entry " + memory.Unpacker->FileAt(index.Int).Name + ")" : "";
}

// Every function that changes the machine or starts a program.
const TLoggedFunction kLogged[] = {
    {"WriteIni", true, nullptr},        {"RegSetValue", true, nullptr},
    {"RegCreateKey", false, nullptr},   {"CreateDirectory", true, nullptr},
    {"RemoveDirectory", true, nullptr}, {"DeleteFile", true, nullptr},
    {"MoveFile", true, nullptr},        {"CopyFile", true, nullptr},
    {"Execute", true, nullptr},         {"ArchiveFileCopy", true, EntryNote},
};

void CallLogged(void* owner, TScript& script, TValue& result) {
    auto& call = *static_cast<TLoggedCall*>(owner);
    call.Inner.Routine(call.Inner.Owner, script, result);
    if (!LogOpened()) return;
    std::vector<TValue> args(static_cast<size_t>(script.Stack.VariableCount() - script.ArgBase));
    for (size_t i = 0; i < args.size(); ++i) script.Arg(static_cast<int32_t>(i + 1), args[i]);
    std::string note =
        call.Spec->Note ? call.Spec->Note(*static_cast<const TPatcherMemory*>(call.Inner.Owner), script) : "";
    LogLine(CallText(call.Spec->Name, args, result, call.Spec->BooleanResult) + note);
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
