#pragma once
// One block of a solid archive being decoded: the LZMA SDK's decoder
// (LzmaDec.c) writing into a window that holds the whole block, so every
// byte decoded so far stays readable without decoding it again. The window
// is the decoder's dictionary: the memory a block takes is its size.

#include <cstdint>
#include <memory>

#include "system/uSystem.h"

// LZMA properties as the LZMA SDK stores them: the lc/lp/pb byte and the
// dictionary size, little-endian.
constexpr int LzmaPropsSize = 5;

class TLzmaWindow {
public:
    TLzmaWindow();
    ~TLzmaWindow();
    TLzmaWindow(const TLzmaWindow&) = delete;
    TLzmaWindow& operator=(const TLzmaWindow&) = delete;

    // Starts decoding a block: packed bytes at position start of source,
    // size bytes when decoded. Takes the window's memory (size bytes) and
    // the decoder's; false when the properties are refused or the memory
    // cannot be had. The caller has bounded size and the properties.
    bool Open(TStream& source, int32_t start, uint32_t packed, uint32_t size, const unsigned char* props);
    // Releases the window; Decoded() is 0 afterwards.
    void Close();

    // Decodes until at least upto bytes (at most the block's size) are in
    // the window; false when the packed bytes end early, are damaged, or
    // the block ends without its end mark. Every MiB or so calls
    // beat.Write with a count of 0, so that whoever waits for the bytes can
    // answer its window.
    bool DecodeTo(uint32_t upto, TStream& beat);

    uint32_t Decoded() const { return decoded_; }
    const unsigned char* Bytes() const { return window_.get(); }

private:
    bool Refill();
    bool Finish();

    struct TState;
    std::unique_ptr<TState> state_;
    std::unique_ptr<unsigned char[]> window_;
    TStream* source_ = nullptr;
    int64_t next_ = 0;         // the position of the next packed byte
    uint32_t packedLeft_ = 0;  // packed bytes not read yet
    uint32_t size_ = 0, decoded_ = 0;
};
