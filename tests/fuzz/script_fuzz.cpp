// Fuzz target over the script engine: the lexer on its own, then the
// checks and the run of CheckAndRun with the base library. It must end on
// every input and never crash.
//
// Only while can repeat work, so the real pass runs on a copy of the text in
// which every while keyword is spelt "if   " (same length, so positions stay):
// each loop body then runs at most once. The checking pass sees the original.
// Without loops every token is evaluated at most once, so a string can grow
// at most twofold per + or , ; texts whose bound exceeds kMaxGrowth skip the
// real pass rather than exhaust memory.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "script/uParser.h"
#include "script/uScript.h"
#include "scriptlib/uScriptLib.h"
#include "tests/fuzz/Require.h"

namespace {

constexpr size_t kMaxGrowth = size_t{16} << 20;

// Scans the whole text, checking that every token lies inside it and that
// the scan moves forward. Returns the text for the real pass (loops made
// single passes) and whether the growth bound allows running it.
std::string LexAll(std::string_view text, bool& runnable) {
    TParser p;
    p.SetText(text);
    std::string once(text);
    size_t growth = text.size() + 1;
    runnable = true;
    int32_t last = -1;
    for (size_t steps = 0;; ++steps) {
        Require(steps <= text.size() + 1);
        TToken t = p.Next();
        int32_t line, column;
        p.LineAndColumn(line, column);
        Require(line >= 1 && column >= 1);
        Require(p.Position() >= 0 && static_cast<size_t>(p.Position()) <= text.size());
        if (t == tkEnd || t == tkError) break;
        Require(p.TokenPosition() > last && p.TokenPosition() < p.Position());
        last = p.TokenPosition();
        if (t == tkWhile) once.replace(static_cast<size_t>(p.TokenPosition()), 5, "if   ");
        if (t == tkPlus || t == tkComma) {
            growth *= 2;
            if (growth > kMaxGrowth) runnable = false;
        }
    }
    return once;
}

class TFuzzScript : public TScript {
public:
    TFuzzScript() {
        Memory = &Library;
        Parser = &Text;
    }
    TBaseLibMemory Library;
    TParser Text;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    bool runnable = false;
    std::string once = LexAll(text, runnable);

    TFuzzScript script;
    script.Text.SetText(text);
    if (!script.Text.CheckText()) return 0;
    bool checked = script.Run(true);
    Require(script.Depth() == 0 && script.ArgBase == 0 && script.Stack.VariableCount() == 0);
    if (!checked || !runnable) return 0;

    script.Text.SetText(once);
    bool ran = script.CheckAndRun();
    Require(script.Depth() == 0 && script.ArgBase == 0);
    if (ran) Require(script.Stack.VariableCount() == 0);
    return 0;
}
