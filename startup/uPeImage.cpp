#include "startup/uPeImage.h"

#include <algorithm>

#include "system/uByteOrder.h"

namespace {

// True when n bytes at offset lie inside size (overflow-safe).
bool Fits(size_t size, uint64_t offset, uint64_t n) { return offset <= size && n <= size - offset; }

}  // namespace

std::optional<uint32_t> PeImageDataEnd(const unsigned char* image, size_t size) {
    constexpr uint32_t kFileHeaderSize = 20;
    constexpr uint32_t kSectionHeaderSize = 40;
    if (!Fits(size, 0, 0x40) || image[0] != 'M' || image[1] != 'Z') return std::nullopt;
    uint64_t signature = LoadLE32(image + 0x3C);
    if (!Fits(size, signature, 4 + kFileHeaderSize)) return std::nullopt;
    const unsigned char* sig = image + signature;
    if (sig[0] != 'P' || sig[1] != 'E' || sig[2] != 0 || sig[3] != 0) return std::nullopt;

    uint64_t fileHeader = signature + 4;
    uint32_t sections = LoadLE16(image + fileHeader + 2);
    uint32_t optionalHeaderSize = LoadLE16(image + fileHeader + 16);
    uint64_t table = fileHeader + kFileHeaderSize + optionalHeaderSize;
    if (!Fits(size, table, static_cast<uint64_t>(sections) * kSectionHeaderSize)) return std::nullopt;

    uint64_t end = 0;
    for (uint32_t i = 0; i < sections; ++i) {
        const unsigned char* section = image + table + i * kSectionHeaderSize;
        uint64_t sectionEnd =
            uint64_t{LoadLE32(section + 20)} + LoadLE32(section + 16);  // pointer + size of raw data
        if (sectionEnd > end) end = sectionEnd;
    }
    // A sum past 4 GiB must not wrap to a small offset inside the image.
    return static_cast<uint32_t>(std::min<uint64_t>(end, UINT32_MAX));
}

TAppendedArchiveStart AppendedArchiveStart(const unsigned char* image, size_t size) {
    std::optional<uint32_t> end = PeImageDataEnd(image, size);
    if (!end) return {TAppendedArchiveStart::NotAnImage, 0};
    if (*end > static_cast<uint32_t>(INT32_MAX)) return {TAppendedArchiveStart::Unreachable, 0};
    return {TAppendedArchiveStart::Reachable, static_cast<int32_t>(*end)};
}
