#pragma once
// Little-endian numbers in byte buffers: the archive's headers, PE headers
// and registry DWORDs all store them so.

#include <cstdint>

inline uint32_t LoadLE16(const unsigned char* p) { return p[0] | (p[1] << 8); }

inline uint32_t LoadLE32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
