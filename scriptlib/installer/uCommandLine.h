#pragma once
// Splitting the process's command line into its items, the first of which
// names the executable itself, and reading the options of an installer
// whose brand asks for them.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scriptlib/installer/uOptions.h"

// Blanks and control characters (every byte up to 0x20) separate items;
// double quotes group text with blanks into one item and are removed, so
// "a b"c gives one item a bc. A pair of quotes with nothing inside still
// makes an (empty) item.
std::vector<std::string> SplitCommandLine(std::string_view line);

// The rules of the Windows C runtime, which package managers and scripts
// quote for: blanks and tabs separate items; quotes group and are removed;
// 2n backslashes before a quote give n backslashes and the quote groups,
// 2n+1 give n backslashes and a literal quote; "" inside quotes gives a
// literal quote; other backslashes are kept. The first item, the program,
// ends at the next quote when it starts with one, else at a blank.
std::vector<std::string> SplitWindowsCommandLine(std::string_view line);

// What follows the program in line, as it is, the blanks before it left
// out: the program ends as SplitWindowsCommandLine ends it. For starting
// the program again with the same arguments.
std::string_view ProgramArguments(std::string_view line);

// What a command line asks of the installer.
struct TInvocation {
    std::vector<TOption> Options;
    std::optional<std::string> Archive;  // the archive file named, if any
};

// Without options every item after the program may name the archive and
// the last one does. With options the line is split by the Windows rules,
// items beginning with / are options in their order, and the last other
// item names the archive.
TInvocation ParseInvocation(std::string_view line, bool withOptions);
