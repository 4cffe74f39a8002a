#pragma once
// The command line's options as the script reads them (HasOption,
// GetOption): /NAME or /NAME=VALUE, in the order given.

#include <string>
#include <string_view>
#include <vector>

struct TOption {
    std::string Name;
    std::string Value;
};

// The last option of that name (ASCII case-insensitive; a leading / of name
// is ignored); null when none was given.
const TOption* FindOption(const std::vector<TOption>& options, std::string_view name);
