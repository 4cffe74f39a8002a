#include "archive/uZlibWriter.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "archive/uZlibArchive.h"

namespace {

std::string Inflate(const std::string& packed, size_t size) {
    std::string out(size, '\0');
    uLongf n = static_cast<uLongf>(size);
    EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(packed.data()),
                         static_cast<uLong>(packed.size())),
              Z_OK);
    out.resize(n);
    return out;
}

TEST(CompressZlib, MakesZlibStreamsAtEveryLevel) {
    std::string data;
    for (int i = 0; i < 50000; ++i) data += static_cast<char>("installer "[i % 10] + (i % 7));
    for (int level = 0; level <= MaxCompressionLevel(); ++level) {
        std::string packed = CompressZlib(data, level);
        EXPECT_EQ(static_cast<unsigned char>(packed[0]), 0x78) << level;
        EXPECT_EQ(Inflate(packed, data.size()), data) << level;
    }
    EXPECT_EQ(Inflate(CompressZlib("", 6), 0), "");
    EXPECT_THROW(CompressZlib(data, MaxCompressionLevel() + 1), EZLibError);
    EXPECT_THROW(CompressZlib(data, -1), EZLibError);
}

// Takes nothing after the first `room` bytes.
class TShortStream : public TStringStream {
public:
    explicit TShortStream(int32_t room) : room_(room) {}
    int32_t Write(const void* buffer, int32_t count) override {
        int32_t n = std::min(count, room_ - static_cast<int32_t>(Data.size()));
        return n > 0 ? TStringStream::Write(buffer, n) : 0;
    }

private:
    int32_t room_;
};

// Every archive the other tests read is written by AppendEntry; here are
// the limits of the format, short writes and the end record.
TEST(ArchiveWriter, RefusesWhatTheFormatCannotHoldAndReportsShortWrites) {
    TStringStream s;
    TZLibArchiveWriter writer(s);
    EXPECT_EQ(writer.AppendEntry(std::string(65536, 'n'), "x", 1), zaAppend);
    EXPECT_EQ(writer.AppendEntry("empty", "", 0), zaAppend);
    EXPECT_EQ(s.Data, "") << "a refused entry writes nothing";
    EXPECT_EQ(writer.AppendEntry(std::string(65535, 'n'), CompressZlib("x", 1), 1), zaOk);
    ASSERT_EQ(writer.WriteEnd(), zaOk);
    EXPECT_EQ(s.Data.substr(s.Data.size() - 12), std::string("px") + std::string(10, '\0'));

    TShortStream full(20);
    TZLibArchiveWriter fullWriter(full);
    EXPECT_EQ(fullWriter.AppendEntry("name", CompressZlib("data", 1), 4), zaAppendIo);
    EXPECT_EQ(fullWriter.WriteEnd(), zaWriteEofIo);
}

}  // namespace
