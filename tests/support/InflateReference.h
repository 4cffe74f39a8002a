#pragma once
// Our inflate checked against zlib's, by uInflate_test and the inflate fuzz
// target. Both keep at most kInflateLimit bytes, so a zlib bomb ends as a
// short write.

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "archive/uInflate.h"

constexpr size_t kInflateLimit = size_t{8} << 20;

// Gives at most step bytes per read.
struct TPieces : TStringStream {
    TPieces(const std::string& data, int32_t step) : TStringStream(data), step(step) {}
    int32_t Read(void* buffer, int32_t count) override {
        return TStringStream::Read(buffer, std::min(count, step));
    }
    int32_t step;
};

// Inflates stream with ours (in pieces of step bytes) and with zlib's;
// empty when they agree on whether it is one whole stream, on what it
// inflates to and where it ends, and when ours, failing, wrote only what
// zlib inflated up to there. ok tells whether ours took the stream.
inline std::string Disagreement(const std::string& stream, int32_t step, TInflateTotals& totals, bool& ok) {
    TPieces in(stream, step);
    TStringStream out;
    TCappedStream capped(out, kInflateLimit);
    try {
        InflateStream(in, capped, &totals);
        ok = true;
    } catch (const EZLibError&) {
        ok = false;
    }
    std::unique_ptr<Bytef[]> zlib(new Bytef[kInflateLimit + 1]);
    uLongf produced = kInflateLimit + 1;
    uLong consumed = static_cast<uLong>(stream.size());
    bool zlibOk =
        uncompress2(zlib.get(), &produced, reinterpret_cast<const Bytef*>(stream.data()), &consumed) == Z_OK;
    const std::string& ours = out.Data;
    if (totals.produced != ours.size()) return "miscounted its output";
    if (produced > kInflateLimit) return "";  // a bomb: only that nothing broke
    if (ok != zlibOk) return ok ? "took what zlib refuses" : "refused what zlib takes";
    if (ours.size() > produced || std::memcmp(ours.data(), zlib.get(), ours.size()) != 0)
        return "wrote what zlib did not";
    if (ok && (ours.size() != produced || totals.consumed != consumed)) return "ended elsewhere";
    return "";
}
