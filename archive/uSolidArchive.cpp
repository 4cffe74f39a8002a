#include "archive/uSolidArchive.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "archive/uZlibArchive.h"
#include "system/uByteOrder.h"

// Reads the inflated table front to back; raises EZLibError at its end.
class TTableReader {
public:
    explicit TTableReader(const std::string& bytes) : bytes_(bytes) {}

    size_t Skip(size_t n) {
        if (n > bytes_.size() - at_) throw EZLibError();
        at_ += n;
        return at_ - n;
    }
    const unsigned char* Take(size_t n) { return reinterpret_cast<const unsigned char*>(bytes_.data()) + Skip(n); }
    uint32_t U8() { return *Take(1); }
    uint32_t U16() { return LoadLE16(Take(2)); }
    uint32_t U32() { return LoadLE32(Take(4)); }
    // A count of records of at least size bytes each, bounded by the bytes
    // left, so no count makes anyone reserve more than the table holds.
    uint32_t Count(size_t size) {
        uint32_t n = U32();
        if (n > (bytes_.size() - at_) / size) throw EZLibError();
        return n;
    }

private:
    const std::string& bytes_;
    size_t at_ = 0;
};

namespace {

constexpr uint32_t kChunk = 65536;

// lc + lp above 4 would make the decoder's tables grow to megabytes.
bool PropsAccepted(const unsigned char* props) {
    uint32_t d = props[0];
    return d < 9 * 5 * 5 && d % 9 + d / 9 % 5 <= 4 && LoadLE32(props + 1) <= SolidWindowLimit;
}

void ReadBlocks(TTableReader& in, int64_t start, std::vector<TSolidBlock>& blocks) {
    for (uint32_t n = in.Count(13); n > 0; --n) {
        TSolidBlock block;
        block.Packed = in.U32();
        block.Size = in.U32();
        std::memcpy(block.Props, in.Take(LzmaPropsSize), LzmaPropsSize);
        if (block.Size > SolidWindowLimit || !PropsAccepted(block.Props)) throw EZLibError();
        if (start + block.Packed > INT32_MAX) throw EZLibError();
        block.Start = static_cast<int32_t>(start);
        start += block.Packed;
        blocks.push_back(block);
    }
}

}  // namespace

// The pieces of entry, which must fill exactly its size from its block.
void TSolidArchive::ReadPieces(TTableReader& in, TSolidEntry& entry) {
    if (entry.Block >= blocks_.size()) throw EZLibError();
    uint64_t blockSize = blocks_[entry.Block].Size, total = 0;
    entry.First = pieces_.size();
    entry.Count = in.Count(8);
    for (size_t i = 0; i < entry.Count; ++i) {
        TSolidPiece piece{in.U32(), in.U32()};
        if (piece.Offset + uint64_t{piece.Length} > blockSize) throw EZLibError();
        total += piece.Length;
        pieces_.push_back(piece);
    }
    if (total != entry.Size) throw EZLibError();
}

// The filtered ranges of entry: in order, apart, inside the entry.
void TSolidArchive::ReadRanges(TTableReader& in, TSolidEntry& entry) {
    entry.Filter = static_cast<uint8_t>(in.U8());
    if (entry.Filter == 0) return;
    if (entry.Filter != bcX86 && entry.Filter != bcX64) throw EZLibError();
    entry.ImageSize = in.U32();
    entry.FirstRange = ranges_.size();
    entry.Ranges = in.Count(12);
    uint64_t end = 0;
    for (size_t i = 0; i < entry.Ranges; ++i) {
        TSolidRange range{in.U32(), in.U32(), in.U32()};
        if (range.Offset < end || range.Offset + uint64_t{range.Size} > entry.Size) throw EZLibError();
        end = range.Offset + uint64_t{range.Size};
        ranges_.push_back(range);
    }
}

TSolidEntry TSolidArchive::ReadEntry(TTableReader& in, TZLibPackedFile& file) {
    uint32_t nameLength = in.U16();
    file.Name.assign(reinterpret_cast<const char*>(in.Take(nameLength)), nameLength);
    TSolidEntry entry;
    entry.Size = file.UnpackedSize = in.U32();
    entry.Check = in.U32();
    entry.Block = in.U32();
    if (entry.Block == SolidInTable) {
        entry.First = in.Skip(entry.Size);
        entry.Count = entry.Size;
        return entry;
    }
    ReadRanges(in, entry);
    ReadPieces(in, entry);
    return entry;
}

void TSolidArchive::Load(TStream& stream, const unsigned char* header, std::vector<TZLibPackedFile>& files) {
    uint32_t packed = LoadLE32(header + 4), size = LoadLE32(header + 8);
    int32_t at = stream.Position();
    if (at < 0 || size > SolidTableLimit || static_cast<int64_t>(at) + packed > INT32_MAX) throw EZLibError();
    TZLibPackedFile table;
    table.PackedSize = packed;
    table.DataOffset = at;
    table.Source = &stream;
    TStringStream bytes;
    TCappedStream capped(bytes, size);
    table.Inflate(capped);
    if (capped.Written() != size) throw EZLibError();
    table_ = std::move(bytes.Data);
    source_ = &stream;

    TTableReader in(table_);
    ReadBlocks(in, static_cast<int64_t>(at) + packed, blocks_);
    for (uint32_t n = in.Count(14); n > 0; --n) {
        TZLibPackedFile file;
        file.Source = &stream;
        file.Solid = this;
        file.SolidIndex = static_cast<uint32_t>(entries_.size());
        entries_.push_back(ReadEntry(in, file));
        files.push_back(std::move(file));
    }
}

// --- Extraction -------------------------------------------------------------

bool TSolidArchive::Enter(uint32_t block) {
    if (current_ == block) return true;
    current_ = SolidInTable;
    const TSolidBlock& b = blocks_[block];
    if (!window_.Open(*source_, b.Start, b.Packed, b.Size, b.Props)) return false;
    current_ = block;
    return true;
}

// Copies the entry's bytes at .. at + length from the window to scratch_,
// decoding as far as they need.
bool TSolidArchive::Gather(const TSolidEntry& entry, uint32_t at, uint32_t length, TStream& beat) {
    uint64_t from = 0, end = uint64_t{at} + length;
    for (size_t i = entry.First; i < entry.First + entry.Count && from < end; ++i) {
        const TSolidPiece& piece = pieces_[i];
        uint64_t to = from + piece.Length;
        if (to > at) {
            uint64_t first = std::max<uint64_t>(from, at), last = std::min(to, end);
            uint64_t in = piece.Offset + (first - from);
            if (!window_.DecodeTo(static_cast<uint32_t>(in + (last - first)), beat)) return false;
            std::memcpy(scratch_.data() + (first - at), window_.Bytes() + in, static_cast<size_t>(last - first));
        }
        from = to;
    }
    return true;
}

// Reverts the filter on scratch_, the entry's bytes at .. at + length;
// returns how many of them are final.
uint32_t TSolidArchive::Unfilter(const TSolidEntry& entry, uint32_t at, uint32_t length) {
    for (size_t i = entry.FirstRange; i < entry.FirstRange + entry.Ranges; ++i) {
        const TSolidRange& range = ranges_[i];
        uint32_t first = std::max(at, range.Offset);
        uint64_t last = std::min<uint64_t>(uint64_t{at} + length, uint64_t{range.Offset} + range.Size);
        if (first >= last) continue;
        size_t n = static_cast<size_t>(last - first);
        size_t done = BranchFilter(static_cast<TBranchCode>(entry.Filter), scratch_.data() + (first - at), n,
                                   first - range.Offset, range.Size, range.Rva, entry.ImageSize, false);
        if (done < n) return first - at + static_cast<uint32_t>(done);
    }
    return length;
}

bool TSolidArchive::ExtractFromBlock(const TSolidEntry& entry, TStream& output, uint32_t& check) {
    if (!Enter(entry.Block)) return false;
    scratch_.resize(kChunk);
    for (uint32_t at = 0; at < entry.Size;) {
        uint32_t length = std::min(kChunk, entry.Size - at);
        if (!Gather(entry, at, length, output)) {
            current_ = SolidInTable;  // the decoder's state is spoilt
            return false;
        }
        length = Unfilter(entry, at, length);
        check = adler32(check, scratch_.data(), length);
        if (output.Write(scratch_.data(), static_cast<int32_t>(length)) != static_cast<int32_t>(length)) return false;
        at += length;
    }
    return true;
}

bool TSolidArchive::Extract(uint32_t index, TStream& output) {
    const TSolidEntry& entry = entries_[index];
    uint32_t check = adler32(0, nullptr, 0);
    if (entry.Block != SolidInTable) {
        if (!ExtractFromBlock(entry, output, check)) return false;
    } else if (entry.Size > 0) {
        const char* bytes = table_.data() + entry.First;
        check = adler32(check, reinterpret_cast<const unsigned char*>(bytes), entry.Size);
        if (output.Write(bytes, static_cast<int32_t>(entry.Size)) != static_cast<int32_t>(entry.Size)) return false;
    }
    return check == entry.Check;
}
