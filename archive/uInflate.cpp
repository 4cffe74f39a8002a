#include "archive/uInflate.h"

#include <algorithm>
#include <cstring>
#include <memory>

// The bit buffer is filled a machine word at a time; the stream's bits come
// least significant first, so the word must load little-endian.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the bit buffer loads words little-endian");

namespace {

using TBits = uintptr_t;
constexpr unsigned kWordBits = sizeof(TBits) * 8;
// A 64-bit buffer holds a whole length and distance pair after one refill.
constexpr bool kWide = kWordBits >= 64;

constexpr int32_t kWindow = 32768;      // the farthest a match reaches back
constexpr int32_t kMaxMatch = 258;
constexpr int32_t kSpan = InflateOutputPiece - kWindow - kMaxMatch;  // output decoded between two slides
constexpr int32_t kCopyOverrun = 16;         // a match copy may write this far past its end
constexpr int32_t kPad = 2 * sizeof(TBits);  // zero bytes behind the end of the input

// A decoding table entry: bits 0-7 the length of the code at its level,
// 8-11 the extra bits that follow it (for a subtable: its index bits),
// 12-15 the kind, 16-31 the value (a literal, a length or distance base, a
// code length symbol, a subtable's start).
constexpr uint32_t kLiteral = 0x1000, kSubtable = 0x2000, kEndOfBlock = 0x4000, kInvalid = 0x8000;

constexpr unsigned kLitBits = 10, kDistBits = 8, kCodeLengthBits = 7;
// Room behind the primary tables for subtables: one of 2^s entries takes
// at least s + 1 codes, so 286 codes of up to 15 bits need at most
// 47 * 32 + 8 entries, 30 distance codes at most 3 * 128 + 32.
constexpr size_t kLitTableSize = (1u << kLitBits) + 1536, kDistTableSize = (1u << kDistBits) + 512;

// Where decoding stands. The hot loop keeps a copy in locals (the
// compiler cannot keep members in registers across byte stores).
struct TCursor {
    TBits bits = 0;      // input bits not yet used, next one lowest
    unsigned count = 0;  // how many of them are valid
    const uint8_t* in = nullptr;
    const uint8_t* inLimit = nullptr;  // a word can be loaded at in up to here
    uint8_t* out = nullptr;
};

inline uint32_t Take(TCursor& c, unsigned n) {
    uint32_t value = static_cast<uint32_t>(c.bits & ((TBits{1} << n) - 1));
    c.bits >>= n;
    c.count -= n;
    return value;
}

// Tops the buffer up to at least kWordBits - 8 bits with one load; the
// bytes only partly taken are taken again whole by the next load.
inline void Load(TCursor& c) {
    TBits word;
    std::memcpy(&word, c.in, sizeof word);
    c.bits |= word << c.count;
    c.in += (kWordBits - 1 - c.count) / 8;
    c.count |= kWordBits - 8;
}

// Index bits of the subtable for the codes that start like the current one
// (of length len) in their first `bits` bits: just enough for them, from
// the counts of the codes not yet placed.
unsigned SubtableBits(const unsigned* count, unsigned len, unsigned bits) {
    unsigned sub = len - bits;
    int space = (1 << sub) - static_cast<int>(count[len]);
    while (space > 0 && len < 15) {
        ++len, ++sub;
        space = 2 * space - static_cast<int>(count[len]);
    }
    return sub;
}

// The code after code in canonical order, both bit-reversed in len bits.
unsigned NextReversed(unsigned code, unsigned len) {
    unsigned bit = 1u << (len - 1);
    while (code & bit) bit >>= 1;
    return bit ? (code & (bit - 1)) + bit : 0;
}

// Fills table with the entries of the canonical code that lens gives
// symbols 0..n-1 (each entry is the symbol's template with its code length
// added): a primary table indexed by the next `bits` input bits, subtables
// behind it for longer codes. False for an over-subscribed set and for an
// incomplete one, unless incompleteOk and it holds no code or a single
// one-bit code (zlib takes those); their unused entries are invalid.
bool BuildTable(uint32_t* table, size_t capacity, unsigned bits, const uint8_t* lens, unsigned n,
                const uint32_t* templates, bool incompleteOk) {
    unsigned count[16] = {};
    for (unsigned s = 0; s < n; ++s) ++count[lens[s]];
    int left = 1;
    for (unsigned len = 1; len <= 15; ++len)
        if ((left = 2 * left - static_cast<int>(count[len])) < 0) return false;
    unsigned used = n - count[0];
    if (left > 0) {
        if (!incompleteOk || used > 1 || (used == 1 && count[1] != 1)) return false;
        std::fill(table, table + (size_t{1} << bits), kInvalid);
    }
    // The symbols in canonical order: by code length, then by value.
    uint16_t next[16], sorted[288];
    next[1] = 0;
    for (unsigned len = 1; len < 15; ++len) next[len + 1] = static_cast<uint16_t>(next[len] + count[len]);
    for (unsigned s = 0; s < n; ++s)
        if (lens[s]) sorted[next[lens[s]]++] = static_cast<uint16_t>(s);

    unsigned mask = (1u << bits) - 1, code = 0, prefix = ~0u, subBits = 0;
    size_t end = mask + 1, sub = 0;
    for (unsigned i = 0; i < used; ++i) {
        unsigned s = sorted[i], len = lens[s];
        if (len <= bits) {
            for (unsigned k = code; k <= mask; k += 1u << len) table[k] = templates[s] | len;
        } else {
            if ((code & mask) != prefix) {
                prefix = code & mask;
                subBits = SubtableBits(count, len, bits);
                sub = end;
                end += size_t{1} << subBits;
                if (end > capacity) return false;
                table[prefix] = kSubtable | static_cast<uint32_t>(sub) << 16 | subBits << 8 | bits;
            }
            for (unsigned k = code >> bits; k < (1u << subBits); k += 1u << (len - bits))
                table[sub + k] = templates[s] | (len - bits);
        }
        --count[len];
        code = NextReversed(code, len);
    }
    return true;
}

class TInflater {
public:
    TInflater(TStream& input, TStream& output, TInflateTotals& totals);
    void Run();

private:
    TBits Peek(unsigned n);
    uint32_t Bits(unsigned n);
    void Stored();
    void Fixed();
    void Dynamic();
    void ReadLengths(unsigned total);
    void Codes(const uint32_t* lit, const uint32_t* dist);

    [[gnu::always_inline]] void Need(TCursor& c, unsigned n) {
        if (c.count >= n) return;
        if (c.in > c.inLimit) c = MoreInput(c);
        Load(c);
    }
    TCursor MoreInput(TCursor c);
    TCursor Slide(TCursor c);
    void Flush(TCursor c, const uint32_t* check = nullptr);
    bool PastEnd(TCursor c) const;
    [[noreturn]] void Fail(TCursor c);
    [[noreturn]] void CutShort();
    uint8_t* SlideAt() { return window_ + kWindow + kSpan; }

    TStream& input_;
    TStream& output_;
    TInflateTotals& totals_;
    TCursor c_;
    bool ended_ = false;      // the input has no more bytes
    const uint8_t* dataEnd_;  // behind the last input byte read
    uint8_t* flushed_;        // output up to here is written
    uint32_t adler_ = 1;
    bool fixedBuilt_ = false;  // lit_ and dist_ hold the fixed codes

    uint32_t litTemplates_[288], distTemplates_[32];
    uint32_t lit_[kLitTableSize], dist_[kDistTableSize];
    uint8_t lens_[288 + 32];
    // A word of room in front for the bytes kept from the last read, and
    // the zero padding behind.
    uint8_t inBuffer_[2 * sizeof(TBits) + InflateBufferSize + kPad];
    uint8_t window_[kWindow + kSpan + kMaxMatch + kCopyOverrun];
};

TInflater::TInflater(TStream& input, TStream& output, TInflateTotals& totals)
    : input_(input), output_(output), totals_(totals) {
    for (uint32_t s = 0; s < 256; ++s) litTemplates_[s] = kLiteral | s << 16;
    litTemplates_[256] = kEndOfBlock;
    uint32_t base = 3;
    for (uint32_t s = 257; s < 285; ++s) {
        uint32_t extra = s < 265 ? 0 : (s - 261) / 4;
        litTemplates_[s] = base << 16 | extra << 8;
        base += 1u << extra;
    }
    litTemplates_[285] = 258u << 16;
    litTemplates_[286] = litTemplates_[287] = kInvalid;
    base = 1;
    for (uint32_t d = 0; d < 30; ++d) {
        uint32_t extra = d < 4 ? 0 : d / 2 - 1;
        distTemplates_[d] = base << 16 | extra << 8;
        base += 1u << extra;
    }
    distTemplates_[30] = distTemplates_[31] = kInvalid;

    c_.in = dataEnd_ = inBuffer_ + sizeof(TBits);
    c_.inLimit = inBuffer_;
    c_.out = flushed_ = window_;
}

// The zlib stream: a two-byte header, deflate blocks, the Adler-32.
void TInflater::Run() {
    uint32_t method = Bits(8), flags = Bits(8);
    // Deflate with a window of at most 32 KiB, the check bits right, no
    // preset dictionary.
    if ((method & 15) != 8 || method >> 4 > 7 || (method << 8 | flags) % 31 != 0 || (flags & 0x20)) Fail(c_);
    for (bool last = false; !last;) {
        last = Bits(1);
        switch (Bits(2)) {
            case 0:
                Stored();
                break;
            case 1:
                Fixed();
                break;
            case 2:
                Dynamic();
                break;
            default:
                Fail(c_);
        }
    }
    Take(c_, c_.count & 7);
    uint32_t check = 0;
    for (int i = 0; i < 4; ++i) check = check << 8 | Bits(8);  // most significant byte first
    // Output that fails the check is not written, as far as it is pending.
    Flush(c_, &check);
    int64_t unused = (dataEnd_ - c_.in) + c_.count / 8;
    totals_.consumed = totals_.readIn - static_cast<uint64_t>(unused);
    totals_.streamEnd = true;
}

// The next n bits (and maybe more), left in the buffer.
TBits TInflater::Peek(unsigned n) {
    Need(c_, n);
    return c_.bits;
}

uint32_t TInflater::Bits(unsigned n) {
    Peek(n);
    return Take(c_, n);
}

// A stored block: LEN, its complement, LEN bytes, from a byte boundary.
void TInflater::Stored() {
    Take(c_, c_.count & 7);
    uint32_t length = Bits(16);
    if (Bits(16) != (~length & 0xffff)) Fail(c_);
    while (length > 0) {
        if (c_.out > SlideAt()) c_ = Slide(c_);
        if (c_.count > 0) {  // bytes still in the bit buffer come first
            *c_.out++ = static_cast<uint8_t>(Take(c_, 8));
            --length;
            continue;
        }
        c_.bits = 0;  // the rest comes straight from the input
        if (c_.in >= dataEnd_) c_ = MoreInput(c_);
        if (c_.in >= dataEnd_) CutShort();
        size_t n = std::min<size_t>({length, static_cast<size_t>(dataEnd_ - c_.in),
                                     static_cast<size_t>(SlideAt() + kMaxMatch - c_.out)});
        std::memcpy(c_.out, c_.in, n);
        c_.in += n, c_.out += n;
        length -= static_cast<uint32_t>(n);
    }
}

// A block in the fixed codes; they are built once per stream.
void TInflater::Fixed() {
    if (!fixedBuilt_) {
        // Literal/length code lengths by symbol range, then the distances'.
        static const uint16_t kRuns[][2] = {{144, 8}, {256, 9}, {280, 7}, {288, 8}, {320, 5}};
        unsigned s = 0;
        for (const auto& run : kRuns)
            for (; s < run[0]; ++s) lens_[s] = static_cast<uint8_t>(run[1]);
        BuildTable(lit_, kLitTableSize, kLitBits, lens_, 288, litTemplates_, false);
        BuildTable(dist_, kDistTableSize, kDistBits, lens_ + 288, 32, distTemplates_, false);
        fixedBuilt_ = true;
    }
    Codes(lit_, dist_);
}

// A block in codes of its own: their sizes, the code length code, the
// code lengths of both codes in it, then the data.
void TInflater::Dynamic() {
    unsigned nlen = Bits(5) + 257, ndist = Bits(5) + 1, ncode = Bits(4) + 4;
    if (nlen > 286 || ndist > 30) Fail(c_);
    static const uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    uint8_t lens[19] = {};
    uint32_t symbols[19];
    for (unsigned i = 0; i < 19; ++i) symbols[i] = i << 16;
    for (unsigned i = 0; i < ncode; ++i) lens[kOrder[i]] = static_cast<uint8_t>(Bits(3));
    fixedBuilt_ = false;
    if (!BuildTable(lit_, kLitTableSize, kCodeLengthBits, lens, 19, symbols, false)) Fail(c_);
    ReadLengths(nlen + ndist);
    // A block without an end cannot end.
    if (lens_[256] == 0 || !BuildTable(lit_, kLitTableSize, kLitBits, lens_, nlen, litTemplates_, true) ||
        !BuildTable(dist_, kDistTableSize, kDistBits, lens_ + nlen, ndist, distTemplates_, true))
        Fail(c_);
    Codes(lit_, dist_);
}

// The code lengths of a dynamic block, in the code length code now in lit_:
// 0-15 a length, 16 repeats the last one, 17 and 18 repeat a zero.
void TInflater::ReadLengths(unsigned total) {
    for (unsigned i = 0; i < total;) {
        uint32_t e = lit_[Peek(kCodeLengthBits) & ((1u << kCodeLengthBits) - 1)];
        Take(c_, e & 0xff);
        unsigned symbol = e >> 16, repeat, value = 0;
        if (symbol < 16) {
            lens_[i++] = static_cast<uint8_t>(symbol);
            continue;
        }
        if (symbol == 16) {
            if (i == 0) Fail(c_);
            value = lens_[i - 1];
            repeat = 3 + Bits(2);
        } else {
            repeat = symbol == 17 ? 3 + Bits(3) : 11 + Bits(7);
        }
        if (repeat > total - i) Fail(c_);
        std::memset(lens_ + i, static_cast<int>(value), repeat);
        i += repeat;
    }
}

// The compressed data of one block, up to its end code.
void TInflater::Codes(const uint32_t* lit, const uint32_t* dist) {
    constexpr TBits kLitMask = (1u << kLitBits) - 1, kDistMask = (1u << kDistBits) - 1;
    const uint8_t* const slideAt = SlideAt();
    TCursor c = c_;
    for (;;) {
        if (c.out > slideAt) c = Slide(c);
        // Enough bits for a literal or length code and its extra bits,
        // with a wide buffer for its distance too.
        Need(c, kWide ? 48 : 20);
        uint32_t e = lit[c.bits & kLitMask];
        if (e & kSubtable) {
            Take(c, e & 0xff);
            e = lit[(e >> 16) + (c.bits & ((TBits{1} << (e >> 8 & 15)) - 1))];
        }
        Take(c, e & 0xff);
        if (e & kLiteral) {
            *c.out++ = static_cast<uint8_t>(e >> 16);
            continue;
        }
        if (e & kInvalid) Fail(c);
        if (e & kEndOfBlock) break;
        unsigned length = (e >> 16) + Take(c, e >> 8 & 15);

        if (!kWide) Need(c, 15);
        e = dist[c.bits & kDistMask];
        if (e & kSubtable) {
            Take(c, e & 0xff);
            e = dist[(e >> 16) + (c.bits & ((TBits{1} << (e >> 8 & 15)) - 1))];
        }
        Take(c, e & 0xff);
        if (e & kInvalid) Fail(c);
        if (!kWide) Need(c, 13);
        size_t distance = (e >> 16) + Take(c, e >> 8 & 15);
        if (distance > static_cast<size_t>(c.out - window_)) Fail(c);  // before the start of the output

        const uint8_t* from = c.out - distance;
        uint8_t* end = c.out + length;
        if (distance >= 16) {
            do {
                std::memcpy(c.out, from, 16);
                c.out += 16, from += 16;
            } while (c.out < end);
        } else if (distance >= 8) {
            do {
                std::memcpy(c.out, from, 8);
                c.out += 8, from += 8;
            } while (c.out < end);
        } else if (distance == 1) {
            std::memset(c.out, *from, length);
        } else {
            do *c.out++ = *from++;
            while (c.out < end);
        }
        c.out = end;
    }
    c_ = c;
}

// Called when fewer than a word's bytes are left at c.in (or none, for a
// stored block): keeps them and reads the next piece of input behind them.
// Once the input has ended, zero bytes stand in for it; a stream that
// needs more than those is cut short.
TCursor TInflater::MoreInput(TCursor c) {
    if (ended_) CutShort();
    uint8_t* start = inBuffer_ + sizeof(TBits);
    uint8_t* end = start + (dataEnd_ - c.in);
    std::memmove(start, c.in, static_cast<size_t>(end - start));
    // Reads until a word can be loaded; each read but the first follows
    // one that gave fewer than a word's bytes, so the buffer holds them.
    while (end - start < static_cast<ptrdiff_t>(sizeof(TBits))) {
        int32_t n = input_.Read(end, InflateBufferSize);
        if (n > InflateBufferSize) Fail(c);  // a stream that claims more than it was asked for
        if ((ended_ = n <= 0)) break;
        totals_.readIn += static_cast<uint64_t>(n);
        end += n;
    }
    size_t pad = ended_ ? kPad : 0;
    std::memset(end, 0, pad);
    dataEnd_ = end;
    c.in = start;
    c.inLimit = end + pad - sizeof(TBits);
    return c;
}

// Writes what is pending and moves the last 32 KiB to the front, where
// matches still reach them.
TCursor TInflater::Slide(TCursor c) {
    Flush(c);
    std::memmove(window_, c.out - kWindow, kWindow);
    c.out = flushed_ = window_ + kWindow;
    return c;
}

// Writes the output not yet written (at most the window, a span and a
// match: one piece) and takes it into the Adler-32; with check, the
// stream's own, only when the sum equals it. Bytes decoded from the zero
// padding behind the input are never written.
void TInflater::Flush(TCursor c, const uint32_t* check) {
    if (PastEnd(c)) CutShort();
    int32_t n = static_cast<int32_t>(c.out - flushed_);
    adler_ = Adler32(adler_, flushed_, static_cast<size_t>(n));
    if (check && adler_ != *check) Fail(c);
    if (n > 0 && output_.Write(flushed_, n) != n) throw EZShortWriteError();
    totals_.produced += static_cast<uint64_t>(n);
    flushed_ = c.out;
}

// Whether bits of the zero padding behind the input have been used.
bool TInflater::PastEnd(TCursor c) const {
    return ended_ && (c.in - dataEnd_) * 8 > static_cast<ptrdiff_t>(c.count);
}

// Damage, or a stream cut short when it has used bits behind the input.
void TInflater::Fail(TCursor c) {
    totals_.inputEnded = PastEnd(c);
    throw EZDecompressionError();
}

void TInflater::CutShort() {
    totals_.inputEnded = true;
    throw EZDecompressionError();
}

}  // namespace

void InflateStream(TStream& input, TStream& output, TInflateTotals* totals) {
    TInflateTotals local;
    TInflateTotals& t = totals ? *totals : local;
    t = TInflateTotals();
    // Not value-initialised: its buffers and tables are written before
    // they are read.
    std::unique_ptr<TInflater> inflater(new TInflater(input, output, t));
    inflater->Run();
}

uint32_t Adler32(uint32_t adler, const unsigned char* data, size_t size) {
    constexpr uint32_t kBase = 65521;
    // The longest run whose sums cannot pass 2^32 before they are reduced.
    constexpr size_t kRun = 5552;
    uint32_t a = adler & 0xffff, b = adler >> 16;
    while (size > 0) {
        size_t n = std::min(size, kRun);
        size -= n;
        for (; n >= 4; n -= 4, data += 4) {
            b += 4 * a + 4u * data[0] + 3u * data[1] + 2u * data[2] + data[3];
            a += 0u + data[0] + data[1] + data[2] + data[3];
        }
        for (; n > 0; --n) b += a += *data++;
        a %= kBase;
        b %= kBase;
    }
    return b << 16 | a;
}
