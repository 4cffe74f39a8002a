// Times the script engine on two loops and prints nanoseconds per iteration:
//   int    i = 0; s = 0; while (i < N) { s = s + i % 7; i++; }
//   string i = 0; s = ""; while (i < N) { s = s + "x" + i; if (strlen(s) > 1000) s = ""; i++; }
// bench/engine.sh runs the same loops in Lua in the same run for a ratio.
// Usage: script_bench [iterations [int|string]]   (default 1000000, both)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "script/uParser.h"
#include "script/uScript.h"
#include "scriptlib/uScriptLib.h"

namespace {

class TBenchScript : public TScript {
public:
    TBenchScript() {
        Memory = &Library;
        Parser = &Text;
    }
    TBaseLibMemory Library;
    TParser Text;
};

// Best of three runs, in nanoseconds per iteration.
double Time(const std::string& text, long iterations) {
    double best = 1e300;
    for (int round = 0; round < 3; ++round) {
        TBenchScript script;
        script.Text.SetText(text);
        auto start = std::chrono::steady_clock::now();
        if (!script.CheckAndRun()) {
            std::fprintf(stderr, "script_bench: %s\n", script.ErrorText.c_str());
            std::exit(1);
        }
        std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count() / static_cast<double>(iterations));
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    long n = argc > 1 ? std::atol(argv[1]) : 1000000;
    std::string count = std::to_string(n);
    std::string intLoop = "i = 0; s = 0; while (i < " + count + ") { s = s + i % 7; i++; }";
    std::string stringLoop = "i = 0; s = \"\"; while (i < " + count +
                             ") { s = s + \"x\" + i; if (strlen(s) > 1000) s = \"\"; i++; }";
    std::string only = argc > 2 ? argv[2] : "";
    if (only != "string") std::printf("int %.1f\n", Time(intLoop, n));
    if (only != "int") std::printf("string %.1f\n", Time(stringLoop, n));
    return 0;
}
