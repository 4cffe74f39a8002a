#include "tools/q7pack/BrandFile.h"

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "system/uCodePage1250.h"
#include "tools/q7pack/BrandImages.h"
#include "tools/q7pack/PackError.h"

namespace {

// Our limit for the title, which is one line of the pages' title bars.
constexpr size_t kMaxTitle = 255;
// LoadString reads into 4096 bytes: one byte per character in the ANSI
// code page and the closing NUL.
constexpr size_t kMaxText = 4095;

const char* const kLevels[] = {"asInvoker", "highestAvailable", "requireAdministrator"};

// Version keys of the brand and the names the version resource gives them.
const std::pair<const char*, const char*> kVersionKeys[] = {
    {"product-name", "ProductName"}, {"product-version", "ProductVersion"}, {"file-version", "FileVersion"},
    {"company", "CompanyName"},      {"description", "FileDescription"},    {"copyright", "LegalCopyright"},
};

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    size_t e = s.find_last_not_of(" \t\r");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

class BrandReader {
public:
    explicit BrandReader(std::string path) : path_(std::move(path)) {}

    TBrand Read();

private:
    [[noreturn]] void Fail(const std::string& message) const {
        throw PackError(path_ + ":" + std::to_string(line_), message);
    }
    std::u16string Utf16(const std::string& utf8) const;
    std::u16string InstallerText(const std::string& value, size_t limit) const;
    uint32_t Number(const std::string& key) const;
    std::string File(const std::string& value) const;
    void Entry(const std::string& section, const std::string& key, const std::string& value);
    void Version(const std::string& key, const std::string& value);
    void Numbers(const std::string& key, const std::string& value, uint16_t (&into)[4]) const;

    std::string path_;
    size_t line_ = 0;
    TBrand brand_;
};

// UTF-8 to UTF-16, with \n and \\ escapes already resolved by the caller.
std::u16string BrandReader::Utf16(const std::string& utf8) const {
    std::u16string out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0 || static_cast<size_t>(extra) > utf8.size() - i - 1) Fail("not valid UTF-8 text");
        uint32_t cp = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            unsigned char t = static_cast<unsigned char>(utf8[i + k]);
            if ((t >> 6) != 2) Fail("not valid UTF-8 text");
            cp = cp << 6 | (t & 0x3F);
        }
        i += extra + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

// A text the installer reads through the ANSI functions of a Windows-1250
// system: every character must exist in that code page.
std::u16string BrandReader::InstallerText(const std::string& value, size_t limit) const {
    std::u16string text = Utf16(value);
    for (size_t i = 0; i < text.size(); ++i) {
        bool found = false;
        for (int b = 1; b < 256 && !found; ++b)
            found = Cp1250ToUnicode(static_cast<unsigned char>(b)) == text[i];
        if (!found) {
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(text[i]));
            Fail(std::string("character ") + code + " (text position " + std::to_string(i + 1) +
                 ") does not exist in the installer's code page, Windows-1250");
        }
    }
    if (text.size() > limit)
        Fail("text of " + std::to_string(text.size()) + " characters; at most " + std::to_string(limit) +
             " are allowed here");
    return text;
}

uint32_t BrandReader::Number(const std::string& key) const {
    if (key.empty() || key.size() > 5 || key.find_first_not_of("0123456789") != std::string::npos)
        Fail("'" + key + "' is not a number");
    return static_cast<uint32_t>(std::stoul(key));
}

std::string BrandReader::File(const std::string& value) const {
    std::filesystem::path file = std::filesystem::path(path_).parent_path() / value;
    std::ifstream in(file, std::ios::binary);
    if (value.empty() || !in) Fail("cannot read " + file.string());
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void BrandReader::Numbers(const std::string& key, const std::string& value, uint16_t (&into)[4]) const {
    std::istringstream parts(value);
    std::string part;
    int n = 0;
    while (std::getline(parts, part, '.')) {
        if (n == 4 || part.empty() || part.size() > 5 ||
            part.find_first_not_of("0123456789") != std::string::npos || std::stoul(part) > 65535)
            Fail(key + " must be one to four numbers from 0 to 65535 separated by dots, as 1.2.0.0");
        into[n++] = static_cast<uint16_t>(std::stoul(part));
    }
    if (n == 0) Fail(key + " must not be empty");
}

void BrandReader::Version(const std::string& key, const std::string& value) {
    if (!brand_.version) brand_.version.emplace();
    for (const auto& [name, resourceName] : kVersionKeys) {
        if (key != name) continue;
        if (key == "file-version") Numbers(key, value, brand_.version->fileVersion);
        if (key == "product-version") Numbers(key, value, brand_.version->productVersion);
        brand_.version->strings[resourceName] = Utf16(value);
        return;
    }
    Fail("unknown key '" + key + "' in [version]");
}

void BrandReader::Entry(const std::string& section, const std::string& key, const std::string& value) {
    if (section == "installer") {
        if (key == "title")
            brand_.title = InstallerText(value, kMaxTitle);
        else if (key == "footer")
            brand_.footer = InstallerText(value, kMaxText);
        else if (key == "icon")
            brand_.icon = CheckIcon(File(value), value);
        else if (key == "banner")
            brand_.bitmap = BannerDib(File(value), value);
        else
            Fail("unknown key '" + key + "' in [installer]");
    } else if (section == "texts") {
        size_t dot = key.find('.');
        uint32_t id = Number(dot == std::string::npos ? key : key.substr(dot + 1));
        if (!IsBrandControl(id)) Fail("no page control " + std::to_string(id) + " takes a text from a brand");
        if (dot == std::string::npos) {
            brand_.texts[id] = InstallerText(value, kMaxText);
            return;
        }
        uint32_t page = Number(key.substr(0, dot));
        if (page < 101 || page > 105) Fail("no page " + std::to_string(page) + "; the pages are 101 to 105");
        brand_.pageTexts[page << 16 | id] = InstallerText(value, kMaxText);
    } else if (section == "strings") {
        uint32_t id = Number(key);
        if (!IsBrandString(id)) Fail("no string " + key + "; a brand sets strings 1 to 6 and 65488 to 65530");
        brand_.strings[id] = InstallerText(value, kMaxText);
    } else if (section == "version") {
        Version(key, value);
    } else if (section == "manifest") {
        if (key == "description") {
            Utf16(value);
            brand_.manifestDescription = value;
        } else if (key == "execution-level") {
            bool known = false;
            for (const char* level : kLevels) known = known || value == level;
            if (!known) Fail("execution-level is asInvoker, highestAvailable or requireAdministrator");
            brand_.executionLevel = value;
        } else {
            Fail("unknown key '" + key + "' in [manifest]");
        }
    } else {
        Fail(
            "key outside a known section; the sections are [installer], [texts], [strings], [version] and "
            "[manifest]");
    }
}

// Resolves \n (a line break) and \\ in a value.
std::string Unescape(const std::string& value, std::string& error) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\') {
            out += value[i];
        } else if (i + 1 < value.size() && (value[i + 1] == 'n' || value[i + 1] == '\\')) {
            out += value[++i] == 'n' ? '\n' : '\\';
        } else {
            error = "a backslash starts \\n (line break) or \\\\ (a backslash), nothing else";
            return {};
        }
    }
    return out;
}

TBrand BrandReader::Read() {
    std::ifstream in(path_, std::ios::binary);
    if (!in) throw PackError(path_, "cannot open the brand file");
    std::string text, section;
    std::set<std::string> seen;
    while (std::getline(in, text)) {
        ++line_;
        if (line_ == 1 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
        std::string line = Trim(text);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line[0] == '[') {
            if (line.back() != ']') Fail("a section header ends with ]");
            section = Trim(line.substr(1, line.size() - 2));
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos) Fail("expected key = value");
        std::string key = Trim(line.substr(0, eq)), error;
        std::string value = Trim(line.substr(eq + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        value = Unescape(value, error);
        if (!error.empty()) Fail(error);
        if (!seen.insert(section + "/" + key).second) Fail("'" + key + "' given twice in [" + section + "]");
        Entry(section, key, value);
    }
    return brand_;
}

}  // namespace

bool IsBrandControl(uint32_t id) {
    return (id >= 211 && id <= 213) || id == 220 || id == 222 || id == 232 || (id >= 241 && id <= 243) ||
           id == 251 || id == 253 || (id >= 280 && id <= 283);
}

bool IsBrandString(uint32_t id) { return (id >= 1 && id <= 6) || (id >= 65488 && id <= 65530); }

TBrand ReadBrandFile(const std::string& path) { return BrandReader(path).Read(); }
