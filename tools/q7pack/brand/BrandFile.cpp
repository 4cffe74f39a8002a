#include "tools/q7pack/brand/BrandFile.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>

#include "system/text/uCodePage.h"
#include "system/text/uUtf8.h"
#include "tools/q7pack/brand/BrandImages.h"
#include "tools/q7pack/common/Files.h"
#include "tools/q7pack/common/PackError.h"

namespace {

// Our limit for the title, which is one line of the pages' title bars.
constexpr size_t kMaxTitle = 255;
// LoadString reads into 4096 bytes: one byte per character in the ANSI
// code page and the closing NUL. Version texts take the same limit, which
// keeps every node of the version resource within its 16-bit length.
constexpr size_t kMaxText = 4095;
// The brand file, its icon and its banner are read whole; none of them
// comes near this.
constexpr uint64_t kMaxFileBytes = uint64_t{16} << 20;

// Whether a text may hold line breaks: the title, version texts and the
// manifest's description are one line each.
enum TLines : bool { kOneLine = false, kLines = true };

const char* const kLevels[] = {"asInvoker", "highestAvailable", "requireAdministrator"};

// Version keys of the brand and the names the version resource gives them.
const std::pair<const char*, const char*> kVersionKeys[] = {
    {"product-name", "ProductName"}, {"product-version", "ProductVersion"}, {"file-version", "FileVersion"},
    {"company", "CompanyName"},      {"description", "FileDescription"},    {"copyright", "LegalCopyright"},
};

// The shipped translations, built into q7pack from tools/q7pack/languages.
const std::pair<const char*, const char*> kShipped[] = {
#include "q7pack_languages.inc"
};

const std::string* ShippedLanguageText(const std::string& tag) {
    static const std::map<std::string, std::string> all(std::begin(kShipped), std::end(kShipped));
    auto found = all.find(tag);
    return found == all.end() ? nullptr : &found->second;
}

std::string ShippedTags() {
    std::string tags;
    for (const auto& [tag, text] : kShipped) tags += (tags.empty() ? "" : " ") + std::string(tag);
    return tags;
}

struct TMissing {
    size_t Position;
    uint32_t Character;
};

// The first character of text that codePage lacks.
std::optional<TMissing> MissingCharacter(const std::u16string& text, uint32_t codePage) {
    if (codePage == kUtf8CodePage) return std::nullopt;
    const std::array<uint32_t, 256>& bytes = CodePageBytes(codePage);
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] >= 0x80 && std::find(bytes.begin() + 0x80, bytes.end(), text[i]) == bytes.end())
            return TMissing{i, text[i]};
    return std::nullopt;
}

// Every text of a set with where it goes ("title", "text 211", "string 1").
std::vector<std::pair<std::string, std::u16string>> AllTexts(const TBrandTexts& t) {
    std::vector<std::pair<std::string, std::u16string>> all;
    if (t.Title) all.emplace_back("title", *t.Title);
    for (const auto& [id, text] : t.Texts) all.emplace_back("text " + std::to_string(id), text);
    for (const auto& [key, text] : t.PageTexts)
        all.emplace_back("text " + std::to_string(key >> 16) + "." + std::to_string(key & 0xFFFF), text);
    for (const auto& [id, text] : t.Strings) all.emplace_back("string " + std::to_string(id), text);
    return all;
}

// Texts of over replace those of into; a control's text for every page
// replaces that control's page-specific text too.
void Overlay(TBrandTexts& into, const TBrandTexts& over) {
    if (over.Title) into.Title = over.Title;
    for (const auto& [id, text] : over.Texts) {
        into.Texts[id] = text;
        for (auto it = into.PageTexts.begin(); it != into.PageTexts.end();)
            it = (it->first & 0xFFFF) == id ? into.PageTexts.erase(it) : std::next(it);
    }
    for (const auto& [key, text] : over.PageTexts) into.PageTexts[key] = text;
    for (const auto& [id, text] : over.Strings) into.Strings[id] = text;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    size_t e = s.find_last_not_of(" \t\r");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

class BrandReader {
public:
    BrandReader(std::string path, bool shipped) : path_(std::move(path)), shipped_(shipped) {}

    TBrand Read(const std::string& text);
    uint16_t LanguageId() const { return languageId_; }

private:
    [[noreturn]] void Fail(const std::string& message) const { FailAt(line_, message); }
    [[noreturn]] void FailAt(size_t line, const std::string& message) const {
        throw PackError(path_ + ":" + std::to_string(line), message);
    }
    bool LanguageKey(const std::string& key, const std::string& value);
    void TextEntry(TBrandTexts& into, const std::string& key, const std::string& value);
    void StringEntry(TBrandTexts& into, const std::string& key, const std::string& value);
    TBrandTexts& TextsOf(const std::string& section, const std::string& kind);
    void CheckCodePage() const;
    void ResolveLanguages();
    std::u16string Text(const std::string& value, size_t limit, TLines lines) const;
    std::u16string InstallerText(const std::string& value, size_t limit, TLines lines);
    uint32_t Number(const std::string& key) const;
    std::string File(const std::string& value) const;
    // Notes the file value names, so that no output replaces it.
    void Named(const std::string& value);
    void Entry(const std::string& section, const std::string& key, const std::string& value);
    void Version(const std::string& key, const std::string& value);
    void Numbers(const std::string& key, const std::string& value, uint16_t (&into)[4]) const;
    bool YesOrNo(const std::string& key, const std::string& value) const;

    std::string path_;
    bool shipped_;  // one of q7pack's own translations: [language] is allowed
    size_t line_ = 0;
    TBrand brand_;
    uint16_t languageId_ = 0;
    std::vector<std::string> tags_;                  // language/languages, in order
    std::map<std::string, TBrandTexts> byLanguage_;  // [texts.TAG], [strings.TAG]
    // Every installer text read, with its line, checked against the
    // package's code page once the whole file is read.
    std::vector<std::pair<size_t, std::u16string>> read_;
};

// A text of the brand in UTF-16: well-formed UTF-8 (escapes resolved by
// the caller), no control character but the line breaks that lines allows,
// at most limit UTF-16 units.
std::u16string BrandReader::Text(const std::string& value, size_t limit, TLines lines) const {
    std::optional<std::u16string> text = Utf8ToUtf16(value);
    if (!text) Fail("not valid UTF-8 text");
    for (size_t i = 0; i < text->size(); ++i) {
        char16_t c = (*text)[i];
        if ((c < 0x20 && !(lines && c == '\n')) || (c >= 0x7F && c < 0xA0)) {
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
            Fail(std::string("control character ") + code + " (text position " + std::to_string(i + 1) +
                 ") refused" + (lines ? "; a line break is written \\n" : ": this text is one line"));
        }
    }
    if (text->size() > limit)
        Fail("text of " + std::to_string(text->size()) + " characters; at most " + std::to_string(limit) +
             " are allowed here");
    return *text;
}

// A text the installer reads through the ANSI functions: its characters
// are checked against the package's code page when the file is read.
std::u16string BrandReader::InstallerText(const std::string& value, size_t limit, TLines lines) {
    std::u16string text = Text(value, limit, lines);
    read_.emplace_back(line_, text);
    return text;
}

void BrandReader::CheckCodePage() const {
    uint32_t codePage = brand_.CodePage.value_or(1250);
    for (const auto& [line, text] : read_)
        if (std::optional<TMissing> missing = MissingCharacter(text, codePage))
            FailAt(line, "character " + CharacterCode(missing->Character) + " (text position " +
                             std::to_string(missing->Position + 1) + ") does not exist in the installer's code page, " +
                             CodePageName(codePage) + (codePage == kUtf8CodePage ? "" : "; codepage = utf-8 holds every character"));
}

uint32_t BrandReader::Number(const std::string& key) const {
    if (key.empty() || key.size() > 5 || key.find_first_not_of("0123456789") != std::string::npos)
        Fail("'" + key + "' is not a number");
    return static_cast<uint32_t>(std::stoul(key));
}

void BrandReader::Named(const std::string& value) {
    brand_.Files.push_back((std::filesystem::path(path_).parent_path() / value).string());
}

std::string BrandReader::File(const std::string& value) const {
    std::string file = (std::filesystem::path(path_).parent_path() / value).string();
    if (value.empty()) Fail("cannot read a file without a name");
    try {
        return ReadInputFile(file, kMaxFileBytes);
    } catch (const PackError& e) {
        Fail("cannot read " + e.Subject() + ": " + e.what());
    }
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

// [installer] options and archive-files = yes | no.
bool BrandReader::YesOrNo(const std::string& key, const std::string& value) const {
    if (value != "yes" && value != "no") Fail(key + " is yes or no");
    return value == "yes";
}

void BrandReader::Version(const std::string& key, const std::string& value) {
    if (!brand_.Version) brand_.Version.emplace();
    for (const auto& [name, resourceName] : kVersionKeys) {
        if (key != name) continue;
        if (key == "file-version") Numbers(key, value, brand_.Version->FileVersion);
        if (key == "product-version") Numbers(key, value, brand_.Version->ProductVersion);
        brand_.Version->Strings[resourceName] = Text(value, kMaxText, kOneLine);
        return;
    }
    Fail("unknown key '" + key + "' in [version]");
}

// [installer] codepage, language and languages.
bool BrandReader::LanguageKey(const std::string& key, const std::string& value) {
    if (key == "codepage") {
        uint32_t codePage = value == "utf-8" || value == "UTF-8" ? kUtf8CodePage : 0;
        if (codePage == 0 && !value.empty() && value.size() <= 4 && value.find_first_not_of("0123456789") == std::string::npos)
            codePage = static_cast<uint32_t>(std::stoul(value));
        if (!IsPackageCodePage(codePage) || (codePage == kUtf8CodePage && value != "utf-8" && value != "UTF-8"))
            Fail("codepage is utf-8 or one of 874, 1250 to 1258");
        brand_.CodePage = codePage;
    } else if (key == "language" || key == "languages") {
        if (!tags_.empty()) Fail("give the installer's languages once, with language or languages");
        std::istringstream words(value);
        for (std::string tag; words >> tag;) {
            if (!ShippedLanguageText(tag)) Fail("no shipped language '" + tag + "'; the languages are " + ShippedTags());
            if (std::find(tags_.begin(), tags_.end(), tag) != tags_.end()) Fail("language '" + tag + "' given twice");
            tags_.push_back(tag);
        }
        if (tags_.empty() || (key == "language" && tags_.size() > 1))
            Fail(key == "language" ? "language takes one language, as de; languages takes several" : "languages is empty");
    } else {
        return false;
    }
    return true;
}

// [texts] and [strings], or their [texts.TAG] and [strings.TAG] for one language.
TBrandTexts& BrandReader::TextsOf(const std::string& section, const std::string& kind) {
    if (section == kind) return brand_;
    std::string tag = section.substr(kind.size() + 1);
    if (shipped_ || !ShippedLanguageText(tag)) Fail("no shipped language '" + tag + "'; the languages are " + ShippedTags());
    return byLanguage_[tag];
}

void BrandReader::TextEntry(TBrandTexts& into, const std::string& key, const std::string& value) {
    size_t dot = key.find('.');
    uint32_t id = Number(dot == std::string::npos ? key : key.substr(dot + 1));
    if (!IsBrandControl(id)) Fail("no page control " + std::to_string(id) + " takes a text from a brand");
    if (dot == std::string::npos) {
        into.Texts[id] = InstallerText(value, kMaxText, kLines);
        return;
    }
    uint32_t page = Number(key.substr(0, dot));
    if (page < kFirstPage || page > kLastPage)
        Fail("no page " + std::to_string(page) + "; the pages are " + std::to_string(kFirstPage) + " to " + std::to_string(kLastPage));
    into.PageTexts[page << 16 | id] = InstallerText(value, kMaxText, kLines);
}

void BrandReader::StringEntry(TBrandTexts& into, const std::string& key, const std::string& value) {
    uint32_t id = Number(key);
    if (!IsBrandString(id)) Fail("no string " + key + "; a brand sets strings 1 to 999 and 65488 to 65530");
    into.Strings[id] = InstallerText(value, kMaxText, kLines);
}

void BrandReader::Entry(const std::string& section, const std::string& key, const std::string& value) {
    auto in = [&](const char* kind) { return section == kind || section.rfind(std::string(kind) + ".", 0) == 0; };
    if (section == "installer") {
        if (LanguageKey(key, value)) return;
        if (key == "title")
            brand_.Title = InstallerText(value, kMaxTitle, kOneLine);
        else if (key == "footer")
            brand_.Footer = InstallerText(value, kMaxText, kLines);
        else if (key == "icon" && !shipped_) {
            brand_.Icon = CheckIcon(File(value), value);
            Named(value);
        } else if (key == "banner" && !shipped_) {
            brand_.Bitmap = BannerDib(File(value), value);
            Named(value);
        } else if (key == "options" && !shipped_) {
            brand_.Options = YesOrNo(key, value);
        } else if (key == "archive-files" && !shipped_) {
            brand_.ArchiveFiles = YesOrNo(key, value);
        } else
            Fail("unknown key '" + key + "' in [installer]");
    } else if (in("texts")) {
        TextEntry(TextsOf(section, "texts"), key, value);
    } else if (in("strings")) {
        StringEntry(TextsOf(section, "strings"), key, value);
    } else if (section == "language" && shipped_) {
        if (key == "id" && value.size() == 6 && value.compare(0, 2, "0x") == 0)
            languageId_ = static_cast<uint16_t>(std::stoul(value.substr(2), nullptr, 16));
        else if (key != "name")
            Fail("[language] takes id = 0xNNNN and name");
    } else if (section == "version" && !shipped_) {
        Version(key, value);
    } else if (section == "manifest" && !shipped_) {
        if (key == "description") {
            Text(value, kMaxText, kOneLine);
            brand_.ManifestDescription = value;
        } else if (key == "execution-level") {
            bool known = false;
            for (const char* level : kLevels) known = known || value == level;
            if (!known) Fail("execution-level is asInvoker, highestAvailable or requireAdministrator");
            brand_.ExecutionLevel = value;
        } else {
            Fail("unknown key '" + key + "' in [manifest]");
        }
    } else {
        Fail(
            "key outside a known section; the sections are [installer], [texts], [strings], [version], "
            "[manifest], and [texts.TAG] and [strings.TAG] for one language");
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

TBrand BrandReader::Read(const std::string& file) {
    std::istringstream in(file);
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
    if (!shipped_) CheckCodePage();  // a translation is checked for the package it goes into
    ResolveLanguages();
    return brand_;
}

// Each language: the shipped translation, the brand's common texts over it,
// then the brand's texts of that language.
void BrandReader::ResolveLanguages() {
    for (const auto& [tag, texts] : byLanguage_)
        if (std::find(tags_.begin(), tags_.end(), tag) == tags_.end()) tags_.push_back(tag);
    uint32_t codePage = brand_.CodePage.value_or(1250);
    for (const std::string& tag : tags_) {
        TBrandLanguage language = ReadLanguageText(tag, *ShippedLanguageText(tag));
        for (const auto& [where, text] : AllTexts(language.Texts))
            if (std::optional<TMissing> missing = MissingCharacter(text, codePage))
                throw PackError(path_, "language '" + tag + "' needs " + CharacterCode(missing->Character) + " (in " +
                                           where + "), which " + CodePageName(codePage) +
                                           " lacks: choose codepage = utf-8");
        Overlay(language.Texts, brand_);
        Overlay(language.Texts, byLanguage_[tag]);
        brand_.Languages.push_back(std::move(language));
    }
}

}  // namespace

bool IsBrandControl(uint32_t id) {
    return (id >= 211 && id <= 213) || id == 220 || id == 222 || id == 232 || (id >= 241 && id <= 243) ||
           id == 251 || id == 253 || (id >= 261 && id <= 269) || (id >= 271 && id <= 273) ||
           (id >= 280 && id <= 283) || id == 290 || id == 291;
}

bool IsBrandString(uint32_t id) { return (id >= 1 && id <= 999) || (id >= 65488 && id <= 65530); }

TBrand ReadBrandFile(const std::string& path) { return ParseBrand(ReadInputFile(path, kMaxFileBytes), path); }

TBrand ParseBrand(const std::string& text, const std::string& path) { return BrandReader(path, false).Read(text); }

TBrandLanguage ReadLanguageText(const std::string& name, const std::string& text) {
    BrandReader reader("q7pack languages/" + name + ".ini", true);
    TBrand read = reader.Read(text);
    return {name, reader.LanguageId(), read};
}
