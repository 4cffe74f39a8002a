#pragma once
// The installer's own inflate: one zlib stream (RFC 1950) around raw
// deflate data (RFC 1951), decoded as it streams from one TStream into
// another. Input is read in pieces of at most InflateBufferSize bytes and
// output written in pieces of at most InflateOutputPiece, behind the
// 32 KiB window, so entries of any size inflate in about 330 KiB.

#include <cstddef>
#include <cstdint>

#include "system/uSystem.h"

constexpr int32_t InflateBufferSize = 32768;
// The most output written at once: decoding runs this far between two
// writes (each costs an OS call), the window, 256 KiB and one match.
constexpr int32_t InflateOutputPiece = 9 * 32768 + 258;

// Marker exceptions of the zlib layer; they never leave the archive reader.
struct EZLibError {};
struct EZDecompressionError : EZLibError {};
// The output took fewer bytes than it was given (a full disk).
struct EZShortWriteError : EZLibError {};

// What one inflation saw, for callers that check an entry in depth.
struct TInflateTotals {
    uint64_t consumed = 0;    // compressed bytes the zlib stream took
    uint64_t produced = 0;    // bytes written to the output
    uint64_t readIn = 0;      // bytes read from the input
    bool streamEnd = false;   // the zlib stream ended properly
    bool inputEnded = false;  // the input ran out before the stream ended
};

// Inflates one zlib stream from input into output. Stops at the end of the
// zlib stream (bytes behind it are read, counted in readIn, and ignored).
// Raises EZDecompressionError on any damage (a bad header or preset
// dictionary, a malformed block or code set, a distance behind the start
// of the output, input that ends too soon, a wrong Adler-32) and
// EZShortWriteError when output takes fewer bytes than it was given; what
// was written before stays written.
void InflateStream(TStream& input, TStream& output, TInflateTotals* totals = nullptr);

// The Adler-32 of size bytes at data, continuing from adler (1 to start).
uint32_t Adler32(uint32_t adler, const unsigned char* data, size_t size);
