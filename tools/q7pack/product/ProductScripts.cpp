// Writing a product's brand, control script and uninstall script. The two
// scripts are templates (setup.ini.in, uninstall.ini.in) that read every
// text the user sees from the string table, so they stay ASCII and one
// script serves every language; the brand carries those strings.

#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "tools/q7pack/common/PackError.h"
#include "tools/q7pack/product/Product.h"

namespace {

const char kSetupTemplate[] =
#include "q7pack_product_setup.inc"
    ;
const char kUninstallTemplate[] =
#include "q7pack_product_uninstall.inc"
    ;

// The product's own strings: the same in every language.
enum : uint32_t {
    kName = 100, kVersion, kPublisher, kProgram, kId, kFolder, kLicense, kReadme, kDescription,
    kComponentNames = 130, kComponentDescriptions = 140, kPrefixes = 150, kExtensions = 200,
    kTypeDescriptions = 210, kRunBefore = 220, kRunBeforeArguments,
};
// The phrases (phrases.inc) are 110 to 129 and 222 to 227, clear of the
// product's own strings above: a language's string would hide them.
// The phrases only a product with [run-before] shows.
constexpr uint32_t kRunBeforePhrases[] = {222, 223, 224};

// The tasks the tasks page can ask for: the variable that holds the
// answer, the phrase of its check box, the option of a silent run.
struct TTaskKind {
    TProduct::TTask TProduct::*task;
    const char* variable;
    uint32_t phrase;
    const char* option;
};
const TTaskKind kTasks[] = {
    {&TProduct::desktop, "desktop", 127, "DESKTOP"},
    {&TProduct::addPath, "addpath", 128, "PATH"},
};

// Texts the scripts show, written for each language from their meaning;
// {name} and {version} are the product's. The first language of the table
// stands in for a language that has none of its own.
struct TPhrase {
    const char* language;
    uint32_t id;
    const char* text;
};
const TPhrase kPhrases[] = {
#include "tools/q7pack/product/phrases.inc"
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) text.replace(at, from.size(), to);
    return text;
}

// A brand file's value: \ and line breaks escaped, quoted when quotes or
// blanks at either end would otherwise be lost.
std::string BrandValue(const std::string& text) {
    std::string v = Replace(Replace(text, "\\", "\\\\"), "\n", "\\n");
    bool quote = !v.empty() && (v.front() == ' ' || v.back() == ' ' || v.front() == '"' || v.back() == '"');
    return quote ? '"' + v + '"' : v;
}

// Expands a template: "@if FLAG", "@else" and "@end" lines keep or drop
// the lines between them; "{{NAME}}" is replaced by vars' text, and a line
// that is only an empty variable goes.
std::string Expand(const char* text, const std::map<std::string, bool>& flags,
                   const std::map<std::string, std::string>& vars) {
    std::istringstream in(text);
    std::string out;
    std::vector<bool> keep{true};
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("@if ", 0) == 0) {
            keep.push_back(keep.back() && flags.at(line.substr(4)));
        } else if (line == "@else") {
            bool outer = keep[keep.size() - 2];
            keep.back() = outer && !keep.back();
        } else if (line == "@end") {
            keep.pop_back();
        } else if (keep.back()) {
            for (const auto& [name, value] : vars) {
                if (line == "{{" + name + "}}" && value.empty()) line = "\x01";
                line = Replace(line, "{{" + name + "}}", value);
            }
            if (line != "\x01") out += line + "\r\n";
        }
    }
    return out;
}

// The shipped languages' code pages; those with none of the brand's code
// pages (Japanese, Chinese) need utf-8.
uint32_t LanguageCodePage(const std::string& tag) {
    static const std::map<std::string, uint32_t> pages = {
        {"en", 1252}, {"de", 1252}, {"fr", 1252}, {"es", 1252}, {"it", 1252}, {"pt-BR", 1252}, {"pl", 1250},
        {"cs", 1250}, {"sk", 1250}, {"hu", 1250}, {"ru", 1251}, {"uk", 1251}, {"tr", 1254}};
    auto found = pages.find(tag);
    return found == pages.end() ? 0 : found->second;
}

class Generator {
public:
    explicit Generator(const TProduct& product) : p_(product) {}
    TProductFiles Run();

private:
    std::string Brand(std::vector<TProductCopy>& copies);
    std::string BrandPart(std::vector<TProductCopy>& copies);
    std::string Phrase(const std::string& language, uint32_t id) const;
    std::map<std::string, std::string> ScriptVars() const;
    std::string Navigation(bool forward) const;
    bool Set(const std::string& sectionKey) const { return set_.count(sectionKey) != 0; }
    bool AsksTasks() const { return p_.desktop == TProduct::kAsk || p_.addPath == TProduct::kAsk; }
    void Tasks(std::ostringstream& defaults, std::ostringstream& boxes, std::ostringstream& reads,
               std::string& notes) const;
    std::string FileTypes(bool install) const;

    const TProduct& p_;
    std::set<std::string> set_;  // "section/key" the product file sets itself
};

std::string Generator::Phrase(const std::string& language, uint32_t id) const {
    const char* text = nullptr;
    for (const TPhrase& phrase : kPhrases)
        if (phrase.id == id && (language == phrase.language || (!text && phrase.language == kPhrases[0].language)))
            text = phrase.text;
    return Replace(Replace(text, "{name}", p_.name), "{version}", p_.version);
}

// The product file's brand lines, blank lines of its product sections
// dropped; the icon and banner are copied beside the brand, under their
// own names, so the folder the files are written to stands on its own.
std::string Generator::BrandPart(std::vector<TProductCopy>& copies) {
    std::istringstream in(p_.brandText);
    std::string out, section;
    std::filesystem::path from = std::filesystem::path(p_.path).parent_path();
    bool blank = false;
    for (std::string line; std::getline(in, line);) {
        size_t b = line.find_first_not_of(" \t\r");
        if (b == std::string::npos) {
            if (!out.empty() && !blank) out += "\n";
            blank = true;
            continue;
        }
        blank = false;
        if (line[b] == '[') section = line.substr(b + 1, line.find(']') - b - 1);
        size_t eq = line.find('=');
        std::string key = eq == std::string::npos ? "" : line.substr(b, line.find_last_not_of(" \t", eq - 1) - b + 1);
        if (!key.empty() && line[b] != '#' && line[b] != ';') set_.insert(section + "/" + key);
        if (section == "installer" && (key == "icon" || key == "banner")) {
            std::filesystem::path file = from / line.substr(line.find_first_not_of(" \t", eq + 1));
            std::string name = file.filename().string();
            if (!copies.empty() && copies[0].name == name) name = key + "-" + name;
            copies.push_back({file.string(), name});
            line = key + " = " + name;
        }
        out += line + "\n";
    }
    return out;
}

std::string Generator::Brand(std::vector<TProductCopy>& copies) {
    std::string part = BrandPart(copies);
    std::ostringstream out;
    out << "# brand.ini of " << p_.name << ' ' << p_.version << ", written by q7pack from "
        << std::filesystem::path(p_.path).filename().string() << ".\n# The product file's own brand keys:\n\n"
        << part << "\n# What the product file's [product] section makes of the installer.\n[installer]\n";
    std::string title = p_.name + ' ' + p_.version + " Setup";
    if (!Set("installer/title")) out << "title = " << BrandValue(title) << '\n';
    if (!Set("installer/footer")) out << "footer = " << BrandValue(p_.name + ' ' + p_.version + " \u00b7 " + p_.publisher) << '\n';
    if (!Set("installer/options")) out << "# /S, /D=folder and /LOG=file for unattended installs.\noptions = yes\n";
    if (!Set("installer/language") && !Set("installer/languages") && p_.languages.empty()) out << "language = en\n";
    std::vector<std::string> languages = p_.languages.empty() ? std::vector<std::string>{"en"} : p_.languages;
    if (!Set("installer/codepage")) {
        uint32_t page = LanguageCodePage(languages[0]);
        for (const std::string& tag : languages) page = LanguageCodePage(tag) == page ? page : 0;
        out << "codepage = " << (page ? std::to_string(page) : "utf-8") << '\n';
    }
    out << "\n[version]\n";
    const std::pair<const char*, std::string> version[] = {
        {"product-name", p_.name}, {"product-version", p_.version}, {"company", p_.publisher},
        {"description", p_.name + ' ' + p_.version + " Setup"}};
    for (const auto& [key, value] : version)
        if (!Set(std::string("version/") + key)) out << key << " = " << BrandValue(value) << '\n';
    // A choice starts without a prompt: all users asks for the rights then.
    if (!Set("manifest/execution-level"))
        out << "\n[manifest]\nexecution-level = "
            << (p_.perUser || p_.scopeChoice ? "asInvoker" : "requireAdministrator") << '\n';
    out << "\n# The product's texts, which the scripts read with LoadString.\n[strings]\n";
    const std::pair<uint32_t, std::string> own[] = {{kName, p_.name}, {kVersion, p_.version},
        {kPublisher, p_.publisher}, {kProgram, p_.program}, {kId, p_.id}, {kFolder, p_.folder},
        {kLicense, p_.license}, {kReadme, p_.readme}, {kDescription, p_.description},
        {kRunBefore, p_.runBefore.program}, {kRunBeforeArguments, p_.runBefore.arguments}};
    for (const auto& [id, text] : own)
        if (!text.empty()) out << id << " = " << BrandValue(text) << '\n';
    // The message boxes' caption, as the pages' title.
    if (!Set("strings/65519")) out << "65519 = " << BrandValue(title) << '\n';
    uint32_t prefix = kPrefixes;
    for (size_t i = 0; i < p_.fileTypes.size(); ++i)
        out << kExtensions + i << " = " << BrandValue(p_.fileTypes[i].extension) << '\n'
            << kTypeDescriptions + i << " = " << BrandValue(p_.fileTypes[i].description) << '\n';
    for (size_t i = 0; i < p_.components.size(); ++i) {
        const TProductComponent& c = p_.components[i];
        out << kComponentNames + i << " = " << BrandValue(c.name) << '\n';
        if (!c.description.empty()) out << kComponentDescriptions + i << " = " << BrandValue(c.description) << '\n';
        for (const std::string& name : c.prefixes) out << prefix++ << " = " << BrandValue(name) << '\n';
    }
    for (const std::string& tag : languages) {
        out << "\n[strings." << tag << "]\n";
        std::set<uint32_t> ids;
        for (const TPhrase& phrase : kPhrases) ids.insert(phrase.id);
        if (p_.runBefore.program.empty())
            for (uint32_t id : kRunBeforePhrases) ids.erase(id);
        for (uint32_t id : ids) out << id << " = " << BrandValue(Phrase(tag, id)) << '\n';
    }
    return out.str();
}

// The Next (or Back) chain through the pages the product has.
std::string Generator::Navigation(bool forward) const {
    std::vector<std::string> pages = {"WELCOME"};
    if (!p_.license.empty()) pages.push_back("LICENSE");
    if (p_.scopeChoice) pages.push_back("SCOPE");
    if (!p_.components.empty()) pages.push_back("COMPONENTS");
    if (AsksTasks()) pages.push_back("TASKS");
    pages.push_back("FOLDER");
    std::string out, indent = "            ";
    for (size_t i = 0; i + 1 < pages.size(); ++i) {
        const std::string& from = forward ? pages[i] : pages[i + 1];
        const std::string& to = forward ? pages[i + 1] : pages[i];
        out += indent + (i ? "else if" : "if") + " (page == " + from + ") page = " + to + ";\n";
    }
    return out.substr(0, out.size() - 1);
}

// Each task's variable: set, or from its option and then its check box
// on the tasks page.
void Generator::Tasks(std::ostringstream& defaults, std::ostringstream& boxes, std::ostringstream& reads,
                      std::string& notes) const {
    int box = 261;
    for (const TTaskKind& kind : kTasks) {
        TProduct::TTask task = p_.*kind.task;
        if (task == TProduct::kYes) defaults << "    " << kind.variable << " = TRUE;\n";
        if (task != TProduct::kAsk) continue;
        defaults << "    " << kind.variable << " = HasOption(\"" << kind.option << "\");\n";
        boxes << "        SetDlgItemText(" << box << ", LoadString(" << kind.phrase << "));\n"
              << "        SetDlgItemCheck(" << box << ", " << kind.variable << ");\n";
        reads << "        if (page == TASKS)\n            " << kind.variable << " = GetDlgItemCheck(" << box << ");\n";
        notes += std::string("\n   /") + kind.option + " does the task \"" + Phrase("en", kind.phrase) + "\";";
        ++box;
    }
}

// Registering the file types (their extension's class, icon and open
// command), or removing them: the extension only while it is still ours.
std::string Generator::FileTypes(bool install) const {
    std::ostringstream out;
    std::string pad = install ? "        " : "            ";
    for (size_t i = 0; i < p_.fileTypes.size(); ++i) {
        std::string ext = "LoadString(" + std::to_string(kExtensions + i) + ")";
        out << pad << "class = ID + " << ext << ";\n";
        if (install) {
            const std::pair<std::string, std::string> keys[] = {
                {"\"Software\\Classes\\\" + " + ext, "class"},
                {"\"Software\\Classes\\\" + class", "LoadString(" + std::to_string(kTypeDescriptions + i) + ")"},
                {"\"Software\\Classes\\\" + class + \"\\DefaultIcon\"", "target + \"\\\" + PROGRAM + \",0\""},
                {"\"Software\\Classes\\\" + class + \"\\shell\\open\\command\"",
                 "chr(34) + target + \"\\\" + PROGRAM + chr(34) + \" \" + chr(34) + \"%1\" + chr(34)"}};
            for (const auto& [path, value] : keys)
                out << pad << "key = RegCreateKey(ROOT, " << path << ");\n"
                    << pad << "RegSetValue(key, \"\", " << value << ");\n" << pad << "RegCloseKey(key);\n";
        } else {
            out << pad << "key = RegOpenKey(ROOT, \"Software\\Classes\\\" + " << ext << ");\n"
                << pad << "ours = RegQueryValue(key, \"\") == class;\n" << pad << "RegCloseKey(key);\n"
                << pad << "if (ours)\n" << pad << "    RegDeleteKey(ROOT, \"Software\\Classes\\\" + " << ext << ");\n"
                << pad << "RegDeleteKey(ROOT, \"Software\\Classes\\\" + class);\n";
        }
    }
    if (!p_.fileTypes.empty()) out << pad << "NotifyAssociationChange();\n";
    std::string text = out.str();
    return text.empty() ? text : text.substr(0, text.size() - 1);
}

std::map<std::string, std::string> Generator::ScriptVars() const {
    std::ostringstream defaults, boxes, commands, reads, select;
    for (size_t i = 0; i < p_.components.size(); ++i) {
        const TProductComponent& c = p_.components[i];
        std::string var = "component" + std::to_string(i + 1), box = std::to_string(261 + i);
        std::string id;
        for (char ch : c.id) id += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        defaults << "    " << var << " = " << (c.selected ? "TRUE" : "FALSE") << ";\n"
                 << "    if (GetOption(\"COMPONENTS\") != \"\")\n        " << var
                 << " = strpos(\",\" + strtolower(GetOption(\"COMPONENTS\")) + \",\", \"," << id << ",\") >= 0;\n";
        boxes << "        SetDlgItemText(" << box << ", LoadString(" << kComponentNames + i << "));\n"
              << "        SetDlgItemCheck(" << box << ", " << var << ");\n";
        if (!c.description.empty())
            commands << "    if (page == COMPONENTS & WPARAM == " << box << " & LPARAM == 6)\n        SetDlgItemText(269, LoadString("
                     << kComponentDescriptions + i << "));\n";
        reads << "        if (page == COMPONENTS)\n            " << var << " = GetDlgItemCheck(" << box << ");\n";
    }
    uint32_t prefix = kPrefixes;
    for (size_t i = 0; i < p_.components.size(); ++i)
        for (size_t k = 0; k < p_.components[i].prefixes.size(); ++k)
            select << "    ArchiveSelect(LoadString(" << prefix++ << "), component" << i + 1 << ");\n";
    std::ostringstream tasks, taskBoxes;
    std::string notes;
    Tasks(tasks, taskBoxes, reads, notes);
    if (!p_.components.empty()) notes += "\n   /COMPONENTS=id,id installs exactly those optional components;";
    if (p_.scopeChoice) notes += "\n   /ALLUSERS or /CURRENTUSER chooses for whom (an administrator's default: all);";
    auto chomp = [](std::string s) { return s.empty() ? s : s.substr(0, s.size() - 1); };
    std::string success;
    for (const std::string& code : p_.runBefore.success) success += (success.empty() ? "code == " : " | code == ") + code;
    return {{"ALL_USERS", p_.perUser ? "FALSE" : "TRUE"}, {"TITLE", p_.name + ' ' + p_.version}, {"SILENT_NOTES", notes}, {"TASK_DEFAULTS", chomp(tasks.str())},
            {"COMPONENT_DEFAULTS", chomp(defaults.str())}, {"COMPONENT_BOXES", chomp(boxes.str())},
            {"TASK_BOXES", chomp(taskBoxes.str())}, {"CHOICE_COMMANDS", chomp(commands.str())},
            {"FILE_TYPES", FileTypes(true)}, {"FILE_TYPES_REMOVE", FileTypes(false)},
            {"CHOICE_READS", chomp(reads.str())}, {"COMPONENT_SELECT", chomp(select.str())},
            {"NEXT", Navigation(true)}, {"BACK", Navigation(false)}, {"RUN_BEFORE_SUCCESS", success}};
}

TProductFiles Generator::Run() {
    TProductFiles files;
    files.brand = Brand(files.copies);
    std::map<std::string, bool> flags = {{"license", !p_.license.empty()},
        {"readme", !p_.readme.empty()}, {"components", !p_.components.empty()},
        {"tasks", AsksTasks()}, {"desktop", p_.desktop != TProduct::kNo}, {"path", p_.addPath != TProduct::kNo},
        {"bits64", p_.bits64}, {"choice", p_.scopeChoice},
        {"startmenu", p_.startMenu}, {"runafter", p_.runAfter}, {"runbefore", !p_.runBefore.program.empty()}};
    std::map<std::string, std::string> vars = ScriptVars();
    files.setup = Expand(kSetupTemplate, flags, vars);
    files.uninstall = Expand(kUninstallTemplate, flags, vars);
    return files;
}

}  // namespace

TProductFiles GenerateProduct(const TProduct& product) {
    return Generator(product).Run();
}
