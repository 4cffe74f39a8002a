#include "scriptlib/uPatcherCheck.h"

#include "script/uParser.h"
#include "scriptlib/uPatcherTable.h"
#include "scriptlib/uScriptLib.h"

namespace {

// The installer memory's names with handlers that the checking pass never
// calls (it only parses).
class TCheckMemory : public TBaseLibMemory {
public:
    TCheckMemory() {
        for (size_t i = 0; i < PatcherConstantCount; ++i)
            AddVariable(PatcherConstants[i].Name, IntegerValue(PatcherConstants[i].Value));
        for (size_t i = 0; i < PatcherFunctionCount; ++i) {
            const TPatcherFunctionSpec& f = PatcherFunctions[i];
            RegisterFunction(f.Name, f.MinArgs, f.MaxArgs, TFunctionHandler{&NotRun, this});
        }
    }

private:
    static void NotRun(void*, TScript& script, TValue&) { script.Error("installer functions do not run here"); }
};

TScriptProblem At(const TParser& parser, std::string message) {
    TScriptProblem problem;
    parser.LineAndColumn(problem.Line, problem.Column);
    problem.Message = std::move(message);
    return problem;
}

// The bytes of line (from 1) without its line end.
std::string_view LineOf(std::string_view text, int32_t line) {
    size_t start = 0;
    for (int32_t n = 1; n < line && start < text.size(); ++n) {
        size_t end = text.find('\n', start);
        start = end == std::string_view::npos ? text.size() : end + 1;
    }
    std::string_view rest = text.substr(start);
    rest = rest.substr(0, rest.find('\n'));
    if (!rest.empty() && rest.back() == '\r') rest.remove_suffix(1);
    return rest;
}

}  // namespace

std::optional<TScriptProblem> CheckPatcherScript(std::string_view text) {
    TCheckMemory memory;
    TParser parser;
    parser.SetText(text);
    if (!parser.CheckText()) return At(parser, parser.ErrorText);
    TScript script;
    script.Memory = &memory;
    script.Parser = &parser;
    if (!script.Run(true)) return At(parser, script.ErrorText);
    return std::nullopt;
}

std::string FormatScriptProblem(const std::string& file, std::string_view text, const TScriptProblem& problem) {
    std::string_view line = LineOf(text, problem.Line);
    // Tabs stay tabs under the caret so that it lines up in any tab width.
    std::string caret;
    for (size_t i = 0; i + 1 < static_cast<size_t>(problem.Column) && i < line.size(); ++i)
        caret += line[i] == '\t' ? '\t' : ' ';
    return file + ":" + std::to_string(problem.Line) + ":" + std::to_string(problem.Column) + ": " +
           problem.Message + "\n" + std::string(line) + "\n" + caret + "^\n";
}
