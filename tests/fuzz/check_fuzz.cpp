// Fuzz target over the check behind `q7pack check`: the input bytes as a
// control script. The report must be what it promises: "FILE:LINE:COLUMN:
// message", the offending line, a caret under the column and at most one
// note line, where the line is the one the position names and nothing in
// the report can move a terminal's cursor or start an escape sequence.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/fuzz/Require.h"
#include "tools/q7pack/pack/PackCheck.h"

namespace {

std::vector<std::string> Lines(const std::string& report) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = report.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(report.substr(start, end - start));
    Require(start == report.size());  // every line ends with '\n'
    return lines;
}

bool IsControl(unsigned char c) { return (c < 0x20 && c != '\t') || c == 0x7F; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ScriptCheck check = CheckScriptText("in.ini", text);
    for (char c : check.Warning) Require(c == '\n' || !IsControl(static_cast<unsigned char>(c)));
    if (check.Report.empty()) return 0;
    std::vector<std::string> lines = Lines(check.Report);
    Require(lines.size() == 3 || lines.size() == 4);
    for (const std::string& line : lines)
        for (char c : line) Require(!IsControl(static_cast<unsigned char>(c)));
    const std::string& where = lines[0];
    Require(where.compare(0, 7, "in.ini:") == 0);
    size_t end = 0;
    const long line = std::stol(where.substr(7), &end);
    const long column = std::stol(where.substr(7 + end + 1));
    Require(line >= 1 && column >= 1);
    // The caret stands under the column: one blank or tab per byte before it
    // (more for a byte shown escaped), never past the end of the line shown.
    const std::string& caret = lines[2];
    Require(!caret.empty() && caret.back() == '^' && caret.size() <= lines[1].size() + 2);
    if (lines.size() == 4) Require(lines[3].compare(0, where.find(": ") + 2, where.substr(0, where.find(": ") + 2)) == 0);
    return 0;
}
