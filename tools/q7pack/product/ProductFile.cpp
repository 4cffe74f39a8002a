// Reading the product file: the sections that describe the product are
// read here; every other line belongs to the brand and is left in place
// (the product's lines blanked), so the brand reader reports its faults at
// the product file's own line numbers.

#include <algorithm>
#include <cstdint>
#include <set>
#include <sstream>

#include "tools/q7pack/brand/BrandFile.h"
#include "tools/q7pack/common/Files.h"
#include "tools/q7pack/common/Names.h"
#include "tools/q7pack/common/PackError.h"
#include "tools/q7pack/product/Product.h"

namespace {

// The choices page has eight check boxes.
constexpr size_t kMaxComponents = 8;
constexpr size_t kMaxPrefixes = 50;  // strings 150 to 199
constexpr size_t kMaxFileTypes = 8;  // strings 200 to 207 and 210 to 217

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    size_t e = s.find_last_not_of(" \t\r");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

bool IsProductSection(const std::string& section) {
    return section == "product" || section == "tasks" || section == "run-before" || section.rfind("component ", 0) == 0 ||
           section.rfind("file-type ", 0) == 0;
}

class ProductReader {
public:
    explicit ProductReader(const std::string& path) { product_.path = path; }
    TProduct Read(const std::string& text);

private:
    [[noreturn]] void Fail(const std::string& message) const {
        throw PackError(product_.path + ":" + std::to_string(line_), message);
    }
    void Entry(const std::string& section, const std::string& key, const std::string& value);
    void ProductKey(const std::string& key, const std::string& value);
    void TaskKey(const std::string& key, const std::string& value);
    void ComponentKey(const std::string& key, const std::string& value);
    void FileTypeKey(const std::string& key, const std::string& value);
    void RunBeforeKey(const std::string& key, const std::string& value);
    void Header(const std::string& section);
    bool YesOrNo(const std::string& key, const std::string& value) const;
    std::string StoredName(const std::string& key, const std::string& value) const;
    void Finish();

    TProduct product_;
    size_t line_ = 0;
    std::set<std::string> seen_;
};

bool ProductReader::YesOrNo(const std::string& key, const std::string& value) const {
    if (value != "yes" && value != "no") Fail(key + " is yes or no");
    return value == "yes";
}

// A stored name as the installer writes it: '/' taken as '\'.
std::string ProductReader::StoredName(const std::string& key, const std::string& value) const {
    std::string name = value;
    std::replace(name.begin(), name.end(), '/', '\\');
    while (!name.empty() && name.back() == '\\') name.pop_back();
    if (name.empty() || name.front() == '\\' || name.find(':') != std::string::npos ||
        name.find("..") != std::string::npos)
        Fail(key + " names a stored entry or folder below the installation folder, not '" + value + "'");
    return name;
}

void ProductReader::ProductKey(const std::string& key, const std::string& value) {
    TProduct& p = product_;
    if (key == "name") p.name = value;
    else if (key == "version") p.version = value;
    else if (key == "publisher") p.publisher = value;
    else if (key == "description") p.description = value;
    else if (key == "program") { p.program = StoredName(key, value); p.programLine = line_; }
    else if (key == "license") { p.license = StoredName(key, value); p.licenseLine = line_; }
    else if (key == "readme") { p.readme = StoredName(key, value); p.readmeLine = line_; }
    else if (key == "run-after") p.runAfter = YesOrNo(key, value);
    else if (key == "winget-id") p.wingetId = value;
    else if (key == "license-name") p.licenseName = value;
    else if (key == "bits") {
        if (value != "32" && value != "64") Fail("bits is 32 or 64: the program's, which decides its folder and registry view");
        p.bits64 = value == "64";
    }
    else if (key == "id" || key == "folder") {
        // Both become one name: a registry key below Uninstall, a folder.
        if (value.empty() || value.find_first_of("\\/:*?\"<>|") != std::string::npos || value.back() == '.')
            Fail(key + " is one name without \\ / : * ? \" < > | and not ending in a dot");
        (key == "id" ? p.id : p.folder) = value;
    } else if (key == "scope") {
        if (value != "machine" && value != "user" && value != "choice")
            Fail("scope is machine (Program Files, every user), user (the user's own folders) or choice");
        p.perUser = value == "user";
        p.scopeChoice = value == "choice";
    } else {
        Fail("unknown key '" + key + "' in [product]; it takes name, version, publisher, program, id, folder, "
             "description, scope, bits, license, license-name, readme, run-after and winget-id");
    }
}

void ProductReader::TaskKey(const std::string& key, const std::string& value) {
    if (key == "start-menu") {
        product_.startMenu = YesOrNo(key, value);
    } else if (key == "desktop" || key == "path") {
        if (value != "yes" && value != "no" && value != "ask")
            Fail(key + " is yes, no or ask (a check box on the tasks page)");
        (key == "desktop" ? product_.desktop : product_.addPath) =
            value == "yes" ? TProduct::kYes : value == "ask" ? TProduct::kAsk : TProduct::kNo;
    } else {
        Fail("unknown key '" + key + "' in [tasks]; it takes start-menu, desktop and path");
    }
}

void ProductReader::ComponentKey(const std::string& key, const std::string& value) {
    TProductComponent& c = product_.components.back();
    if (key == "name") {
        c.name = value;
    } else if (key == "description") {
        c.description = value;
    } else if (key == "selected") {
        c.selected = YesOrNo(key, value);
    } else if (key == "files") {
        std::istringstream parts(value);
        for (std::string part; std::getline(parts, part, ';');)
            if (!Trim(part).empty()) c.prefixes.push_back(StoredName(key, Trim(part)));
        if (c.prefixes.empty()) Fail("files names stored entries or folders, separated by ;");
        c.filesLine = line_;
    } else {
        Fail("unknown key '" + key + "' in [component " + c.id + "]; it takes name, description, files and selected");
    }
}

void ProductReader::FileTypeKey(const std::string& key, const std::string& value) {
    if (key != "description") Fail("unknown key '" + key + "' in [file-type]; it takes description");
    product_.fileTypes.back().description = value;
}

// An exit code as ExecuteWait answers it: a 32-bit signed number.
bool IsExitCode(const std::string& text) {
    size_t digits = text.size() - (text[0] == '-');
    if (digits == 0 || digits > 10 || text.find_first_not_of("0123456789", text[0] == '-') != std::string::npos)
        return false;
    long long n = std::stoll(text);
    return n >= INT32_MIN && n <= INT32_MAX;
}

void ProductReader::RunBeforeKey(const std::string& key, const std::string& value) {
    TProductRunBefore& r = product_.runBefore;
    if (key == "program") {
        r.program = StoredName(key, value);
        r.programLine = line_;
    } else if (key == "arguments") {
        r.arguments = value;
    } else if (key == "success") {
        r.success.clear();
        std::istringstream codes(value);
        for (std::string code; codes >> code;) {
            if (!IsExitCode(code)) Fail("success lists exit codes separated by blanks, such as 0 3010 1638, not '" + code + "'");
            r.success.push_back(code);
        }
        if (r.success.empty()) Fail("success lists the exit codes that mean it worked, such as 0 3010");
    } else {
        Fail("unknown key '" + key + "' in [run-before]; it takes program, arguments and success");
    }
}

void ProductReader::Header(const std::string& section) {
    if (section == "run-before") {
        if (product_.runBefore.line) Fail("[run-before] given twice: one program runs before installing");
        product_.runBefore.line = line_;
        return;
    }
    if (section.rfind("file-type ", 0) == 0) {
        std::string extension = Trim(section.substr(10));
        if (extension.size() < 2 || extension[0] != '.' ||
            extension.find_first_of(" \\/:*?\"<>|", 1) != std::string::npos)
            Fail("a file type is its extension: [file-type .kmap]");
        for (const TProductFileType& type : product_.fileTypes)
            if (type.extension == extension) Fail("file type '" + extension + "' given twice");
        product_.fileTypes.push_back({extension, "", line_});
        return;
    }
    if (section.rfind("component ", 0) != 0) return;
    std::string id = Trim(section.substr(10));
    if (id.empty() || id.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_") !=
                          std::string::npos)
        Fail("a component's id is letters, digits, - and _: [component samples]");
    for (const TProductComponent& c : product_.components)
        if (c.id == id) Fail("component '" + id + "' given twice");
    if (product_.components.size() == kMaxComponents)
        Fail("at most " + std::to_string(kMaxComponents) + " components: the choices page has eight boxes");
    product_.components.push_back({id, "", "", {}, true, line_, 0});
}

void ProductReader::Entry(const std::string& section, const std::string& key, const std::string& value) {
    if (!seen_.insert(section + "/" + key).second) Fail("'" + key + "' given twice in [" + section + "]");
    if (section == "product") ProductKey(key, value);
    else if (section == "tasks") TaskKey(key, value);
    else if (section.rfind("file-type ", 0) == 0) FileTypeKey(key, value);
    else if (section == "run-before") RunBeforeKey(key, value);
    else ComponentKey(key, value);
}

// The product's defaults and what must be there.
void ProductReader::Finish() {
    TProduct& p = product_;
    line_ = 0;
    for (const char* key : {"name", "version", "publisher", "program"})
        if (!seen_.count(std::string("product/") + key))
            throw PackError(p.path, std::string("[product] needs ") + key + " (name, version, publisher, program)");
    if (p.id.empty()) p.id = p.name;
    if (p.folder.empty()) p.folder = p.name;
    if (p.id.find_first_of("\\/") != std::string::npos || p.folder.find_first_of("\\/:*?\"<>|") != std::string::npos)
        throw PackError(p.path, "the name becomes the id and folder and has a \\ / : * ? \" < > |: set id and folder");
    if (p.description.empty()) p.description = p.name;
    size_t prefixes = 0;
    for (const TProductComponent& c : p.components) {
        line_ = c.line;
        if (c.name.empty() || c.prefixes.empty()) Fail("[component " + c.id + "] needs name and files");
        prefixes += c.prefixes.size();
    }
    if (prefixes > kMaxPrefixes) Fail("the components name more than 50 entries or folders in all");
    for (const TProductFileType& type : p.fileTypes) {
        line_ = type.line;
        if (type.description.empty()) Fail("[file-type " + type.extension + "] needs description");
    }
    if (p.fileTypes.size() > kMaxFileTypes) Fail("at most 8 file types");
    line_ = p.runBefore.line;
    if (line_ && p.runBefore.program.empty()) Fail("[run-before] needs program: the stored installer to run");
    line_ = p.runBefore.programLine;
    if (line_ && NameKey(p.runBefore.program) == NameKey(p.program))
        Fail("the program to run before installing is removed after it ran: it cannot be the product's program");
}

TProduct ProductReader::Read(const std::string& text) {
    std::istringstream in(text);
    std::string raw, section;
    std::ostringstream brand;
    while (std::getline(in, raw)) {
        ++line_;
        std::string line = Trim(line_ == 1 && raw.compare(0, 3, "\xEF\xBB\xBF") == 0 ? raw.substr(3) : raw);
        if (!line.empty() && line[0] == '[' && line.back() == ']') {
            section = Trim(line.substr(1, line.size() - 2));
            if (IsProductSection(section)) Header(section);
        }
        bool ours = IsProductSection(section);
        brand << (ours ? "" : raw) << '\n';
        if (!ours || line.empty() || line[0] == '#' || line[0] == ';' || line[0] == '[') continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos) Fail("expected key = value");
        std::string value = Trim(line.substr(eq + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        Entry(section, Trim(line.substr(0, eq)), value);
    }
    product_.brandText = brand.str();
    Finish();
    // Its faults at their lines. Without a codepage key the generated brand
    // chooses the languages' own code page (1252 for French), which this
    // check cannot know yet: utf-8 lets every shipped language through, and
    // the generated brand is checked again with its code page when packed.
    bool setsCodePage = false;
    std::istringstream lines(product_.brandText);
    for (std::string line; std::getline(lines, line);)
        setsCodePage = setsCodePage || Trim(line).rfind("codepage", 0) == 0;
    TBrand brandPart = ParseBrand(product_.brandText + (setsCodePage ? "" : "\n[installer]\ncodepage = utf-8\n"),
                                  product_.path);
    for (const TBrandLanguage& language : brandPart.Languages) product_.languages.push_back(language.Tag);
    return product_;
}

// Whether the stored name is the prefix or lies below the folder prefix;
// prefixKey is the prefix's NameKey in the package's code page.
bool StoredUnder(const std::string& name, const std::string& prefixKey, bool folder) {
    std::string a = NameKey(name);
    const std::string& b = prefixKey;
    return a == b || (folder && a.size() > b.size() && a.compare(0, b.size(), b) == 0 && a[b.size()] == '\\');
}

}  // namespace

TProduct ParseProduct(const std::string& text, const std::string& path) { return ProductReader(path).Read(text); }

TProduct ReadProductFile(const std::string& path) { return ParseProduct(ReadInputFile(path, 1 << 20), path); }

void CheckProductPayload(const TProduct& product, const std::vector<PackInput>& inputs) {
    auto stored = [&](const std::string& prefix, bool folder) {
        // The product file's UTF-8, converted once to the stored names' form.
        std::string key = NameKey(StoredName(prefix, product.path));
        for (const PackInput& input : inputs)
            if (StoredUnder(input.Name, key, folder)) return true;
        return false;
    };
    auto require = [&](const std::string& name, size_t line, const std::string& what) {
        if (!name.empty() && !stored(name, false))
            throw PackError(product.path + ":" + std::to_string(line),
                            what + " '" + name + "' is not among the stored entries");
    };
    require(product.program, product.programLine, "the program");
    require(product.license, product.licenseLine, "the license");
    require(product.readme, product.readmeLine, "the readme");
    require(product.runBefore.program, product.runBefore.programLine, "the program to run before installing");
    for (const TProductComponent& c : product.components)
        for (const std::string& prefix : c.prefixes)
            if (!stored(prefix, true))
                throw PackError(product.path + ":" + std::to_string(c.filesLine),
                                "component " + c.id + ": '" + prefix + "' matches no stored entry");
}
