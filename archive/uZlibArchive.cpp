#include "archive/uZlibArchive.h"

#include <algorithm>
#include <memory>

#include "archive/uSolidArchive.h"
#include "system/io/uByteOrder.h"

namespace {

// A record's header and a name of up to this many bytes come in one read.
constexpr int32_t kRecordRead = 256;

// Reads the header and name of the record at start into entry; false at
// the end of the table. Raises EZLibError for a record that cannot be read
// whole, and for one that does not lie wholly at positions a signed 32-bit
// stream reaches: its header, name and data, and the position behind them
// where the next record starts.
bool ReadRecord(TStream& stream, int32_t start, TZLibPackedFile& entry) {
    unsigned char record[kRecordRead];
    int32_t got = ReadFrom(stream, start, record, kRecordRead);
    if (got < ArchiveHeaderSize) return false;
    uint32_t packed = LoadLE32(record + 4);
    if (LoadLE16(record) != ArchiveMagic || packed == 0) return false;

    int32_t nameLength = static_cast<int32_t>(LoadLE16(record + 2));
    int64_t dataOffset = static_cast<int64_t>(start) + ArchiveHeaderSize + nameLength;
    if (dataOffset + packed > INT32_MAX) throw EZLibError();
    int32_t inRecord = std::min(got - ArchiveHeaderSize, nameLength);
    entry.Name.assign(reinterpret_cast<const char*>(record + ArchiveHeaderSize), static_cast<size_t>(inRecord));
    if (inRecord < nameLength) {
        entry.Name.resize(static_cast<size_t>(nameLength));
        int32_t rest = nameLength - inRecord;
        if (ReadFrom(stream, start + ArchiveHeaderSize + inRecord, entry.Name.data() + inRecord, rest) < rest)
            throw EZLibError();
    }
    entry.PackedSize = packed;
    entry.UnpackedSize = LoadLE32(record + 8);
    entry.DataOffset = static_cast<int32_t>(dataOffset);
    entry.Source = &stream;
    return true;
}

}  // namespace

std::string TZLibAbstractArchive::ErrorCodeText(uint8_t code) {
    static const uint32_t kIds[] = {65520, 65521, 65522, 65523, 65524, 65525, 65526, 65529, 65527, 65528};
    return ResourceText(code < std::size(kIds) ? kIds[code] : 65530);
}

namespace {

// Loads a solid archive's table when the stream starts with one; false,
// with the stream back where it stood, when it does not.
bool LoadSolid(TStream& stream, TZLibUnpacker& unpacker) {
    int32_t start = stream.Position();
    unsigned char header[SolidHeaderSize];
    int32_t got = stream.Read(header, SolidHeaderSize);
    if (got == SolidHeaderSize && LoadLE32(header) == SolidMagic) {
        unpacker.Solid.reset(new TSolidArchive);
        unpacker.Solid->Load(stream, header, unpacker.Files);
        return true;
    }
    if (start < 0 || stream.Seek(start, soFromBeginning) != start) throw EZLibError();
    return false;
}

}  // namespace

TZLibUnpacker::TZLibUnpacker() = default;
TZLibUnpacker::~TZLibUnpacker() = default;

void TZLibUnpacker::Clear() {
    Files.clear();
    Solid.reset();
}

uint8_t TZLibUnpacker::LoadFileTable(TStream& stream) {
    Clear();
    try {
        if (LoadSolid(stream, *this)) return zaOk;
        TZLibPackedFile entry;
        int32_t start = stream.Position();
        if (start < 0) throw EZLibError();
        // ReadRecord checked that the position behind the data fits.
        for (; ReadRecord(stream, start, entry); start = entry.DataOffset + static_cast<int32_t>(entry.PackedSize))
            Files.push_back(entry);
    } catch (...) {
        // A solid table is whole or none.
        if (Solid) Clear();
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
        if (Solid) return Solid->Extract(SolidRecord, *output) ? zaOk : zaUncompress;
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
    TVirtualSizeStream view(*Source, static_cast<int32_t>(end));
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
