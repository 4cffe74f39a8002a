#include "pe/uPeHeaders.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "system/io/uByteOrder.h"

namespace {

// True when n bytes at offset lie inside size (overflow-safe).
bool Fits(size_t size, uint64_t offset, uint64_t n) { return offset <= size && n <= size - offset; }

// Why the sections' raw data overlap the headers or each other; null when
// they do not. Sections without raw data take no room in the file.
const char* OverlapFault(const unsigned char* image, const TPeHeaderLayout& layout) {
    const uint64_t headersEnd = layout.SectionTable + uint64_t{layout.SectionCount} * PeSectionHeaderSize;
    std::vector<std::pair<uint64_t, uint64_t>> raw;  // start, end
    for (size_t i = 0; i < layout.SectionCount; ++i) {
        const unsigned char* section = image + layout.SectionTable + i * PeSectionHeaderSize;
        uint64_t start = LoadLE32(section + 20), length = LoadLE32(section + 16);
        if (length == 0) continue;
        if (start < headersEnd) return "damaged executable: a section's raw data overlaps the headers";
        raw.emplace_back(start, start + length);
    }
    std::sort(raw.begin(), raw.end());
    for (size_t i = 1; i < raw.size(); ++i)
        if (raw[i].first < raw[i - 1].second)
            return "damaged executable: the raw data of two sections overlap";
    return nullptr;
}

}  // namespace

std::optional<TPeHeaderLayout> LocatePeHeaders(const unsigned char* image, size_t size, const char** fault) {
    const char* ignored = nullptr;
    const char*& why = fault ? *fault : ignored;
    why = nullptr;
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
    if (!Fits(size, layout.SectionTable, uint64_t{layout.SectionCount} * PeSectionHeaderSize)) {
        why = "damaged executable: its section table is cut short";
        return std::nullopt;
    }
    why = OverlapFault(image, layout);
    if (why) return std::nullopt;
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
