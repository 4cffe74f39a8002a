// The installer's own crc32: the standard check values, and zlib's inflate
// using it to accept a gzip stream and to refuse one whose checksum is wrong.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>

namespace {

const unsigned char kHello[] = {0x1f, 0x8b, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x03, 0xcb, 0x48, 0xcd,
                                0xc9, 0xc9, 0xe7, 0x02, 0x00, 0x20, 0x30, 0x3a, 0x36, 0x06, 0x00, 0x00, 0x00};

uLong Crc(const char* text) { return crc32(0, reinterpret_cast<const Bytef*>(text), std::strlen(text)); }

int Gunzip(unsigned char* data, uInt size, std::string& out) {
    z_stream z = {};
    char buffer[64];
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) return Z_STREAM_ERROR;
    z.next_in = data;
    z.avail_in = size;
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = sizeof buffer;
    int status = inflate(&z, Z_FINISH);
    out.assign(buffer, sizeof buffer - z.avail_out);
    inflateEnd(&z);
    return status;
}

TEST(ZlibCrc32, GivesTheStandardValuesAndChecksGzipStreams) {
    EXPECT_EQ(crc32(0, nullptr, 0), 0u);
    EXPECT_EQ(Crc(""), 0u);
    EXPECT_EQ(Crc("a"), 0xe8b7be43u);
    EXPECT_EQ(Crc("123456789"), 0xcbf43926u);
    EXPECT_EQ(crc32(Crc("12345"), reinterpret_cast<const Bytef*>("6789"), 4), 0xcbf43926u);

    unsigned char stream[sizeof kHello];
    std::memcpy(stream, kHello, sizeof stream);
    std::string text;
    EXPECT_EQ(Gunzip(stream, sizeof stream, text), Z_STREAM_END);
    EXPECT_EQ(text, "hello\n");
    stream[18] ^= 1;  // the stored CRC-32
    EXPECT_EQ(Gunzip(stream, sizeof stream, text), Z_DATA_ERROR);
}

}  // namespace
