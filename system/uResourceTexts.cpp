#include "system/uResourceTexts.h"

#include <map>

#include "system/uCodePage1250.h"

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

std::string PortableResourceText(uint32_t id) {
    static const std::map<uint32_t, std::string> table = [] {
        std::map<uint32_t, std::string> converted;
        for (const TextEntry& e : kTexts) converted[e.id] = Utf8ToCp1250(e.utf8);
        return converted;
    }();
    auto it = table.find(id);
    return it == table.end() ? std::string() : it->second;
}
