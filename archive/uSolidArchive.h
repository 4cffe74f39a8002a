#pragma once
// The solid archive: the payload compressed as a few LZMA blocks, with a
// table that says where in which block each entry's bytes lie. Written by
// `q7pack create --solid`; docs/packaging.md ("The archive format") lays
// it out byte by byte.
//
//   offset  width  field
//   0       4      magic "q7LZ" (a reader of the zlib format sees no "px"
//                  record here: an empty table)
//   4       4      packed size T of the table
//   8       4      unpacked size of the table
//   12      T      the table, one zlib stream
//   12+T    ...    the blocks' packed bytes, one after the other
//
// An entry is stored in the table itself (setup.ini, so that start-up
// reads it without touching a block) or as pieces of one block, in the
// entry's order; executables' code may have passed the branch-call filter.
// Identical entries share their pieces.

#include <cstdint>
#include <string>
#include <vector>

#include "archive/uBranchFilter.h"
#include "archive/uLzmaWindow.h"
#include "system/uSystem.h"

class TZLibPackedFile;
class TTableReader;

constexpr unsigned char SolidMagic[4] = {'q', '7', 'L', 'Z'};
constexpr int32_t SolidHeaderSize = 12;
// The most a block may hold, which is the memory its window takes. A
// hostile archive can make the installer take no more than this; q7pack
// makes blocks of at most this size, so no archive it writes is refused.
constexpr uint32_t SolidWindowLimit = 128u << 20;
// The most the table may inflate to: names, pieces and setup.ini.
constexpr uint32_t SolidTableLimit = 64u << 20;
// The block index that marks an entry stored in the table.
constexpr uint32_t SolidInTable = 0xFFFFFFFF;

struct TSolidBlock {
    int32_t Start = 0;  // position of its first packed byte
    uint32_t Packed = 0, Size = 0;
    unsigned char Props[LzmaPropsSize] = {};
};

struct TSolidPiece {
    uint32_t Offset = 0, Length = 0;  // in the block
};

// Bytes of an entry that passed the branch-call filter.
struct TSolidRange {
    uint32_t Offset = 0, Size = 0;  // in the entry
    uint32_t Rva = 0;               // where its first byte is loaded
};

struct TSolidEntry {
    uint32_t Size = 0, Check = 0;  // Check: the Adler-32 of the entry's bytes
    uint32_t Block = SolidInTable;
    size_t First = 0, Count = 0;  // its pieces; in the table: its bytes there
    uint8_t Filter = 0;           // 0, or the TBranchCode its ranges passed
    uint32_t ImageSize = 0;
    size_t FirstRange = 0, Ranges = 0;
};

class TSolidArchive {
public:
    // Reads the table behind a header read from stream (which stands behind
    // it) and appends an entry for each of its entries to files. Raises
    // when the table is damaged or asks for more than the limits above.
    void Load(TStream& stream, const unsigned char* header, std::vector<TZLibPackedFile>& files);

    // Writes entry index to output; false when its bytes cannot be had
    // whole (a damaged or short block, memory) or their checksum differs,
    // or output takes fewer bytes than given. In table order every block is
    // decoded once; an entry behind what its block has decoded is copied
    // from the window, one in another block starts that block again.
    bool Extract(uint32_t index, TStream& output);

    const std::vector<TSolidBlock>& Blocks() const { return blocks_; }
    const TSolidEntry& Entry(uint32_t index) const { return entries_[index]; }

private:
    TSolidEntry ReadEntry(TTableReader& in, TZLibPackedFile& file);
    void ReadRanges(TTableReader& in, TSolidEntry& entry);
    void ReadPieces(TTableReader& in, TSolidEntry& entry);
    bool Enter(uint32_t block);
    bool Gather(const TSolidEntry& entry, uint32_t at, uint32_t length, TStream& beat);
    uint32_t Unfilter(const TSolidEntry& entry, uint32_t at, uint32_t length);
    bool ExtractFromBlock(const TSolidEntry& entry, TStream& output, uint32_t& check);

    std::string table_;
    std::vector<TSolidBlock> blocks_;
    std::vector<TSolidEntry> entries_;
    std::vector<TSolidPiece> pieces_;
    std::vector<TSolidRange> ranges_;
    TStream* source_ = nullptr;
    TLzmaWindow window_;
    uint32_t current_ = SolidInTable;  // the block in the window
    std::vector<unsigned char> scratch_;
};
