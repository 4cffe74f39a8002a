// zlib's adler32 is unrolled sixteen-fold and comes to about 1.5 KiB in
// the installer. This plain loop computes the same checksum in about a
// tenth of that, and every inflated byte passes through it: over 64 MiB it
// took as long as zlib's, within the noise of a loaded machine. Like crc32
// in uZlibCrc32.cpp, as an object of the program it is linked in place of
// zlib's.
#include <zlib.h>

extern "C" uLong ZEXPORT adler32(uLong adler, const Bytef* bytes, uInt length) {
    constexpr uLong kBase = 65521;
    // The most bytes after which both sums still fit in 32 bits.
    constexpr uInt kMaxRun = 5552;
    if (!bytes) return 1;
    uLong a = adler & 0xffff, b = (adler >> 16) & 0xffff;
    while (length > 0) {
        uInt run = length < kMaxRun ? length : kMaxRun;
        length -= run;
        while (run-- > 0) {
            a += *bytes++;
            b += a;
        }
        a %= kBase;
        b %= kBase;
    }
    return (b << 16) | a;
}
