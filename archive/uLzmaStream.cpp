#include "archive/uLzmaStream.h"

#include <cstdlib>

#include "LzmaDec.h"

namespace {

constexpr uint32_t kInputSize = 65536;

void* Allocate(void*, size_t size) { return std::malloc(size); }
void Release(void*, void* address) { std::free(address); }
ISzAlloc kAllocator = {Allocate, Release};

}  // namespace

struct TLzmaStream::TState {
    TState() { LzmaDec_Construct(&decoder); }
    CLzmaDec decoder;
    unsigned char input[kInputSize];
    uint32_t at = 0, end = 0;  // unread bytes of input

    // Feeds the decoder the unread input, up to limit bytes of output;
    // false when it refuses the data.
    bool Step(SizeT limit, ELzmaFinishMode mode, ELzmaStatus& status) {
        SizeT length = end - at;
        if (LzmaDec_DecodeToDic(&decoder, limit, input + at, &length, mode, &status) != SZ_OK) return false;
        at += static_cast<uint32_t>(length);
        return true;
    }
};

TLzmaStream::TLzmaStream() = default;

TLzmaStream::~TLzmaStream() { Close(); }

void TLzmaStream::Close() {
    if (state_) LzmaDec_FreeProbs(&state_->decoder, &kAllocator);
    output_ = nullptr;
    size_ = decoded_ = 0;
}

bool TLzmaStream::Open(TStream& source, int32_t start, uint32_t packed, unsigned char* output, uint32_t size,
                       const unsigned char* props) {
    Close();
    // The input buffer is taken once, when the stream is first opened;
    // memory that cannot be had raises.
    if (!state_) state_.reset(new TState);
    CLzmaDec& decoder = state_->decoder;
    if (LzmaDec_AllocateProbs(&decoder, props, LzmaPropsSize, &kAllocator) != SZ_OK) return false;
    // The output holds the whole stream, so the decoder never wraps it and
    // no distance can reach before the stream's first byte.
    decoder.dic = output_ = output;
    decoder.dicBufSize = size;
    LzmaDec_Init(&decoder);
    source_ = &source;
    next_ = start;
    packedLeft_ = packed;
    size_ = size;
    state_->at = state_->end = 0;
    return true;
}

bool TLzmaStream::Refill() {
    uint32_t want = packedLeft_ < kInputSize ? packedLeft_ : kInputSize;
    if (want == 0 || next_ > INT32_MAX) return false;
    // Other entries' reads move the stream: every read says where.
    if (source_->Seek(static_cast<int32_t>(next_), soFromBeginning) != next_) return false;
    int32_t got = source_->Read(state_->input, static_cast<int32_t>(want));
    if (got <= 0 || static_cast<uint32_t>(got) > want) return false;
    state_->at = 0;
    state_->end = static_cast<uint32_t>(got);
    next_ += got;
    packedLeft_ -= static_cast<uint32_t>(got);
    return true;
}

// At the end of the block the stream must close with its end mark.
bool TLzmaStream::Finish() {
    for (;;) {
        ELzmaStatus status;
        if (!state_->Step(size_, LZMA_FINISH_END, status)) return false;
        // Without the mark only by a chance of 2^-32: the coder's state is 0.
        if (status == LZMA_STATUS_FINISHED_WITH_MARK || status == LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK)
            return true;
        if (status != LZMA_STATUS_NEEDS_MORE_INPUT || !Refill()) return false;
    }
}

bool TLzmaStream::DecodeTo(uint32_t upto) {
    if (upto > size_) upto = size_;
    while (decoded_ < upto) {
        bool ok = state_->at < state_->end || Refill();
        // No further than asked: a damaged tail fails only the entries in it.
        ELzmaStatus status = LZMA_STATUS_NOT_SPECIFIED;
        ok = ok && state_->Step(upto, LZMA_FINISH_ANY, status);
        uint32_t now = static_cast<uint32_t>(state_->decoder.dicPos);
        // An end mark before the block is complete: it ends early.
        ok = ok && !(status == LZMA_STATUS_FINISHED_WITH_MARK && now < size_);
        if (ok && now == size_) ok = Finish();
        // What came out before a failure stays readable (every entry has its
        // checksum), the last byte only once the end mark is checked, so that
        // the entry at the end of a stream that ends wrongly fails.
        decoded_ = ok || now < size_ ? now : size_ - 1;
        if (!ok) return false;
    }
    return true;
}
