#pragma once
// The installer's own check of a control script, run by `q7pack check` and
// by every `q7pack create` before it writes anything: the lexical check and
// the checking pass over the whole text with the installer's complete table
// of constants and functions, so a script that q7pack accepts is one the
// installer will not refuse before its first event.

#include <cstdint>
#include <optional>
#include <string>

struct ScriptCheck {
    // The first error the installer would show: "PATH:LINE:COLUMN: message",
    // the offending line, a caret under the column, and a note line of
    // q7pack's own where it can say more. Empty when the script passes.
    std::string Report;
    // "PATH:LINE: warning: ..." for a script that looks saved as UTF-8,
    // which the installer would read as Windows-1250; empty otherwise.
    std::string Warning;
};

// Raises PackError when the file at path cannot be read. With a package
// code page the script is read as UTF-8 and checked as it will be stored.
ScriptCheck CheckScriptFile(const std::string& path, std::optional<uint32_t> codePage = std::nullopt);

// The bytes of setup.ini as the package stores them: as they are without a
// code page; with one, UTF-8 text (a byte-order mark dropped) in that code
// page. Raises PackError "PATH:LINE:COLUMN" for a byte that is not UTF-8 or
// a character the code page lacks, naming it.
std::string StoredScript(const std::string& path, const std::string& text, std::optional<uint32_t> codePage);

// The same check of text, reported as the file at path.
ScriptCheck CheckScriptText(const std::string& path, const std::string& text);
