#pragma once
// The installer's own check of a control script, run by `q7pack check` and
// by every `q7pack create` before it writes anything: the lexical check and
// the checking pass over the whole text with the installer's complete table
// of constants and functions, so a script that q7pack accepts is one the
// installer will not refuse before its first event.

#include <string>

// The report of the first error the installer would show for the script in
// the file at path: "PATH:LINE:COLUMN: message", the offending line and a
// caret under the column. Empty when the script passes. Raises PackError
// when the file cannot be read.
std::string CheckScriptFile(const std::string& path);
