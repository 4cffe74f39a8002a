// Fuzz target over the solid archive's reader: the table and the LZMA
// streams as the fuzzer gives them, the table deflated and put behind a
// header as q7pack writes it, so that mutations reach the table's fields
// and the decoder instead of zlib's checksum. Every entry is extracted in
// table order, then backwards (which starts streams again and copies from
// the window).
//
// Input: table length (2 bytes, little-endian), the table, the streams.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "archive/uSolidArchive.h"
#include "archive/uZlibArchive.h"
#include "archive/uZlibWriter.h"
#include "system/io/uByteOrder.h"
#include "tests/fuzz/Require.h"

namespace {

// Counts what an extraction writes, in the reader's pieces of at most 64 KiB.
class TSink : public TStream {
public:
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void*, int32_t count) override {
        Require(count >= 0 && count <= 65536);
        written += count;
        return count;
    }
    int32_t Seek(int32_t, uint16_t) override { return 0; }
    int64_t written = 0;
};

void Put32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>(v >> (8 * i));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    size_t length = std::min<size_t>(LoadLE16(data), size - 2);
    std::string table(reinterpret_cast<const char*>(data) + 2, length);
    std::string packed = CompressZlib(table, 1);
    std::string bytes;
    Put32(bytes, SolidMagic);
    Put32(bytes, static_cast<uint32_t>(packed.size()));
    Put32(bytes, static_cast<uint32_t>(table.size()));
    bytes += packed;
    bytes.append(reinterpret_cast<const char*>(data) + 2 + length, size - 2 - length);

    TStringStream source(bytes);
    TZLibUnpacker unpacker;
    uint8_t code = unpacker.LoadFileTable(source);
    Require(code == zaOk || code == zaLoadTable);
    Require(code == zaOk || unpacker.FileCount() == 0);
    for (int pass = 0; pass < 2; ++pass)
        for (int32_t n = 0; n < unpacker.FileCount(); ++n) {
            const TZLibPackedFile& entry = unpacker.FileAt(pass == 0 ? n : unpacker.FileCount() - 1 - n);
            TSink sink;
            code = entry.ExtractTo(&sink);
            Require(code == zaOk || code == zaUncompress);
            Require(sink.written <= entry.UnpackedSize);
            Require(code != zaOk || sink.written == entry.UnpackedSize);
        }
    return 0;
}
