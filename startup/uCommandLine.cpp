#include "startup/uCommandLine.h"

namespace {

bool IsSeparator(char c) { return static_cast<unsigned char>(c) <= ' '; }

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
