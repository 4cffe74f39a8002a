#include "system/fs/uStoredName.h"

#include <cstring>

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Calls visit(component) for each part of name between separators.
template <typename Visit>
bool AnyComponent(std::string_view name, Visit visit) {
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !IsSeparator(name[end])) ++end;
        if (visit(name.substr(start, end - start))) return true;
        start = end + 1;
    }
    return false;
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 0x20) : c; }

bool EqualsUpper(std::string_view text, const char* upper) {
    if (text.size() != std::strlen(upper)) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (Upper(text[i]) != upper[i]) return false;
    return true;
}

// The number of a COM or LPT port: a digit 1 to 9, or a superscript 1, 2
// or 3, which Windows takes for a port too, in Windows-1252 (one byte) or
// UTF-8 (C2 and that byte).
bool IsPortNumber(std::string_view number) {
    if (number.size() == 2 && number[0] == '\xC2') number.remove_prefix(1);
    return number.size() == 1 && ((number[0] >= '1' && number[0] <= '9') || number[0] == '\xB9' ||
                                  number[0] == '\xB2' || number[0] == '\xB3');
}

// CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9 (and COM and LPT with a
// superscript 1-3): Windows opens the device for them whatever extension
// follows, and ignores spaces before the dot.
bool IsDeviceName(std::string_view component) {
    std::string_view base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    for (const char* device : {"CON", "PRN", "AUX", "NUL"})
        if (EqualsUpper(base, device)) return true;
    if (base.size() < 4 || !IsPortNumber(base.substr(3))) return false;
    std::string_view stem = base.substr(0, 3);
    return EqualsUpper(stem, "COM") || EqualsUpper(stem, "LPT");
}

bool HasForbiddenByte(std::string_view name) {
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || std::strchr(":<>\"|?*", c) != nullptr) return true;
    return false;
}

// True when the first part that names something is the journal's folder.
bool InJournalFolder(std::string_view name) {
    std::string_view first;
    AnyComponent(name, [&](std::string_view part) {
        first = part;
        return !part.empty() && part != ".";
    });
    if (first.size() != sizeof JournalFolderName - 1) return false;
    for (size_t i = 0; i < first.size(); ++i)
        if (Upper(first[i]) != Upper(JournalFolderName[i])) return false;
    return true;
}

}  // namespace

bool IsEscapingName(std::string_view name) {
    if (!name.empty() && IsSeparator(name[0])) return true;
    bool letter = !name.empty() && ((name[0] | 0x20) >= 'a' && (name[0] | 0x20) <= 'z');
    if (letter && name.size() >= 2 && name[1] == ':') return true;
    return AnyComponent(name, [](std::string_view part) { return part == ".."; });
}

const char* StoredNameFault(std::string_view name) {
    if (name.empty()) return "the name is empty";
    if (IsEscapingName(name)) return "the name would leave the install folder";
    if (InJournalFolder(name)) return "the installer keeps its journal there";
    if (HasForbiddenByte(name)) return "the name holds a control character or one of : < > \" | ? *";
    if (AnyComponent(name, IsDeviceName)) return "a part of the name is a Windows device name (CON, NUL, COM1, ...)";
    // "." alone is the folder itself and resolves as it stands.
    auto trailing = [](std::string_view part) {
        return part != "." && !part.empty() && (part.back() == '.' || part.back() == ' ');
    };
    if (AnyComponent(name, trailing)) return "a part of the name ends with a dot or a space, which Windows drops";
    return nullptr;
}

std::vector<std::string> NameParts(std::string_view stored) {
    std::vector<std::string> parts;
    std::string part;
    for (size_t i = 0; i <= stored.size(); ++i) {
        if (i < stored.size() && stored[i] != '\\' && stored[i] != '/') {
            part += stored[i];
            continue;
        }
        if (!part.empty() && part != ".") parts.push_back(part);
        part.clear();
    }
    return parts;
}
