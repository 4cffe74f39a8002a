// Fuzz target over the archive reader: load the table, look entries up by
// name and index, and extract every entry into a counting stream.
//
// The first four input bytes choose where the rest of the input sits in the
// source stream: with the top bit clear at position 0, otherwise just below
// 2^31 (the low 20 bits give the distance), with zeros in front, as in a
// sparse file. So the arithmetic near the 2 GiB limit is fuzzed without
// 2 GiB of memory. The stream behaves like a file: reads may move past
// 2^31, a position there reads as -1, and a seek that would land there
// fails without moving.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "archive/uZlibArchive.h"
#include "system/io/uByteOrder.h"
#include "tests/fuzz/Require.h"

namespace {

class TSparseStream : public TStream {
public:
    TSparseStream(const uint8_t* data, size_t size, int64_t base) : data_(data), size_(size), base_(base) {}

    int32_t Read(void* buffer, int32_t count) override {
        if (count <= 0 || position_ >= End()) return 0;
        int64_t n = std::min<int64_t>(count, End() - position_);
        auto* out = static_cast<uint8_t*>(buffer);
        for (int64_t i = 0; i < n; ++i) {
            int64_t at = position_ + i - base_;
            out[i] = at < 0 ? 0 : data_[at];
        }
        position_ += n;
        return static_cast<int32_t>(n);
    }
    int32_t Write(const void*, int32_t) override { return 0; }
    int32_t Seek(int32_t offset, uint16_t origin) override {
        int64_t target = offset;
        if (origin == soFromCurrent)
            target += position_;
        else if (origin == soFromEnd)
            target += End();
        else if (origin != soFromBeginning)
            return -1;
        if (target < 0 || target > INT32_MAX) return -1;
        position_ = target;
        return static_cast<int32_t>(position_);
    }

private:
    int64_t End() const { return base_ + static_cast<int64_t>(size_); }

    const uint8_t* data_;
    size_t size_;
    int64_t base_;
    int64_t position_ = 0;
};

// Counts what an extraction writes; takes at most kRoom bytes per entry, so
// that a zlib bomb ends as a short write instead of a slow run.
class TCountingStream : public TStream {
public:
    static constexpr int64_t kRoom = int64_t{8} << 20;
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void*, int32_t count) override {
        // zlib entries come in the inflater's pieces, solid ones in the reader's.
        Require(count >= 0 && count <= std::max(InflateOutputPiece, 2 * InflateBufferSize));
        int32_t n = static_cast<int32_t>(std::min<int64_t>(count, kRoom - written));
        written += n;
        return n;
    }
    int32_t Seek(int32_t, uint16_t) override { return 0; }
    int64_t written = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    uint32_t choice = LoadLE32(data);
    int64_t base = (choice & 0x80000000u) ? INT32_MAX - static_cast<int64_t>(choice & 0xFFFFFu) : 0;
    TSparseStream source(data + 4, size - 4, base);
    source.MoveTo(static_cast<int32_t>(base));

    TZLibUnpacker unpacker;
    uint8_t code = unpacker.LoadFileTable(source);
    Require(code == zaOk || code == zaLoadTable);
    for (int32_t i = 0; i < unpacker.FileCount(); ++i) {
        const TZLibPackedFile& entry = unpacker.FileAt(i);
        // Every kept record lies wholly below 2^31.
        Require(entry.Solid || entry.DataOffset >= 12 + static_cast<int64_t>(entry.Name.size()));
        Require(static_cast<int64_t>(entry.DataOffset) + entry.PackedSize <= INT32_MAX);
        Require(unpacker.FindFile(entry.Name) != nullptr);
        TCountingStream sink;
        code = entry.ExtractTo(&sink);
        Require(code == zaOk || code == zaUncompress);
    }
    unpacker.FindFile("setup.ini");
    return 0;
}
