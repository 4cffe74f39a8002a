#pragma once
// Where the appended archive starts: the end of a PE image's section data
// in its file. Pure arithmetic over the image's header bytes, so that it is
// tested natively on the built executables and shared by the installer
// (over its own loaded headers) and q7pack (over a stub file).

#include <cstddef>
#include <cstdint>
#include <optional>

// The largest PointerToRawData + SizeOfRawData over the image's sections
// (unsigned 32-bit), 0 when it has none. The section table is found through
// the file header's SizeOfOptionalHeader, so PE32 and PE32+ both work.
// std::nullopt when the bytes are not a PE image: no "MZ", no "PE\0\0"
// signature, or headers that run past size.
std::optional<uint32_t> PeImageDataEnd(const unsigned char* image, size_t size);
