#pragma once
// The installer's archive: a flat sequence of records, each a 12-byte
// header, the entry's name and one zlib stream, closed by an end record.
//
//   offset  width  field
//   0       2      magic "px" (0x7870 little-endian)
//   2       2      name length N
//   4       4      packed size P (0 marks the end record)
//   8       4      unpacked size U
//   12      N      name, ANSI code page, no terminator
//   12+N    P      one zlib stream (RFC 1950)
//
// All numbers little-endian. The reader loads the table by reading headers
// and names and seeking over the data; it never raises to its caller, it
// returns the error codes below.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archive/uInflate.h"
#include "system/fs/uStoredName.h"
#include "system/uSystem.h"

// Archive error codes.
constexpr uint8_t zaOk = 0;
constexpr uint8_t zaNoInput = 1;
constexpr uint8_t zaNoOutput = 2;
constexpr uint8_t zaWriteEof = 3;
constexpr uint8_t zaWriteEofIo = 4;
constexpr uint8_t zaAppend = 5;
constexpr uint8_t zaAppendIo = 6;
constexpr uint8_t zaLoadTable = 7;
constexpr uint8_t zaCompress = 8;
constexpr uint8_t zaUncompress = 9;

constexpr uint16_t ArchiveMagic = 0x7870;
constexpr int32_t ArchiveHeaderSize = 12;

class TZLibAbstractArchive {
public:
    // The English text of an archive error code ("Unknown error" for codes
    // above 9), from the installer's string table.
    static std::string ErrorCodeText(uint8_t code);
};

class TSolidArchive;

// One entry of a loaded table. Source is the stream the table was loaded
// from; the entry does not own it. An entry of a solid archive
// (uSolidArchive.h) has Solid set and no packed bytes of its own.
class TZLibPackedFile {
public:
    std::string Name;
    uint32_t PackedSize = 0;
    uint32_t UnpackedSize = 0;
    int32_t DataOffset = 0;
    TStream* Source = nullptr;
    TSolidArchive* Solid = nullptr;
    uint32_t SolidRecord = 0;  // where its record lies in the solid table

    // Inflates the entry into output at its current position: 0, 1 (no
    // source), 2 (no output) or 9 (inflation or writing failed; whatever
    // was written stays written).
    uint8_t ExtractTo(TStream* output) const;
    // The inflation behind ExtractTo, for callers that want what it saw:
    // reads exactly the entry's packed bytes from Source and raises as
    // InflateStream does. Source must be set.
    void Inflate(TStream& output, TInflateTotals* totals = nullptr) const;
    // A copy that reads its packed bytes through view, for one of several
    // threads that extract at once, each with a view of Source of its own.
    // A solid entry keeps its source: its archive serves the threads.
    TZLibPackedFile ReadingThrough(TStream& view) const {
        TZLibPackedFile copy = *this;
        if (!Solid) copy.Source = &view;
        return copy;
    }
};

class TZLibUnpacker : public TZLibAbstractArchive {
public:
    TZLibUnpacker();
    ~TZLibUnpacker();

    // Empties the table, then reads records from the stream's current
    // position: 0, or 7 when a name is cut short, a read or seek fails, or
    // a record does not lie wholly below 2^31 (header, name, data and the
    // position behind them). Entries read before a failure stay. A missing
    // magic ends the table (code 0). A solid archive's table is read whole
    // or not at all (7).
    uint8_t LoadFileTable(TStream& stream);

    int32_t FileCount() const { return static_cast<int32_t>(Files.size()); }
    // No bounds check: callers check 0 <= index < FileCount() first.
    const TZLibPackedFile& FileAt(int32_t index) const { return Files[static_cast<size_t>(index)]; }
    // The first entry whose name equals name with A-Z lowered on both
    // sides; nullptr when none does.
    const TZLibPackedFile* FindFile(std::string_view name) const;
    void Clear();

    std::vector<TZLibPackedFile> Files;
    // The solid archive the entries come from, when they do.
    std::unique_ptr<TSolidArchive> Solid;
};

// A view that reads and writes through Source but never past the absolute
// position VirtualSize. It has no position of its own.
class TVirtualSizeStream : public TStream {
public:
    TVirtualSizeStream(TStream& source, int32_t bound) : Source(source), VirtualSize(bound) {}

    void Resize(int32_t newSize) override { VirtualSize = newSize; }
    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int32_t Seek(int32_t offset, uint16_t origin) override;
    // count cut so that the transfer stops at VirtualSize; 0 for a
    // negative count and for a source at or past the bound or at no
    // position it can report.
    int32_t ClampCount(int32_t count);

    TStream& Source;
    int32_t VirtualSize;
};
