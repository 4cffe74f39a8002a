// The installer's string table where there is no executable's own: the
// list of resources/uTexts.inc, converted once from UTF-8 to Windows-1250,
// the code page of the shipped texts.

#include <map>

#include "system/text/uCodePage1250.h"
#include "system/uSystem.h"

namespace {

struct TextEntry {
    uint32_t id;
    const char* utf8;
};

const TextEntry kTexts[] = {
#define Q7_TEXT(id, text) {id, text},
#include "resources/uTexts.inc"
#undef Q7_TEXT
};

}  // namespace

std::string ResourceText(uint32_t id) {
    static const std::map<uint32_t, std::string> table = [] {
        std::map<uint32_t, std::string> converted;
        for (const TextEntry& e : kTexts) converted[e.id] = Utf8ToCp1250(e.utf8);
        return converted;
    }();
    auto it = table.find(id);
    return it == table.end() ? std::string() : it->second;
}
