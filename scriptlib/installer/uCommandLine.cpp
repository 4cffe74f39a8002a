#include "scriptlib/installer/uCommandLine.h"

#include <algorithm>

namespace {

bool IsSeparator(char c) { return static_cast<unsigned char>(c) <= ' '; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// One item by the C runtime's rules, from i (on its first byte) to the
// blank behind it.
std::string WindowsItem(std::string_view line, size_t& i) {
    std::string item;
    bool quoted = false;
    while (i < line.size() && (quoted || !IsBlank(line[i]))) {
        size_t slashes = 0;
        while (i < line.size() && line[i] == '\\') ++slashes, ++i;
        if (i == line.size() || line[i] != '"') {
            item.append(slashes, '\\');
            if (slashes == 0) item += line[i++];
            continue;
        }
        item.append(slashes / 2, '\\');
        if (slashes % 2 == 1) {
            item += '"';
        } else if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
            item += '"';
            ++i;
        } else {
            quoted = !quoted;
        }
        ++i;
    }
    return item;
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
    std::vector<std::string> items;
    size_t i = 0;
    while (true) {
        while (i < line.size() && IsSeparator(line[i])) ++i;
        if (i == line.size()) return items;
        std::string item;
        bool quoted = false;
        for (; i < line.size() && (quoted || !IsSeparator(line[i])); ++i) {
            if (line[i] == '"')
                quoted = !quoted;
            else
                item += line[i];
        }
        items.push_back(std::move(item));
    }
}

namespace {

// Where the program's item ends: at the next quote when it starts with one,
// else at a blank.
size_t ProgramEnd(std::string_view line) {
    if (line.empty() || line[0] != '"') return std::min(line.find_first_of(" \t"), line.size());
    size_t end = line.find('"', 1);
    return end == std::string_view::npos ? line.size() : end + 1;
}

}  // namespace

std::string_view ProgramArguments(std::string_view line) {
    size_t i = ProgramEnd(line);
    while (i < line.size() && IsBlank(line[i])) ++i;
    return line.substr(i);
}

std::vector<std::string> SplitWindowsCommandLine(std::string_view line) {
    std::vector<std::string> items;
    if (line.empty()) return items;
    size_t i = ProgramEnd(line);
    if (line[0] == '"')
        items.emplace_back(line.substr(1, std::min(line.find('"', 1), line.size()) - 1));
    else
        items.emplace_back(line.substr(0, i));
    while (true) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        if (i == line.size()) return items;
        items.push_back(WindowsItem(line, i));
    }
}

TInvocation ParseInvocation(std::string_view line, bool withOptions) {
    TInvocation invocation;
    std::vector<std::string> items = withOptions ? SplitWindowsCommandLine(line) : SplitCommandLine(line);
    for (size_t k = 1; k < items.size(); ++k) {
        if (!withOptions || items[k].empty() || items[k][0] != '/') {
            invocation.Archive = items[k];
            continue;
        }
        size_t eq = items[k].find('=');
        invocation.Options.push_back({items[k].substr(1, eq == std::string::npos ? eq : eq - 1),
                                      eq == std::string::npos ? std::string() : items[k].substr(eq + 1)});
    }
    return invocation;
}
