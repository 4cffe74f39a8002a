#include "scriptlib/installer/uPatcherCheck.h"

#include <vector>

#include "script/uParser.h"
#include "scriptlib/installer/uPatcherTable.h"
#include "scriptlib/uScriptLib.h"
#include "system/uSystem.h"

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
    static void NotRun(void*, TScript& script, TValue&) {
        script.Error("installer functions do not run here");
    }
};

// The name of the call still open where the text reaches offset: the one
// whose argument list a count error is about. Empty when there is none.
std::string OpenCallAt(std::string_view text, int32_t offset) {
    TParser parser;
    parser.SetText(text);
    std::vector<std::string> open;
    std::string_view previous;
    for (TToken token = parser.Next(); token != tkEnd && token != tkError && parser.TokenPosition() < offset;
         token = parser.Next()) {
        if (token == tkOpenParen) open.emplace_back(previous);
        if (token == tkCloseParen && !open.empty()) open.pop_back();
        previous = token == tkIdentifier ? parser.TokenText : std::string_view();
    }
    return open.empty() ? std::string() : open.back();
}

std::string Arguments(int32_t n) { return std::to_string(n) + (n == 1 ? " argument" : " arguments"); }

std::string ArityText(int32_t minArgs, int32_t maxArgs) {
    if (maxArgs == -1) return "at least " + Arguments(minArgs);
    if (minArgs == maxArgs) return minArgs == 0 ? "no arguments" : Arguments(minArgs);
    if (maxArgs == minArgs + 1) return std::to_string(minArgs) + " or " + Arguments(maxArgs);
    return std::to_string(minArgs) + " to " + Arguments(maxArgs);
}

// q7pack's note on an error of a call: the counts the function takes, or
// the function whose name differs only in case.
std::string CallNote(const TScriptMemory& memory, std::string_view text, int32_t offset,
                     const std::string& message) {
    const std::string unknown = "not a function: ";
    if (message.compare(0, unknown.size(), unknown) == 0) {
        std::string wanted = AsciiLower(message.substr(unknown.size()));
        for (const TFunction& f : memory.Functions)
            if (AsciiLower(f.Name) == wanted)
                return "the installer has " + f.Name + "; function names are case-sensitive";
        return {};
    }
    if (message != "not enough parameters" && message != "too many parameters") return {};
    std::string name = OpenCallAt(text, offset);
    int32_t index = memory.FindFunction(name);
    if (index < 0) return {};
    int32_t minArgs, maxArgs;
    memory.FunctionArity(index, minArgs, maxArgs);
    return name + " takes " + ArityText(minArgs, maxArgs);
}

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
    if (script.Run(true)) return std::nullopt;
    TScriptProblem problem = At(parser, script.ErrorText);
    problem.Note = CallNote(memory, text, parser.Position(), script.ErrorText);
    return problem;
}

namespace {

// A byte as a terminal may show it: control bytes but the tab (a script
// may hold an escape sequence, a lone carriage return) as \xNN.
std::string Shown(char c) {
    unsigned char byte = static_cast<unsigned char>(c);
    if ((byte >= 0x20 && byte != 0x7F) || c == '\t') return std::string(1, c);
    const char digits[] = "0123456789abcdef";
    return std::string("\\x") + digits[byte >> 4] + digits[byte & 15];
}

std::string Shown(std::string_view text) {
    std::string shown;
    for (char c : text) shown += Shown(c);
    return shown;
}

}  // namespace

std::string FormatScriptProblem(const std::string& file, std::string_view text,
                                const TScriptProblem& problem) {
    std::string_view line = LineOf(text, problem.Line);
    // Tabs stay tabs under the caret so that it lines up in any tab width.
    std::string caret;
    for (size_t i = 0; i + 1 < static_cast<size_t>(problem.Column) && i < line.size(); ++i)
        caret += line[i] == '\t' ? std::string(1, '\t') : std::string(Shown(line[i]).size(), ' ');
    std::string where =
        file + ":" + std::to_string(problem.Line) + ":" + std::to_string(problem.Column) + ": ";
    std::string report = where + Shown(problem.Message) + "\n" + Shown(line) + "\n" + caret + "^\n";
    if (!problem.Note.empty()) report += where + "note: " + Shown(problem.Note) + "\n";
    return report;
}
