#include "archive/uZlibArchive.h"

#include <zlib.h>

#include <algorithm>
#include <memory>

#include "system/io/uByteOrder.h"

namespace {

// Reads one entry's header and name from the stream's position into entry;
// false at the end of the table. Raises EZLibError for a record that cannot
// be read whole, and for one that does not lie wholly at positions a signed
// 32-bit stream reaches: its header, name and data, and the position behind
// them where the next record starts.
bool ReadRecord(TStream& stream, TZLibPackedFile& entry) {
    int32_t start = stream.Position();
    if (start < 0) throw EZLibError();
    unsigned char header[ArchiveHeaderSize];
    if (stream.Read(header, ArchiveHeaderSize) < ArchiveHeaderSize) return false;
    uint32_t packed = LoadLE32(header + 4);
    if (LoadLE16(header) != ArchiveMagic || packed == 0) return false;

    int32_t nameLength = static_cast<int32_t>(LoadLE16(header + 2));
    int64_t dataOffset = static_cast<int64_t>(start) + ArchiveHeaderSize + nameLength;
    if (dataOffset + packed > INT32_MAX) throw EZLibError();
    entry.Name.resize(static_cast<size_t>(nameLength));
    if (stream.Read(entry.Name.data(), nameLength) < nameLength) throw EZLibError();
    entry.PackedSize = packed;
    entry.UnpackedSize = LoadLE32(header + 8);
    entry.DataOffset = static_cast<int32_t>(dataOffset);
    entry.Source = &stream;
    return true;
}

// The inflate state, ended on every way out.
class TInflater {
public:
    TInflater() {
        if (inflateInit(&z) != Z_OK) throw EZDecompressionError();
    }
    ~TInflater() { inflateEnd(&z); }
    TInflater(const TInflater&) = delete;
    TInflater& operator=(const TInflater&) = delete;

    // One inflate call into out; returns the zlib status. Any status but OK,
    // STREAM_END and "no progress possible" (BUF_ERROR, which the caller
    // judges) is a failure.
    int Step(unsigned char* out, int flush) {
        z.next_out = out;
        z.avail_out = InflateBufferSize;
        int status = inflate(&z, flush);
        if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) throw EZDecompressionError();
        return status;
    }
    int32_t Produced() const { return InflateBufferSize - static_cast<int32_t>(z.avail_out); }

    z_stream z{};
};

void WriteAll(TStream& output, const unsigned char* data, int32_t count, TInflateTotals& totals) {
    if (output.Write(data, count) != count) throw EZShortWriteError();
    totals.produced += static_cast<uint64_t>(count);
}

}  // namespace

std::string TZLibAbstractArchive::ErrorCodeText(uint8_t code) {
    static const uint32_t kIds[] = {65520, 65521, 65522, 65523, 65524, 65525, 65526, 65529, 65527, 65528};
    return ResourceText(code < std::size(kIds) ? kIds[code] : 65530);
}

uint8_t TZLibUnpacker::LoadFileTable(TStream& stream) {
    Clear();
    try {
        TZLibPackedFile entry;
        while (ReadRecord(stream, entry)) {
            Files.push_back(entry);
            // ReadRecord checked that the position behind the data fits; a
            // stream that still cannot seek there ends the table with 7.
            int32_t next = entry.DataOffset + static_cast<int32_t>(entry.PackedSize);
            if (stream.Seek(next, soFromBeginning) < 0) throw EZLibError();
        }
    } catch (...) {
        return zaLoadTable;
    }
    return zaOk;
}

const TZLibPackedFile* TZLibUnpacker::FindFile(std::string_view name) const {
    std::string wanted = AsciiLower(name);
    for (const TZLibPackedFile& entry : Files)
        if (AsciiLower(entry.Name) == wanted) return &entry;
    return nullptr;
}

uint8_t TZLibPackedFile::ExtractTo(TStream* output) const {
    if (Source == nullptr) return zaNoInput;
    if (output == nullptr) return zaNoOutput;
    try {
        Inflate(*output);
    } catch (...) {
        return zaUncompress;
    }
    return zaOk;
}

void TZLibPackedFile::Inflate(TStream& output, TInflateTotals* totals) const {
    // An entry the reader made lies below 2^31; one made by hand may not.
    int64_t end = static_cast<int64_t>(DataOffset) + PackedSize;
    if (DataOffset < 0 || end > INT32_MAX) throw EZDecompressionError();
    TVirtualSizeStream view(*Source);
    view.Resize(static_cast<int32_t>(end));
    // Reading from wherever the source happens to stand would inflate
    // bytes of another entry.
    if (view.Seek(DataOffset, soFromBeginning) != DataOffset) throw EZDecompressionError();
    InflateStream(view, output, totals);
}

// --- The bounded view ---------------------------------------------------

int32_t TVirtualSizeStream::ClampCount(int32_t count) {
    int32_t position = Source.Position();
    if (count <= 0 || position < 0 || position >= VirtualSize) return 0;
    return static_cast<int32_t>(std::min<int64_t>(count, static_cast<int64_t>(VirtualSize) - position));
}

int32_t TVirtualSizeStream::Read(void* buffer, int32_t count) { return Source.Read(buffer, ClampCount(count)); }

int32_t TVirtualSizeStream::Write(const void* buffer, int32_t count) {
    return Source.Write(buffer, ClampCount(count));
}

int32_t TVirtualSizeStream::Seek(int32_t offset, uint16_t origin) {
    switch (origin) {
    case soFromBeginning: return Source.Seek(std::min(offset, VirtualSize), soFromBeginning);
    case soFromCurrent: {
        int32_t position = Source.Position();
        if (position < 0) return -1;
        int64_t target = std::min<int64_t>(static_cast<int64_t>(position) + offset, VirtualSize);
        return Source.Seek(static_cast<int32_t>(target), soFromBeginning);
    }
    // From the end means from the bound: the view never reaches past it.
    case soFromEnd: {
        int64_t target = offset <= 0 ? VirtualSize : static_cast<int64_t>(VirtualSize) - offset;
        return target < 0 ? -1 : Source.Seek(static_cast<int32_t>(target), soFromBeginning);
    }
    default: return Source.Seek(offset, origin);
    }
}

// --- Inflation ------------------------------------------------------------

void InflateStream(TStream& input, TStream& output, TInflateTotals* totals) {
    TInflateTotals local;
    TInflateTotals& t = totals ? *totals : local;
    t = TInflateTotals();
    auto in = std::make_unique<unsigned char[]>(InflateBufferSize);
    auto out = std::make_unique<unsigned char[]>(InflateBufferSize);
    TInflater inflater;
    z_stream& z = inflater.z;

    // Feed the input block by block. The zlib stream may end before the
    // input does; the bytes behind its end are not part of the entry.
    int status = Z_OK;
    for (int32_t n; status != Z_STREAM_END && (n = input.Read(in.get(), InflateBufferSize)) > 0;) {
        if (n > InflateBufferSize) throw EZDecompressionError();  // a stream that claims more than it was asked
        t.readIn += static_cast<uint64_t>(n);
        z.next_in = in.get();
        z.avail_in = static_cast<uInt>(n);
        do {
            status = inflater.Step(out.get(), Z_NO_FLUSH);
            WriteAll(output, out.get(), inflater.Produced(), t);
            // BUF_ERROR here only means this block is used up with the
            // output buffer exactly full before: read on.
        } while (status == Z_OK && (z.avail_in > 0 || z.avail_out == 0));
    }
    // The input is exhausted: flush what is pending. A stream that has not
    // ended by now is cut short, which zlib reports as BUF_ERROR.
    while (status != Z_STREAM_END) {
        status = inflater.Step(out.get(), Z_FINISH);
        if (status == Z_BUF_ERROR) throw EZDecompressionError();
        WriteAll(output, out.get(), inflater.Produced(), t);
    }
    t.consumed = z.total_in;
    t.streamEnd = true;
}
