#pragma once
// One LZMA stream of a solid archive being decoded: the LZMA SDK's decoder
// (LzmaDec.c) writing into a run of the window that holds the stream's
// whole output, so every byte decoded so far stays readable without
// decoding it again. That run is the decoder's dictionary: the stream takes
// no memory for one of its own, only for its input and its probabilities.

#include <cstdint>
#include <memory>

#include "system/uSystem.h"

// LZMA properties as the LZMA SDK stores them: the lc/lp/pb byte and the
// dictionary size, little-endian.
constexpr int LzmaPropsSize = 5;

class TLzmaStream {
public:
    TLzmaStream();
    ~TLzmaStream();
    TLzmaStream(const TLzmaStream&) = delete;
    TLzmaStream& operator=(const TLzmaStream&) = delete;

    // Starts decoding packed bytes at position start of source into
    // output[0, size). False when the properties are refused or the
    // decoder's tables cannot be had; raises std::bad_alloc when its input
    // buffer cannot. The caller has bounded the properties.
    bool Open(TStream& source, int32_t start, uint32_t packed, unsigned char* output, uint32_t size,
              const unsigned char* props);
    // Forgets the stream; Decoded() is 0 afterwards.
    void Close();

    // Decodes until at least upto bytes (at most the stream's size) are in
    // the output; false when the packed bytes end early, are damaged, or
    // the stream ends without its end mark. After a failure Decoded() counts
    // the bytes that came out before it, short of the stream's last.
    bool DecodeTo(uint32_t upto);

    uint32_t Decoded() const { return decoded_; }
    bool IsOpen() const { return output_ != nullptr; }

private:
    bool Refill();
    bool Finish();

    struct TState;
    std::unique_ptr<TState> state_;
    TStream* source_ = nullptr;
    unsigned char* output_ = nullptr;
    int64_t next_ = 0;         // the position of the next packed byte
    uint32_t packedLeft_ = 0;  // packed bytes not read yet
    uint32_t size_ = 0, decoded_ = 0;
};
