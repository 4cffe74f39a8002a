#include "pe/uPeHeaders.h"

#include <algorithm>

#include "system/uByteOrder.h"

namespace {

// True when n bytes at offset lie inside size (overflow-safe).
bool Fits(size_t size, uint64_t offset, uint64_t n) { return offset <= size && n <= size - offset; }

}  // namespace

std::optional<TPeHeaderLayout> LocatePeHeaders(const unsigned char* image, size_t size) {
    if (!Fits(size, 0, 0x40) || image[0] != 'M' || image[1] != 'Z') return std::nullopt;
    uint64_t signature = LoadLE32(image + 0x3C);
    if (!Fits(size, signature, 4 + PeFileHeaderSize)) return std::nullopt;
    const unsigned char* sig = image + signature;
    if (sig[0] != 'P' || sig[1] != 'E' || sig[2] != 0 || sig[3] != 0) return std::nullopt;

    TPeHeaderLayout layout;
    layout.FileHeader = static_cast<size_t>(signature + 4);
    layout.SectionCount = LoadLE16(image + layout.FileHeader + 2);
    layout.OptionalHeaderSize = LoadLE16(image + layout.FileHeader + 16);
    layout.OptionalHeader = layout.FileHeader + PeFileHeaderSize;
    layout.SectionTable = layout.OptionalHeader + layout.OptionalHeaderSize;
    if (!Fits(size, layout.SectionTable, uint64_t{layout.SectionCount} * PeSectionHeaderSize))
        return std::nullopt;
    return layout;
}

uint32_t PeSectionDataEnd(const unsigned char* image, const TPeHeaderLayout& layout) {
    uint64_t end = 0;
    for (size_t i = 0; i < layout.SectionCount; ++i) {
        const unsigned char* section = image + layout.SectionTable + i * PeSectionHeaderSize;
        uint64_t sectionEnd =
            uint64_t{LoadLE32(section + 20)} + LoadLE32(section + 16);  // pointer + size of raw data
        end = std::max(end, sectionEnd);
    }
    return static_cast<uint32_t>(std::min<uint64_t>(end, UINT32_MAX));
}
