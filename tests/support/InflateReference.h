#pragma once
// Our inflate checked against zlib's, for the unit test and the fuzz
// target: the input comes in pieces of a chosen size, the output is kept
// up to a limit (so that a zlib bomb ends as a short write).

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "archive/uInflate.h"

constexpr size_t kInflateLimit = size_t{8} << 20;

// Gives at most step bytes per read.
class TPieces : public TStream {
public:
    TPieces(const std::string& data, size_t step) : data_(data), step_(step) {}
    int32_t Read(void* buffer, int32_t count) override {
        size_t n = std::min({static_cast<size_t>(count), step_, data_.size() - at_});
        std::memcpy(buffer, data_.data() + at_, n);
        at_ += n;
        return static_cast<int32_t>(n);
    }
    int32_t Write(const void*, int32_t) override { return 0; }
    int32_t Seek(int32_t, uint16_t) override { return 0; }

private:
    const std::string& data_;
    size_t step_, at_ = 0;
};

// Keeps what is written up to kInflateLimit; notes a write of more than
// InflateBufferSize.
class TKept : public TStream {
public:
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void* buffer, int32_t count) override {
        Oversized |= count < 0 || count > InflateBufferSize;
        if (Oversized || Data.size() + static_cast<size_t>(count) > kInflateLimit) return 0;
        Data.append(static_cast<const char*>(buffer), static_cast<size_t>(count));
        return count;
    }
    int32_t Seek(int32_t, uint16_t) override { return 0; }
    std::string Data;
    bool Oversized = false;
};

// Inflates stream with ours (input in pieces of step bytes) and with
// zlib's; empty when they agree: on whether it is one whole stream, on
// what it inflates to and where it ends, and, on a failure, ours wrote only
// what zlib inflated up to there. ok tells whether ours took the stream.
inline std::string Disagreement(const std::string& stream, size_t step, TInflateTotals& totals, bool& ok) {
    TPieces in(stream, step);
    TKept out;
    ok = true;
    try {
        InflateStream(in, out, &totals);
    } catch (const EZLibError&) {
        ok = false;
    }
    z_stream z{};
    inflateInit(&z);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
    z.avail_in = static_cast<uInt>(stream.size());
    std::string zlib;
    int status;
    do {
        char buffer[65536];
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        status = inflate(&z, Z_NO_FLUSH);
        zlib.append(buffer, sizeof buffer - z.avail_out);
    } while (status == Z_OK && zlib.size() <= kInflateLimit);
    inflateEnd(&z);
    if (out.Oversized || totals.produced != out.Data.size()) return "a write of the wrong size";
    if (zlib.size() > kInflateLimit) return "";  // a bomb: only that nothing broke
    if (ok != (status == Z_STREAM_END)) return ok ? "took what zlib refuses" : "refused what zlib takes";
    if (zlib.compare(0, out.Data.size(), out.Data) != 0) return "wrote what zlib did not";
    if (ok && (out.Data.size() != zlib.size() || totals.consumed != z.total_in)) return "ended elsewhere";
    return "";
}
