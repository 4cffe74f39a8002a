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

// The Adler-32 that zlib streams carry, in a plain loop: zlib's own unrolls
// it sixteen-fold into about 2 KiB of code and unwind tables. This one
// folds the sums every 5552 bytes, where they could first overflow 32 bits,
// and still checks a hundred megabytes in a fraction of a second.
extern "C" uLong ZEXPORT adler32(uLong adler, const Bytef* bytes, uInt length) {
    if (!bytes) return 1;
    uLong a = adler & 0xffff, b = (adler >> 16) & 0xffff;
    while (length > 0) {
        uInt n = length < 5552 ? length : 5552;
        length -= n;
        while (n-- > 0) b += a += *bytes++;
        a %= 65521;
        b %= 65521;
    }
    return (b << 16) | a;
}
