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
#include <vector>

// The installer's pages are the dialogs of these ids: a brand's page texts
// name them, and branding dresses each of them.
constexpr uint32_t kFirstPage = 101, kLastPage = 107;

struct TBrandVersion {
    std::map<std::string, std::u16string>
        Strings;  // ProductName, FileVersion, ... as the version resource names them
    uint16_t FileVersion[4] = {};
    uint16_t ProductVersion[4] = {};
};

// The texts of the pages and the string table, of one language or of all.
struct TBrandTexts {
    std::optional<std::u16string> Title;
    std::map<uint32_t, std::u16string> Texts;  // control id -> text, every page
    std::map<uint32_t, std::u16string>
        PageTexts;  // page * 65536 + control id -> text, the first such control of that page
    std::map<uint32_t, std::u16string> Strings;  // string-table id -> text
};

// One language of the installer's resources: its Windows language id and
// its texts, the shipped translation with the brand's texts over it.
struct TBrandLanguage {
    std::string Tag;  // "de", "pt-BR"
    uint16_t Id = 0;  // 0x0407
    TBrandTexts Texts;
};

struct TBrand : TBrandTexts {
    std::optional<std::u16string> Footer;
    std::string Icon;                            // .ico file contents, checked
    std::string Bitmap;                          // packed DIB (a .bmp without its file header), checked
    std::optional<TBrandVersion> Version;
    std::optional<std::string> ManifestDescription;  // UTF-8
    std::optional<std::string> ExecutionLevel;
    // The package's code page (codepage key): 65001 or 874, 1250 to 1258;
    // none keeps today's way (a Windows-1250 stub, the script's own bytes).
    std::optional<uint32_t> CodePage;
    // The languages of language/languages and [texts.TAG]/[strings.TAG],
    // resolved; empty keeps the stub's own pages and string table.
    std::vector<TBrandLanguage> Languages;
    std::vector<std::string> Files;  // the icon and banner files it names
    // [installer] options: whether arguments beginning with / are options
    // for the script; unset leaves the stub as it is.
    std::optional<bool> Options;
    // [installer] archive-files: whether the installer runs an archive file
    // named on its command line. A branded installer carries the vendor's
    // name (and signature), so by default it runs only its own archive.
    bool ArchiveFiles = false;
};

// Reads and checks the brand file at path, a regular file of at most 16 MiB
// (as are its icon and banner, whose paths are relative to its folder).
// Raises PackError naming the file and line.
TBrand ReadBrandFile(const std::string& path);
// The same for text already read from path.
TBrand ParseBrand(const std::string& text, const std::string& path);

// Reads and checks one shipped translation (tools/q7pack/languages/TAG.ini,
// built into q7pack), or one given as its text; name names it in errors.
TBrandLanguage ReadLanguageText(const std::string& name, const std::string& text);

// The control ids of the pages whose texts a brand may set, and the
// string-table ids, for the checks and the help.
bool IsBrandControl(uint32_t id);
bool IsBrandString(uint32_t id);
