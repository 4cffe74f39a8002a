#include "scriptlib/uPatcherScript.h"

#include "system/app/uFatalError.h"
#include "system/app/uInstallLog.h"
#include "system/uSystem.h"

TPatcherScript* ActiveScript = nullptr;

namespace {

constexpr uint32_t kScriptErrorText = 65488;
constexpr uint32_t kExceptionText = 65518;

// Makes parser the script's lexer for as long as it lives, then puts the
// outer one back, also when the evaluation raised.
class TLexerScope {
public:
    TLexerScope(TScript& script, TParser& parser) : script_(script), outer_(script.Parser) { script.Parser = &parser; }
    ~TLexerScope() { script_.Parser = outer_; }
    TLexerScope(const TLexerScope&) = delete;
    TLexerScope& operator=(const TLexerScope&) = delete;

private:
    TScript& script_;
    TParser* outer_;
};

}  // namespace

void TPatcherMemory::PushDialog(HWND& current, HWND window) {
    DialogStack.push_back(current);
    current = window;
}

void TPatcherMemory::PopDialog(HWND& current) {
    current = nullptr;
    if (DialogStack.empty()) return;
    current = DialogStack.back();
    DialogStack.pop_back();
}

void TPatcherScript::RunEvent(uint8_t event, int32_t wparam, int32_t lparam) noexcept {
    try {
        Evaluate(event, wparam, lparam);
    } catch (...) {
        try {
            Failed();
            ShowFatalError(memory_.CurrentDialog, ResourceText(kExceptionText), "");
        } catch (...) {
        }
    }
    memory_.ScriptChecked = true;
}

void TPatcherScript::Evaluate(uint8_t event, int32_t wparam, int32_t lparam) {
    memory_.SetVariable("MESSAGE", IntegerValue(event));
    memory_.SetVariable("WPARAM", IntegerValue(wparam));
    memory_.SetVariable("LPARAM", IntegerValue(lparam));
    TParser parser;
    parser.SetText(memory_.ScriptText);
    TLexerScope scope(*this, parser);
    bool succeeded = memory_.ScriptChecked ? Run(false) : CheckAndRun();
    if (!succeeded) ShowScriptError();
}

// A failed installation must not end as a successful one where a caller
// reads the status; a later SetExitCode still chooses another.
void TPatcherScript::Failed() {
    if (memory_.TakesOptions) memory_.ExitCode = kExitScriptFailed;
}

// "<65488>\r\nLine L; pos. C: <error text>" over the page on screen; in a
// silent run only the log's line.
void TPatcherScript::ShowScriptError() {
    int32_t line = 0, column = 0;
    Parser->LineAndColumn(line, column);
    std::string text = ResourceText(kScriptErrorText) + "\r\nLine " + IntegerText(line) + "; pos. " +
                       IntegerText(column) + ": " + ErrorText;
    LogLine("script error at line " + IntegerText(line) + ", column " + IntegerText(column) + ": " + ErrorText);
    Failed();
    ShowBox(memory_.CurrentDialog, text, ResourceText(kCaptionText), MB_ICONERROR);
}
