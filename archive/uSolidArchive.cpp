#include "archive/uSolidArchive.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "archive/uInflate.h"
#include "archive/uZlibArchive.h"
#include "system/io/uByteOrder.h"

// Every refusal of a damaged table: one place that raises, so that the
// checks stay small in the installer.
namespace {
[[noreturn]] __attribute__((noinline)) void Refuse() { throw EZLibError(); }
}  // namespace

// Reads the inflated table front to back; raises EZLibError at its end.
class TTableReader {
public:
    TTableReader(const std::string& bytes, size_t at) : bytes_(bytes), at_(at) {}

    __attribute__((noinline)) const unsigned char* Take(uint64_t n) {
        if (n > bytes_.size() - at_) Refuse();
        at_ += static_cast<size_t>(n);
        return reinterpret_cast<const unsigned char*>(bytes_.data()) + at_ - n;
    }
    uint32_t U8() { return *Take(1); }
    uint32_t U16() { return LoadLE16(Take(2)); }
    uint32_t U32() { return LoadLE32(Take(4)); }
    size_t At() const { return at_; }

private:
    const std::string& bytes_;
    size_t at_;
};

namespace {

constexpr uint32_t kChunk = 65536;

// lc + lp above 4 would make the decoder's tables grow to megabytes.
void CheckProps(const unsigned char* props) {
    uint32_t d = props[0];
    if (d >= 9 * 5 * 5 || d % 9 + d / 9 % 5 > 4 || LoadLE32(props + 1) > SolidWindowLimit) Refuse();
}

// Ranges in order, apart, inside the entry; pieces inside the segment,
// adding up to the entry's size.
void CheckPlacement(const TSolidRecord& r, uint32_t segmentSize) {
    if (r.Filter != 0 && r.Filter != bcX86 && r.Filter != bcX64) Refuse();
    uint64_t end = 0, total = 0;
    for (uint32_t i = 0; i < r.Ranges; ++i) {
        uint64_t offset = LoadLE32(r.Range + 12 * i), size = LoadLE32(r.Range + 12 * i + 4);
        if (offset < end || offset + size > r.Size) Refuse();
        end = offset + size;
    }
    for (uint32_t i = 0; i < r.Pieces; ++i) {
        uint64_t offset = LoadLE32(r.Piece + 8 * i), length = LoadLE32(r.Piece + 8 * i + 4);
        if (offset + length > segmentSize) Refuse();
        total += length;
    }
    if (total != r.Size) Refuse();
}

// Where a segment entry's bytes are: its filter and ranges, its pieces.
void ReadPlacement(TTableReader& in, TSolidRecord& r) {
    r.Filter = in.U8();
    if (r.Filter != 0) {
        r.ImageSize = in.U32();
        r.Ranges = in.U32();
        r.Range = in.Take(uint64_t{12} * r.Ranges);
    }
    r.Pieces = in.U32();
    r.Piece = in.Take(uint64_t{8} * r.Pieces);
}

}  // namespace

// Reads and checks the record; every caller gets the same answer, so
// extraction reads what loading checked.
__attribute__((noinline)) TSolidRecord TSolidArchive::Record(uint32_t at, size_t* end) const {
    TTableReader in(table_, at);
    TSolidRecord r;
    r.Size = in.U32();
    r.Check = in.U32();
    r.Segment = in.U32();
    if (r.Segment == SolidInTable) {
        r.Piece = in.Take(r.Size);
    } else {
        if (r.Segment >= SegmentCount()) Refuse();
        ReadPlacement(in, r);
        CheckPlacement(r, SegmentSize(r.Segment));
    }
    if (end) *end = in.At();
    return r;
}

// A segment's streams, which fill it one after the other.
void TSolidArchive::ReadSegment(TTableReader& in) {
    uint32_t count = in.U32(), size = 0;
    if (count > SolidStreamLimit) Refuse();
    for (uint32_t i = 0; i < count; ++i) {
        TSolidStream stream;
        stream.Packed = in.U32();
        stream.Size = in.U32();
        stream.Props = in.Take(LzmaPropsSize);
        CheckProps(stream.Props);
        if (stream.Size > SolidWindowLimit - size) Refuse();
        stream.Offset = size;
        size += stream.Size;
        stream.Start = static_cast<int32_t>(end_);
        end_ += stream.Packed;
        if (end_ > INT32_MAX) Refuse();
        streams_.push_back(stream);
    }
    first_.push_back(static_cast<uint32_t>(streams_.size()));
}

uint32_t TSolidArchive::SegmentSize(uint32_t segment) const {
    if (first_[segment + 1] == first_[segment]) return 0;
    const TSolidStream& last = streams_[first_[segment + 1] - 1];
    return last.Offset + last.Size;
}

void TSolidArchive::Load(TStream& stream, const unsigned char* header, std::vector<TZLibPackedFile>& files) {
    uint32_t packed = LoadLE32(header + 4), size = LoadLE32(header + 8);
    int32_t at = stream.Position();
    if (at < 0 || size > SolidTableLimit) Refuse();
    TZLibPackedFile table;
    table.PackedSize = packed;
    table.DataOffset = at;
    table.Source = source_ = &stream;
    TStringStream bytes;
    TCappedStream capped(bytes, size);
    table.Inflate(capped);  // refuses a table that does not lie below 2^31
    if (capped.Written() != size) Refuse();
    table_ = std::move(bytes.Data);

    TTableReader in(table_, 0);
    end_ = int64_t{at} + packed;
    for (uint32_t n = in.U32(); n > 0; --n) ReadSegment(in);
    for (uint32_t n = in.U32(); n > 0; --n) {
        TZLibPackedFile file;
        uint32_t length = in.U16();
        file.Name.assign(reinterpret_cast<const char*>(in.Take(length)), length);
        file.Source = &stream;
        file.Solid = this;
        file.SolidRecord = static_cast<uint32_t>(in.At());
        size_t next = 0;
        file.UnpackedSize = Record(file.SolidRecord, &next).Size;
        in.Take(next - in.At());
        files.push_back(file);
    }
}

// --- Extraction -------------------------------------------------------------

TSolidArchive::~TSolidArchive() { worker_.Stop(); }

// Takes the window for segment, dropping the last one, and starts decoding
// into it; the caller holds lock_ and no one holds the window.
void TSolidArchive::Switch(uint32_t segment) {
    worker_.Stop();
    current_ = SolidInTable;
    decoder_.Close();
    window_.reset();
    // Memory that cannot be had raises, which fails the entry.
    window_.reset(new unsigned char[SegmentSize(segment) + 1]);
    current_ = segment;
    filling_ = first_[segment];
    fillEnd_ = first_[segment + 1];
    filled_ = 0;
    worker_.Start(&TSolidArchive::DecodeStep, this);
}

// Holds segment's window for the caller; a caller of another segment waits
// until every holder of the window before has let it go.
void TSolidArchive::Hold(uint32_t segment) {
    for (;;) {
        unsigned long seen = released_.Changes();
        {
            TLockHold hold(lock_);
            if (current_ != segment && holders_ == 0) Switch(segment);
            if (current_ == segment) {
                ++holders_;
                return;
            }
        }
        released_.Wait(seen, 100);
    }
}

// Lets the window go; after a damaged stream the next caller decodes the
// segment afresh.
void TSolidArchive::Release(bool damaged) {
    {
        TLockHold hold(lock_);
        --holders_;
        if (damaged) current_ = SolidInTable;
    }
    released_.Changed();
}

// On the decoder thread: decodes the next MiB of the current segment's
// streams, one after the other; false when all are decoded or one fails.
bool TSolidArchive::DecodeStep(void* self) {
    TSolidArchive& a = *static_cast<TSolidArchive*>(self);
    if (a.filling_ >= a.fillEnd_) return false;
    const TSolidStream& s = a.streams_[a.filling_];
    try {
        if (!a.decoder_.IsOpen() &&
            !a.decoder_.Open(*a.source_, s.Start, s.Packed, a.window_.get() + s.Offset, s.Size, s.Props))
            return false;
    } catch (const std::bad_alloc&) {
        return false;  // the decoder's input buffer: the entries waiting fail
    }
    bool ok = a.decoder_.DecodeTo(a.decoder_.Decoded() +
                                  std::min<uint32_t>(1u << 20, s.Size - a.decoder_.Decoded()));
    a.filled_.store(s.Offset + a.decoder_.Decoded(), std::memory_order_release);
    if (!ok) return false;
    if (a.decoder_.Decoded() == s.Size) {
        a.decoder_.Close();
        ++a.filling_;
    }
    return true;
}

// Waits until the held window holds its bytes before upto.
bool TSolidArchive::Decode(uint64_t upto, TStream& beat) {
    for (;;) {
        unsigned long seen = worker_.Steps();
        if (filled_.load(std::memory_order_acquire) >= upto) return true;
        if (!worker_.Await(seen)) return filled_.load(std::memory_order_acquire) >= upto;
        beat.Write(window_.get(), 0);
    }
}

// Copies the entry's bytes at .. at + length from the window to chunk,
// decoding as far as they need.
bool TSolidArchive::Gather(const TSolidRecord& entry, uint32_t at, uint32_t length, unsigned char* chunk,
                           TStream& beat) {
    uint64_t from = 0, end = uint64_t{at} + length;
    for (uint32_t i = 0; i < entry.Pieces && from < end; ++i) {
        uint32_t offset = LoadLE32(entry.Piece + 8 * i), size = LoadLE32(entry.Piece + 8 * i + 4);
        uint64_t to = from + size;
        if (to > at) {
            uint64_t first = std::max<uint64_t>(from, at), last = std::min(to, end);
            uint64_t in = offset + (first - from);
            if (!Decode(in + (last - first), beat)) return false;
            std::memcpy(chunk + (first - at), window_.get() + in, static_cast<size_t>(last - first));
        }
        from = to;
    }
    return true;
}

// Reverts the filter on chunk, the entry's bytes at .. at + length;
// returns how many of them are final.
uint32_t TSolidArchive::Unfilter(const TSolidRecord& entry, uint32_t at, uint32_t length, unsigned char* chunk) {
    for (uint32_t i = 0; i < entry.Ranges; ++i) {
        const unsigned char* range = entry.Range + 12 * i;
        uint32_t offset = LoadLE32(range), size = LoadLE32(range + 4);
        uint32_t first = std::max(at, offset);
        uint64_t last = std::min<uint64_t>(uint64_t{at} + length, uint64_t{offset} + size);
        if (first >= last) continue;
        size_t n = static_cast<size_t>(last - first);
        size_t done = BranchFilter(static_cast<TBranchCode>(entry.Filter), chunk + (first - at), n,
                                   first - offset, size, LoadLE32(range + 8), entry.ImageSize, false);
        if (done < n) return first - at + static_cast<uint32_t>(done);
    }
    return length;
}

bool TSolidArchive::FromSegment(const TSolidRecord& entry, TStream& output, uint32_t& check) {
    std::unique_ptr<unsigned char[]> chunk(new unsigned char[kChunk]);
    Hold(entry.Segment);
    struct THeld {
        TSolidArchive& archive;
        bool damaged = false;
        ~THeld() { archive.Release(damaged); }
    } held{*this};
    for (uint32_t at = 0; at < entry.Size;) {
        uint32_t length = std::min(kChunk, entry.Size - at);
        if (!Gather(entry, at, length, chunk.get(), output)) {
            held.damaged = true;
            return false;
        }
        length = Unfilter(entry, at, length, chunk.get());
        check = Adler32(check, chunk.get(), length);
        if (output.Write(chunk.get(), static_cast<int32_t>(length)) != static_cast<int32_t>(length)) return false;
        at += length;
    }
    return true;
}

bool TSolidArchive::Extract(uint32_t record, TStream& output) {
    TSolidRecord entry = Record(record);
    uint32_t check = 1;  // the Adler-32 of nothing
    if (entry.Segment != SolidInTable) {
        if (!FromSegment(entry, output, check)) return false;
    } else if (entry.Size > 0) {
        check = Adler32(check, entry.Piece, entry.Size);
        if (output.Write(entry.Piece, static_cast<int32_t>(entry.Size)) != static_cast<int32_t>(entry.Size))
            return false;
    }
    return check == entry.Check;
}
