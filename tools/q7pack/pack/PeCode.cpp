#include "tools/q7pack/pack/PeCode.h"

#include <algorithm>
#include <cstring>

#include "pe/uPeHeaders.h"
#include "system/io/uByteOrder.h"

namespace {

constexpr uint32_t kMachineI386 = 0x14C, kMachineAmd64 = 0x8664;
constexpr uint32_t kCode = 0x20, kExecute = 0x20000000;
constexpr size_t kSymbolSize = 18;

// A section name: eight bytes, or "/N" for the name at offset N of the
// COFF string table behind the symbols.
std::string SectionName(std::string_view bytes, const unsigned char* header, const TPeHeaderLayout& layout) {
    std::string name(reinterpret_cast<const char*>(header),
                     strnlen(reinterpret_cast<const char*>(header), 8));
    if (name.size() < 2 || name[0] != '/') return name;
    auto image = reinterpret_cast<const unsigned char*>(bytes.data());
    uint64_t symbols = LoadLE32(image + layout.FileHeader + 8);
    uint64_t strings = symbols + uint64_t{LoadLE32(image + layout.FileHeader + 12)} * kSymbolSize;
    uint64_t at = strings + std::strtoul(name.c_str() + 1, nullptr, 10);
    if (symbols == 0 || at >= bytes.size()) return name;
    return std::string(
        bytes.substr(static_cast<size_t>(at)).substr(0, strnlen(bytes.data() + at, bytes.size() - at)));
}

}  // namespace

std::optional<TPeLayout> ReadPeLayout(std::string_view bytes) {
    auto image = reinterpret_cast<const unsigned char*>(bytes.data());
    std::optional<TPeHeaderLayout> headers = LocatePeHeaders(image, bytes.size());
    // SizeOfImage sits at 56 in both optional headers.
    if (!headers || headers->OptionalHeaderSize < 60) return std::nullopt;
    TPeLayout layout;
    uint32_t machine = LoadLE16(image + headers->FileHeader);
    layout.KnownMachine = machine == kMachineI386 || machine == kMachineAmd64;
    layout.Code = machine == kMachineAmd64 ? bcX64 : bcX86;
    layout.ImageSize = LoadLE32(image + headers->OptionalHeader + 56);
    for (size_t i = 0; i < headers->SectionCount; ++i) {
        const unsigned char* section = image + headers->SectionTable + i * PeSectionHeaderSize;
        uint32_t flags = LoadLE32(section + 36), raw = LoadLE32(section + 16), at = LoadLE32(section + 20);
        if (raw == 0 || at >= bytes.size()) continue;
        TPeSectionData data;
        data.Name = SectionName(bytes, section, *headers);
        data.Offset = at;
        data.Size = static_cast<uint32_t>(std::min<uint64_t>(raw, bytes.size() - at));
        data.Rva = LoadLE32(section + 12);
        data.Code = layout.KnownMachine && (flags & (kCode | kExecute)) != 0;
        layout.Sections.push_back(data);
    }
    std::sort(layout.Sections.begin(), layout.Sections.end(),
              [](const TPeSectionData& a, const TPeSectionData& b) { return a.Offset < b.Offset; });
    return layout;
}
