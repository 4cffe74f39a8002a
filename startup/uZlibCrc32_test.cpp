// The installer's own crc32: the standard check value, in two calls, and zlib's inflate using
// it to accept a gzip stream ("hello\n") and to refuse one with a wrong CRC.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

TEST(ZlibCrc32, GivesTheCheckValueAndChecksGzipStreams) {
    EXPECT_EQ(crc32(0, nullptr, 0), 0u);
    EXPECT_EQ(crc32(crc32(0, (const Bytef*)"12345", 5), (const Bytef*)"6789", 4), 0xcbf43926u);
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

// The installer's own adler32 (uZlibAdler32.cpp): check values computed by
// Python's zlib, across the runs after which the sums are reduced, and with
// every byte at its largest.
TEST(ZlibAdler32, GivesZlibsValuesAcrossItsRuns) {
    std::string pattern(100000, '\0'), full(20000, '\xFF');
    for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<char>(i * 7 % 251);
    auto sum = [](const std::string& s, size_t n) { return adler32(1, (const Bytef*)s.data(), (uInt)n); };
    EXPECT_EQ(adler32(0, nullptr, 0), 1u);
    EXPECT_EQ(adler32(adler32(1, (const Bytef*)"Wiki", 4), (const Bytef*)"pedia", 5), 0x11e60398u);
    EXPECT_EQ(sum(pattern, pattern.size()), 0x437bc42eu);
    EXPECT_EQ(sum(pattern, 5552 * 2 + 17), 0x78a534b8u);
    EXPECT_EQ(sum(full, full.size()), 0x9f51d664u);
}
