#pragma once
// Where the appended archive starts: the end of a PE image's section data
// in its file. Pure arithmetic over the image's header bytes, so that it is
// tested natively on the built executables and shared by the installer
// (over its own loaded headers) and q7pack (over a stub file).

#include <cstddef>
#include <cstdint>
#include <optional>

// The largest PointerToRawData + SizeOfRawData over the image's sections
// (unsigned 32-bit; a sum past 4 GiB gives 0xFFFFFFFF, never a wrapped
// small offset), 0 when it has none. The section table is found through
// the file header's SizeOfOptionalHeader, so PE32 and PE32+ both work.
// std::nullopt when the bytes are not a PE image: no "MZ", no "PE\0\0"
// signature, or headers that run past size.
std::optional<uint32_t> PeImageDataEnd(const unsigned char* image, size_t size);

// Where the archive appended to an image starts, as a stream position.
struct TAppendedArchiveStart {
    enum TKind {
        NotAnImage,   // not a PE image (a bare archive starts at 0)
        Unreachable,  // a PE image whose section data ends at 2^31 or beyond,
                      // where no signed 32-bit stream position reaches
        Reachable,    // a PE image; its archive starts at Offset
    };
    TKind Kind = NotAnImage;
    int32_t Offset = 0;
};

// PeImageDataEnd judged as the start of an appended archive: the one
// computation behind the installer's start-up and q7pack's reading commands.
TAppendedArchiveStart AppendedArchiveStart(const unsigned char* image, size_t size);
