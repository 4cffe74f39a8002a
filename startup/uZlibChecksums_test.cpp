// The installer's own crc32 and adler32: the standard check values, in two calls, and zlib's
// inflate using them to accept a gzip stream ("hello\n") and to refuse one with a wrong CRC.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

TEST(ZlibChecksums, GiveTheCheckValuesAndCheckGzipStreams) {
    EXPECT_EQ(crc32(0, nullptr, 0), 0u);
    EXPECT_EQ(crc32(crc32(0, (const Bytef*)"12345", 5), (const Bytef*)"6789", 4), 0xcbf43926u);
    EXPECT_EQ(adler32(adler32(1, (const Bytef*)"Wiki", 4), (const Bytef*)"pedia", 5), 0x11E60398u);
    std::string ff(100000, '\xff');  // long enough to need the modulo on the way
    EXPECT_EQ(adler32(1, (const Bytef*)ff.data(), (uInt)ff.size()), 0x149A302Cu);
    unsigned char gz[] = {0x1f, 0x8b, 8,    0, 0, 0,    0,    0,    2,    3, 0xcb, 0x48, 0xcd,
                          0xc9, 0xc9, 0xe7, 2, 0, 0x20, 0x30, 0x3a, 0x36, 6, 0,    0,    0};
    for (int wrong = 0; wrong < 2; ++wrong) {
        gz[18] ^= wrong;  // the stored CRC-32
        z_stream z = {};
        char out[16];
        ASSERT_EQ(inflateInit2(&z, 16 + MAX_WBITS), Z_OK);
        z.next_in = gz, z.avail_in = sizeof gz, z.next_out = (Bytef*)out, z.avail_out = sizeof out;
        EXPECT_EQ(inflate(&z, Z_FINISH), wrong ? Z_DATA_ERROR : Z_STREAM_END);
        EXPECT_EQ(std::string(out, sizeof out - z.avail_out), "hello\n");
        inflateEnd(&z);
    }
}
