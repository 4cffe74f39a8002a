#pragma once
// The writing side of the archive: compressing an entry into one zlib
// stream and appending records to an output stream. Used by q7pack; the
// installer itself never writes archives.

#include <cstdint>
#include <string>
#include <string_view>

#include "system/uSystem.h"

// Compression levels the build accepts: 0 (stored) to MaxCompressionLevel().
// With libdeflate the levels run to 12; with zlib to 9.
int MaxCompressionLevel();
int DefaultCompressionLevel();
// "libdeflate" or "zlib": which compressor this build uses.
const char* CompressorName();

// One complete zlib stream (RFC 1950) holding data. The result depends only
// on the data and the level, so archives are reproducible. Raises
// EZLibError when the compressor fails.
std::string CompressZlib(std::string_view data, int level);

// Appends records to a stream at its position.
class TZLibArchiveWriter {
public:
    explicit TZLibArchiveWriter(TStream& output) : output_(output) {}

    // One record: header, name, packed bytes. 5 for a record the format
    // cannot hold (name over 65535 bytes, packed data empty or of 2 GiB or
    // more), 6 when the output takes fewer bytes than given, 0 otherwise.
    uint8_t AppendEntry(std::string_view name, std::string_view packed, uint32_t unpackedSize);
    // The end record: 0, or 4 when the output takes fewer bytes than given.
    uint8_t WriteEnd();

private:
    bool WriteAll(std::string_view bytes);
    TStream& output_;
};
