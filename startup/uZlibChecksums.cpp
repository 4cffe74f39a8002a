// zlib's checksums, small. zlib's inflate refers to crc32 for gzip streams
// only; the installer reads zlib streams, which carry an Adler-32. zlib's
// own crc32 brings about 8 KiB of tables and table-driven code into the
// installer for that reference, its unrolled adler32 about 1.8 KiB. These
// compute the same checksums in a few dozen bytes each (crc32 slowly, on a
// path the installer does not take; adler32 at about a byte a cycle), and as
// objects of the program they are linked in place of zlib's.
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

extern "C" uLong ZEXPORT adler32(uLong adler, const Bytef* bytes, uInt length) {
    if (!bytes) return 1;
    uLong a = adler & 0xffff, b = adler >> 16 & 0xffff;
    while (length > 0) {
        // 5552 bytes is the most that cannot overflow b before the modulo.
        uInt n = length < 5552 ? length : 5552;
        length -= n;
        while (n-- > 0) b += a += *bytes++;
        a %= 65521;
        b %= 65521;
    }
    return b << 16 | a;
}
