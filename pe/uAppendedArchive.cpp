#include "pe/uAppendedArchive.h"

#include "pe/uPeHeaders.h"

std::optional<uint32_t> PeImageDataEnd(const unsigned char* image, size_t size) {
    std::optional<TPeHeaderLayout> layout = LocatePeHeaders(image, size);
    if (!layout) return std::nullopt;
    return PeSectionDataEnd(image, *layout);
}

TAppendedArchiveStart AppendedArchiveStart(const unsigned char* image, size_t size) {
    std::optional<uint32_t> end = PeImageDataEnd(image, size);
    if (!end) return {TAppendedArchiveStart::NotAnImage, 0};
    if (*end > static_cast<uint32_t>(INT32_MAX)) return {TAppendedArchiveStart::Unreachable, 0};
    return {TAppendedArchiveStart::Reachable, static_cast<int32_t>(*end)};
}
