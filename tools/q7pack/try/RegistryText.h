#pragma once
// Wine's registry files (system.reg, user.reg, userdef.reg in a prefix) read
// as the text they are: every key with its values, so that q7pack try can
// compare the registry before and after an installation without asking
// Wine. The files come from a prefix an installer ran in: nothing in them
// is trusted, and text that is not in their form is refused with its line.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// A value as Windows keeps it: its type (REG_SZ = 1, REG_DWORD = 4, ...) and
// its bytes, strings as UTF-16LE with their terminating NUL.
struct TRegValue {
    uint32_t Type = 0;
    std::string Data;
    bool operator==(const TRegValue& other) const { return Type == other.Type && Data == other.Data; }
    bool operator!=(const TRegValue& other) const { return !(*this == other); }
};

// Orders paths folder by folder (key by key): '\' before every other
// character, so what lies below a folder follows it directly ("A\x" before
// "A b").
struct TPathLess {
    bool operator()(const std::string& a, const std::string& b) const;
};

using TRegValues = std::map<std::string, TRegValue>;             // by name (UTF-8), "" the default value
using TRegistry = std::map<std::string, TRegValues, TPathLess>;  // by path: root, '\', the key's path (UTF-8)

// Adds the keys of text, one registry file, to registry, each path behind
// root (such as "HKLM"). Raises PackError about file ("LINE: what") for a
// line that is not in the file's form.
void ReadRegistryText(const std::string& text, const std::string& root, const std::string& file,
                      TRegistry& registry);

// The texts of a string value (REG_SZ, REG_EXPAND_SZ: one; REG_MULTI_SZ:
// its list, without the empty one that ends it) as UTF-8; none for
// another type.
std::vector<std::string> RegTexts(const TRegValue& value);

// Registry types the report shows by name.
enum : uint32_t {
    kRegSz = 1,
    kRegExpandSz = 2,
    kRegBinary = 3,
    kRegDword = 4,
    kRegMultiSz = 7,
    kRegQword = 11
};
