// zlib's inflate refers to crc32 for gzip streams only; the installer reads
// zlib streams, which carry an Adler-32. zlib's own crc32 brings about 8 KiB
// of tables and table-driven code into the installer for that reference.
// This bitwise one computes the same checksum in a few dozen bytes (slowly,
// on a path the installer does not take), and as an object of the program
// it is linked in place of zlib's.
#include <zlib.h>

extern "C" uLong ZEXPORT crc32(uLong crc, const Bytef* bytes, uInt length) {
    if (!bytes) return 0;
    crc = ~crc & 0xffffffffUL;
    while (length-- > 0) {
        crc ^= *bytes++;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xedb88320UL & (0 - (crc & 1)));
    }
    return ~crc & 0xffffffffUL;
}
