#include "scriptlib/installer/uOptions.h"

#include "system/uSystem.h"

const TOption* FindOption(const std::vector<TOption>& options, std::string_view name) {
    if (!name.empty() && name[0] == '/') name.remove_prefix(1);
    std::string wanted = AsciiLower(name);
    const TOption* found = nullptr;
    for (const TOption& option : options)
        if (AsciiLower(option.Name) == wanted) found = &option;
    return found;
}
