#include "scriptlib/installer/uEntrySelection.h"

#include "system/uSystem.h"

namespace {

char Folded(char c) { return c == '/' ? '\\' : c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsControlScript(const std::string& name) { return AsciiLower(name) == "setup.ini"; }

}  // namespace

bool EntryUnder(const std::string& name, const std::string& path) {
    if (path.size() > name.size()) return false;
    for (size_t i = 0; i < path.size(); ++i)
        if (Folded(name[i]) != Folded(path[i])) return false;
    return path.empty() || name.size() == path.size() || IsSeparator(path.back()) || IsSeparator(name[path.size()]);
}

int32_t SelectEntries(const TZLibUnpacker& unpacker, TLeftOut& leftOut, const std::string& path, bool chosen) {
    int32_t count = 0;
    for (size_t i = 0; i < unpacker.Files.size(); ++i) {
        if (!EntryUnder(unpacker.Files[i].Name, path)) continue;
        SelectEntry(leftOut, unpacker.Files.size(), i, chosen);
        ++count;
    }
    return count;
}

uint64_t ChosenBytes(const TZLibUnpacker& unpacker, const TLeftOut& leftOut) {
    uint64_t total = 0;
    for (size_t i = 0; i < unpacker.Files.size(); ++i)
        if (!IsLeftOut(leftOut, i) && !IsControlScript(unpacker.Files[i].Name)) total += unpacker.Files[i].UnpackedSize;
    return total;
}

