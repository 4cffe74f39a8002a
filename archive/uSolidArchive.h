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
//   12+T    ...    the streams' packed bytes, one after the other
//
// The payload lies in segments: runs of bytes that the installer holds in
// memory whole while it installs from them (its window), each decoded from
// a few independent LZMA streams (packed in parallel) that follow one
// another in the window. An entry is stored in the table itself (setup.ini,
// so that start-up reads it without touching a segment) or as pieces of one
// segment, in the entry's order; executables' code may have passed the
// branch-call filter. Identical entries share their pieces.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/uBranchFilter.h"
#include "archive/uLzmaStream.h"
#include "archive/uWorker.h"
#include "system/uSystem.h"

class TZLibPackedFile;
class TTableReader;

constexpr uint32_t SolidMagic = 0x5A4C3771;  // "q7LZ", read little-endian
constexpr int32_t SolidHeaderSize = 12;
// The most a segment may hold, which is the memory its window takes. A
// hostile archive can make the installer take no more than this; q7pack
// makes segments of at most this size, so no archive it writes is refused.
constexpr uint32_t SolidWindowLimit = 256u << 20;
// The most streams a segment may have: each decoder takes about 100 KiB.
constexpr uint32_t SolidStreamLimit = 16;
// The most the table may inflate to: names, pieces and setup.ini.
constexpr uint32_t SolidTableLimit = 64u << 20;
// The segment index that marks an entry stored in the table.
constexpr uint32_t SolidInTable = 0xFFFFFFFF;

struct TSolidStream {
    int32_t Start = 0;  // position of its first packed byte
    uint32_t Packed = 0;
    uint32_t Offset = 0, Size = 0;         // where its bytes go in the segment's window
    const unsigned char* Props = nullptr;  // LzmaPropsSize bytes in the table
};

// An entry's record in the table, behind its name and size; the reader
// checked every field when it loaded the table.
struct TSolidRecord {
    uint32_t Size = 0, Check = 0;  // Check: the Adler-32 of the entry's bytes
    uint32_t Segment = SolidInTable;
    uint32_t Filter = 0, ImageSize = 0, Ranges = 0, Pieces = 0;
    const unsigned char* Range = nullptr;  // Ranges x (offset, size, rva)
    const unsigned char* Piece = nullptr;  // Pieces x (offset in segment, length);
                                           // in the table: the bytes themselves
};

class TSolidArchive {
public:
    // Reads the table behind a header read from stream (which stands behind
    // it) and appends an entry for each of its entries to files. Raises
    // when the table is damaged or asks for more than the limits above.
    void Load(TStream& stream, const unsigned char* header, std::vector<TZLibPackedFile>& files);

    ~TSolidArchive();

    // Writes the entry whose record lies at record to output; false when
    // its bytes cannot be had whole (a damaged or short stream) or their
    // checksum differs, or output takes fewer bytes than given; raises
    // std::bad_alloc when the window's memory cannot be had. Several
    // threads may extract at once. The first entry of a segment takes its
    // window and starts a thread that decodes the segment's streams into it
    // front to back, once, while the entries are written: a piece already
    // decoded is copied from the window, one further on waits for the
    // decoder (calling output.Write with a count of 0 now and then). An
    // entry of another segment waits until the entries being written from
    // the window are done, then drops it and starts that segment afresh:
    // out of order access costs at most decoding one segment again.
    bool Extract(uint32_t record, TStream& output);

    size_t SegmentCount() const { return first_.size() - 1; }
    // The bytes of a segment: the memory its window takes.
    uint32_t SegmentSize(uint32_t segment) const;
    const std::vector<TSolidStream>& Streams() const { return streams_; }
    // The fields of the record at offset at of the table (and where the
    // next one starts); raises where it runs past the table's end.
    TSolidRecord Record(uint32_t at, size_t* end = nullptr) const;
    // The position behind the last stream: where the archive ends.
    int64_t End() const { return end_; }

private:
    void ReadSegment(TTableReader& in);
    void Switch(uint32_t segment);
    void Hold(uint32_t segment);
    void Release(bool damaged);
    static bool DecodeStep(void* self);
    bool Decode(uint64_t upto, TStream& beat);
    bool Gather(const TSolidRecord& entry, uint32_t at, uint32_t length, unsigned char* chunk, TStream& beat);
    uint32_t Unfilter(const TSolidRecord& entry, uint32_t at, uint32_t length, unsigned char* chunk);
    bool FromSegment(const TSolidRecord& entry, TStream& output, uint32_t& check);

    std::string table_;
    std::vector<TSolidStream> streams_;
    // The first stream of each segment, and streams_.size() behind them.
    std::vector<uint32_t> first_{0};
    TStream* source_ = nullptr;
    int64_t end_ = 0;
    // lock_ guards the segment in the window and how many callers of
    // Extract hold it; released_ changes when one lets it go.
    TLock lock_;
    TSignal released_;
    uint32_t current_ = SolidInTable;
    uint32_t holders_ = 0;
    std::unique_ptr<unsigned char[]> window_;
    // The decoder thread's: the stream it decodes, and its decoder.
    uint32_t filling_ = 0, fillEnd_ = 0;
    TLzmaStream decoder_;
    // How many of the window's bytes, from its start, are decoded: the
    // decoder thread raises it, the entries read below it.
    std::atomic<uint32_t> filled_{0};
    TWorker worker_;
};
