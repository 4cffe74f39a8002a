#pragma once
// Where the headers of a PE image (PE32 or PE32+) lie in its first bytes,
// and where its section data ends. The one header walk behind the installer's
// start-up (over its own loaded headers), q7pack's reading commands and the
// stub editor, so that all of them agree on where an appended archive starts.

#include <cstddef>
#include <cstdint>
#include <optional>

constexpr size_t PeFileHeaderSize = 20;
constexpr size_t PeSectionHeaderSize = 40;

struct TPeHeaderLayout {
    size_t FileHeader = 0;          // behind "PE\0\0"
    size_t OptionalHeader = 0;      // behind the file header
    size_t OptionalHeaderSize = 0;  // the file header's SizeOfOptionalHeader
    size_t SectionTable = 0;        // behind the optional header
    size_t SectionCount = 0;
};

// The layout of the headers in size bytes at image; std::nullopt when they
// are not a PE image: no "MZ", no "PE\0\0" signature, or a file header or
// section table that runs past size. The section table is found through
// SizeOfOptionalHeader, never a fixed size.
// A section whose raw data overlaps the headers (up to the end of the
// section table) or another section's raw data is refused too: no editor
// could rewrite one part without the other, and no reader would agree on
// what such an image holds. For an image with both signatures that is
// refused, *fault (when given) says why; it stays null for bytes that are
// no PE image at all.
std::optional<TPeHeaderLayout> LocatePeHeaders(const unsigned char* image, size_t size,
                                               const char** fault = nullptr);

// The largest PointerToRawData + SizeOfRawData over the sections of a
// located image, 0 when it has none; a sum past 4 GiB gives 0xFFFFFFFF, never
// a wrapped small offset.
uint32_t PeSectionDataEnd(const unsigned char* image, const TPeHeaderLayout& layout);
