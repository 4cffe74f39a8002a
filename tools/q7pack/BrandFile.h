#pragma once
// A brand file: what makes the installer stub one application's own (its
// title, texts, icon, banner, version information and manifest). UTF-8,
// "[section]" headers and "key = value" lines; docs/packaging.md describes
// every key. Reading checks everything that can be checked without the
// stub, so a bad brand is refused before anything is written.

#include <cstdint>
#include <map>
#include <optional>
#include <string>

struct TBrandVersion {
    std::map<std::string, std::u16string>
        strings;  // ProductName, FileVersion, ... as the version resource names them
    uint16_t fileVersion[4] = {};
    uint16_t productVersion[4] = {};
};

struct TBrand {
    std::optional<std::u16string> title;
    std::optional<std::u16string> footer;
    std::map<uint32_t, std::u16string> texts;  // control id -> text, every page
    std::map<uint32_t, std::u16string>
        pageTexts;  // page * 65536 + control id -> text, the first such control of that page
    std::map<uint32_t, std::u16string> strings;  // string-table id -> text
    std::string icon;                            // .ico file contents, checked
    std::string bitmap;                          // packed DIB (a .bmp without its file header), checked
    std::optional<TBrandVersion> version;
    std::optional<std::string> manifestDescription;  // UTF-8
    std::optional<std::string> executionLevel;
    // [installer] options: whether arguments beginning with / are options
    // for the script; unset leaves the stub as it is.
    std::optional<bool> options;
};

// Reads and checks the brand file at path; icon and banner paths are
// relative to its folder. Raises PackError naming the file and line.
TBrand ReadBrandFile(const std::string& path);

// The control ids of the pages whose texts a brand may set, and the
// string-table ids, for the checks and the help.
bool IsBrandControl(uint32_t id);
bool IsBrandString(uint32_t id);
