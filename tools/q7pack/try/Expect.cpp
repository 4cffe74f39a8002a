#include "tools/q7pack/try/Expect.h"

#include <vector>

namespace {

const char kAnyText[] = "{*}", kAnyLines[] = "{...}";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(at, end - at));
        if (!lines.back().empty() && lines.back().back() == '\r') lines.back().pop_back();
        at = end + 1;
    }
    return lines;
}

// line against pattern, in which each "{*}" stands for any text.
bool Matches(const std::string& pattern, const std::string& line) {
    size_t star = pattern.find(kAnyText);
    if (star == std::string::npos) return pattern == line;
    if (line.compare(0, star, pattern, 0, star) != 0) return false;
    std::string rest = pattern.substr(star + 3);
    for (size_t at = star; at <= line.size(); ++at)
        if (Matches(rest, line.substr(at))) return true;
    return false;
}

bool IsContext(const std::string& line) { return line.rfind("@ ", 0) == 0 || line.rfind("== ", 0) == 0; }

}  // namespace

std::optional<TDifference> CompareOutput(const std::string& expected, const std::string& output) {
    std::vector<std::string> want = Lines(expected), got = Lines(output);
    std::string context;
    size_t g = 0;
    auto differ = [&](size_t w, std::string wanted) -> TDifference {
        return {w + 1, context, std::move(wanted), g < got.size() ? got[g] : "the end of the output"};
    };
    const char kNowhere[] = "no line like it in the rest of the output";
    for (size_t w = 0; w < want.size(); ++w) {
        if (want[w] == kAnyLines) {
            if (w + 1 == want.size()) return std::nullopt;
            size_t skipped = g;
            std::string passed = context;
            for (; skipped < got.size() && !Matches(want[w + 1], got[skipped]); ++skipped)
                if (IsContext(got[skipped])) passed = got[skipped];
            if (skipped == got.size()) return {{w + 2, context, want[w + 1], kNowhere}};
            g = skipped, context = passed;
            continue;
        }
        if (g == got.size() || !Matches(want[w], got[g])) return differ(w, want[w]);
        if (IsContext(got[g])) context = got[g];
        ++g;
    }
    if (g < got.size()) return differ(want.size(), "the end of the saved output");
    return std::nullopt;
}

std::string ShowDifference(const TDifference& d) {
    return "line " + std::to_string(d.Line) + " of the saved output" +
           (d.Context.empty() ? "" : " (after " + d.Context + ")") + " differs:\n  expected: " + d.Expected +
           "\n  got:      " + d.Got + "\n";
}
