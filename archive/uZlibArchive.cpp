#include "archive/uZlibArchive.h"

#include <algorithm>
#include <memory>

#include "archive/uSolidArchive.h"
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
        while (ReadRecord(stream, entry)) {
            Files.push_back(entry);
            // ReadRecord checked that the position behind the data fits; a
            // stream that still cannot seek there ends the table with 7.
            int32_t next = entry.DataOffset + static_cast<int32_t>(entry.PackedSize);
            if (stream.Seek(next, soFromBeginning) < 0) throw EZLibError();
        }
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
