#pragma once
// Splitting the process's command line into its items, the first of which
// names the executable itself.

#include <string>
#include <string_view>
#include <vector>

// Blanks and control characters (every byte up to 0x20) separate items;
// double quotes group text with blanks into one item and are removed, so
// "a b"c gives one item a bc. A pair of quotes with nothing inside still
// makes an (empty) item.
std::vector<std::string> SplitCommandLine(std::string_view line);
