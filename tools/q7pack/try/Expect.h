#pragma once
// q7pack try --expect: the output of a run (transcript and change report)
// compared line by line with a saved one, which may leave out what varies
// from build to build.

#include <optional>
#include <string>

// Where output departs from expected, for the message "line N of the saved
// output (CONTEXT): expected ..., got ...", or std::nullopt when it does
// not. In expected, "{*}" stands for any text within a line (a size that
// changes with every build), and a line that is only "{...}" for any lines
// up to the first line that matches the line after it. The context is the
// last "@ action" or "== ..." line before the difference.
struct TDifference {
    size_t Line = 0;  // of expected, from 1
    std::string Context, Expected, Got;
};
std::optional<TDifference> CompareOutput(const std::string& expected, const std::string& output);

// The difference as the message q7pack prints.
std::string ShowDifference(const TDifference& difference);
