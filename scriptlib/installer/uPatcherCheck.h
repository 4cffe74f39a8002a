#pragma once
// The installer's own check of a control script without running it: the
// lexical check and the checking pass over the text, with the installer's
// complete table of constants and functions. Portable, so that q7pack runs
// the very check the installer runs before its first event.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct TScriptProblem {
    int32_t Line = 0;     // from 1
    int32_t Column = 0;   // from 1, in bytes
    std::string Message;  // the installer's own text
    // What the installer does not say: the function and the argument counts
    // it takes for a wrong count, the registered name that differs only in
    // case for an unknown function. Empty when there is nothing to add.
    std::string Note;
};

// The first error the installer would report before running anything;
// nothing when the script passes.
std::optional<TScriptProblem> CheckPatcherScript(std::string_view text);

// "FILE:LINE:COLUMN: message", then the offending line and a caret under
// the column, then "FILE:LINE:COLUMN: note: ..." when there is a note, each
// line ended by '\n'.
std::string FormatScriptProblem(const std::string& file, std::string_view text,
                                const TScriptProblem& problem);
