#include "tools/q7pack/try/ChangeReport.h"

#include <cstdio>
#include <cstring>

namespace {

const char kUninstall[] = "\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char* const kUninstallRoots[] = {"HKLM\\Software", "HKLM\\Software\\Wow6432Node", "HKCU\\Software"};
const char kSessionManager[] = "HKLM\\System\\CurrentControlSet\\Control\\Session Manager";

// The keys Wine writes on its own as a program starts, whatever the
// program does: the display and monitor devices it sets up (a link here, a
// driver date there, differing from start to start), and the console's
// defaults, written the first time anything in the prefix opens a console.
const char* const kWinesOwn[] = {"HKCU\\Console",
                                 "HKLM\\System\\CurrentControlSet\\Control\\Class\\",
                                 "HKLM\\System\\CurrentControlSet\\Control\\Video\\",
                                 "HKLM\\System\\CurrentControlSet\\Enum\\"};

bool IsWinesOwn(const std::string& key) {
    for (const char* own : kWinesOwn)
        if (key.compare(0, std::strlen(own), own) == 0) return true;
    return false;
}

std::string Hex(unsigned char c) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02x", c);
    return hex;
}

// Walks two sorted maps side by side: each key once, with its entry before
// (or null) and after (or null).
template <typename Map, typename Each>
void Merge(const Map& before, const Map& after, Each each) {
    auto b = before.begin(), a = after.begin();
    auto less = before.key_comp();
    while (b != before.end() || a != after.end()) {
        if (a == after.end() || (b != before.end() && less(b->first, a->first))) {
            each(b->first, &b->second, nullptr);
            ++b;
        } else if (b == before.end() || less(a->first, b->first)) {
            each(a->first, nullptr, &a->second);
            ++a;
        } else {
            each(a->first, &b->second, &a->second);
            ++a, ++b;
        }
    }
}

std::string Bytes(uint64_t size) { return std::to_string(size) + (size == 1 ? " byte" : " bytes"); }

std::string FileLine(char mark, const std::string& path, const TFileEntry& file) {
    return std::string("  ") + mark + " " + OneLine(path) +
           (file.Folder ? "\\" : " (" + Bytes(file.Size) + ")") + "\n";
}

std::string Files(const TPrefixSnapshot& before, const TPrefixSnapshot& after) {
    std::string out;
    Merge(before.Files, after.Files, [&](const std::string& path, const TFileEntry* b, const TFileEntry* a) {
        if (b && a && b->Folder == a->Folder) {
            if (!a->Folder && !(*a == *b))
                out +=
                    "  ~ " + OneLine(path) + " (" + std::to_string(b->Size) + " -> " + Bytes(a->Size) + ")\n";
            return;
        }
        if (b) out += FileLine('-', path, *b);
        if (a) out += FileLine('+', path, *a);
    });
    return out;
}

std::string ValueLine(char mark, const std::string& name, const std::string& shown) {
    return std::string("      ") + mark + " " + (name.empty() ? "@" : OneLine(name)) + " = " + shown + "\n";
}

// The changed values of a key.
std::string Values(const TRegValues& before, const TRegValues& after) {
    std::string out;
    Merge(before, after, [&](const std::string& name, const TRegValue* b, const TRegValue* a) {
        if (b && a && *a != *b)
            out += ValueLine('~', name, ShowRegValue(*b) + " -> " + ShowRegValue(*a));
        else if (!a || !b)
            out += ValueLine(a ? '+' : '-', name, ShowRegValue(a ? *a : *b));
    });
    return out;
}

std::string Registry(const TRegistry& before, const TRegistry& after) {
    std::string out;
    Merge(before, after, [&](const std::string& path, const TRegValues* b, const TRegValues* a) {
        if (IsWinesOwn(path)) return;
        if (!a) {
            out += "  - " + OneLine(path) + "\n";
            return;
        }
        std::string values = Values(b ? *b : TRegValues(), *a);
        if (!b || !values.empty())
            out += std::string("  ") + (b ? "~ " : "+ ") + OneLine(path) + "\n" + values;
    });
    return out;
}

std::string Shortcuts(const TPrefixSnapshot& before, const TPrefixSnapshot& after) {
    std::string out;
    Merge(before.Files, after.Files, [&](const std::string& path, const TFileEntry* b, const TFileEntry* a) {
        bool was = b && b->Link, is = a && a->Link;
        if (is && !(was && *a == *b))
            out += std::string("  ") + (was ? "~ " : "+ ") + OneLine(path) + " -> " +
                   OneLine(a->Link->Target) +
                   (a->Link->Arguments.empty() ? "" : ", arguments " + OneLine(a->Link->Arguments)) +
                   (a->Link->Folder.empty() ? "" : ", in " + OneLine(a->Link->Folder)) +
                   (a->Link->Icon.empty()
                        ? ""
                        : ", icon " + OneLine(a->Link->Icon) + "," + std::to_string(a->Link->IconIndex)) +
                   (a->Link->Description.empty() ? "" : ", " + Quoted(a->Link->Description)) + "\n";
        else if (was && !is)
            out += "  - " + OneLine(path) + "\n";
    });
    return out;
}

std::string AppLine(char mark, const TAppEntry& app) {
    return std::string("  ") + mark + " " + OneLine(app.Name.empty() ? "(no name)" : app.Name) +
           (app.Version.empty() ? "" : " " + OneLine(app.Version)) +
           (app.Publisher.empty() ? "" : " by " + OneLine(app.Publisher)) + " (" + OneLine(app.Key) + ")\n";
}

std::string Apps(const TRegistry& before, const TRegistry& after) {
    std::map<std::string, TAppEntry> was, is;
    for (const TAppEntry& app : AppsAndFeatures(before)) was[app.Key] = app;
    for (const TAppEntry& app : AppsAndFeatures(after)) is[app.Key] = app;
    std::string out;
    Merge(was, is, [&](const std::string&, const TAppEntry* b, const TAppEntry* a) {
        if (!a)
            out += AppLine('-', *b);
        else if (!b)
            out += AppLine('+', *a);
        else if (AppLine(' ', *a) != AppLine(' ', *b) || a->Uninstall != b->Uninstall)
            out += AppLine('~', *a);
    });
    return out;
}

std::string Text(const TRegValues& values, const char* name) {
    auto value = values.find(name);
    std::vector<std::string> texts =
        value == values.end() ? std::vector<std::string>() : RegTexts(value->second);
    return texts.empty() ? "" : texts[0];
}

}  // namespace

std::vector<TAppEntry> AppsAndFeatures(const TRegistry& registry) {
    std::vector<TAppEntry> apps;
    for (const char* root : kUninstallRoots) {
        std::string parent = root + std::string(kUninstall);
        for (auto key = registry.lower_bound(parent);
             key != registry.end() && key->first.compare(0, parent.size(), parent) == 0; ++key) {
            if (key->first.find('\\', parent.size()) != std::string::npos) continue;
            const TRegValues& v = key->second;
            apps.push_back({key->first, Text(v, "DisplayName"), Text(v, "DisplayVersion"),
                            Text(v, "Publisher"), Text(v, "UninstallString"),
                            Text(v, "QuietUninstallString")});
        }
    }
    return apps;
}

std::string ChangeReport(const TPrefixSnapshot& before, const TPrefixSnapshot& after) {
    std::string out;
    const std::pair<const char*, std::string> sections[] = {
        {"files:\n", Files(before, after)},
        {"registry:\n", Registry(before.Registry, after.Registry)},
        {"shortcuts:\n", Shortcuts(before, after)},
        {"Apps & features:\n", Apps(before.Registry, after.Registry)},
    };
    for (const auto& [title, lines] : sections)
        if (!lines.empty()) out += title + lines;
    return out.empty() ? "  nothing\n" : out;
}

std::vector<std::string> PendingAtRestart(const TRegistry& registry) {
    auto key = registry.find(kSessionManager);
    auto value = key == registry.end() ? TRegValues::const_iterator()
                                       : key->second.find("PendingFileRenameOperations");
    std::vector<std::string> paths, lines;
    if (key != registry.end() && value != key->second.end()) paths = RegTexts(value->second);
    // Each path as Windows keeps it for the restart: "\??\C:\...".
    auto path = [](std::string p) { return OneLine(p.compare(0, 4, "\\??\\") == 0 ? p.substr(4) : p); };
    for (size_t i = 0; i + 1 < paths.size(); i += 2)
        lines.push_back(paths[i + 1].empty() ? "delete " + path(paths[i])
                                             : "rename " + path(paths[i]) + " to " + path(paths[i + 1]));
    return lines;
}

std::string ShowRegValue(const TRegValue& value) {
    std::vector<std::string> texts = RegTexts(value);
    if (value.Type == kRegSz) return Quoted(texts[0]);
    if (value.Type == kRegExpandSz) return "expand " + Quoted(texts[0]);
    if (value.Type == kRegMultiSz) {
        std::string out = "multi";
        for (const std::string& text : texts) out += " " + Quoted(text);
        return out;
    }
    uint64_t number = 0;
    for (size_t i = value.Data.size(); i-- > 0;)
        number = number << 8 | static_cast<unsigned char>(value.Data[i]);
    if (value.Type == kRegDword && value.Data.size() == 4) return "dword " + std::to_string(number);
    if (value.Type == kRegQword && value.Data.size() == 8) return "qword " + std::to_string(number);
    std::string out = value.Type == kRegBinary ? "hex" : "hex(" + std::to_string(value.Type) + ")";
    for (size_t i = 0; i < value.Data.size() && i < 64; ++i)
        out += " " + Hex(static_cast<unsigned char>(value.Data[i])).substr(2);
    if (value.Data.size() > 64) out += " ... (" + Bytes(value.Data.size()) + ")";
    return out;
}

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\')
            out += std::string("\\") + static_cast<char>(c);
        else if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else
            out += c < 0x20 || c == 0x7F ? Hex(c) : std::string(1, static_cast<char>(c));
    }
    return out + "\"";
}

std::string OneLine(const std::string& text) {
    std::string out;
    for (unsigned char c : text) out += c < 0x20 || c == 0x7F ? Hex(c) : std::string(1, static_cast<char>(c));
    return out;
}
