// The code pages' byte tables from iconv.

#include <iconv.h>

#include "system/text/uCodePage.h"

namespace {

// An open conversion, closed when it goes out of scope.
class TIconv {
public:
    explicit TIconv(const std::string& from) : cd_(iconv_open("UTF-32LE", from.c_str())) {}
    ~TIconv() {
        if (Valid()) iconv_close(cd_);
    }
    TIconv(const TIconv&) = delete;
    TIconv& operator=(const TIconv&) = delete;
    bool Valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return cd_; }

private:
    iconv_t cd_;
};

}  // namespace

std::array<uint32_t, 256> SystemCodePageTable(uint32_t codePage) {
    std::array<uint32_t, 256> table;
    table.fill(kNoCharacter);
    TIconv conversion("WINDOWS-" + std::to_string(codePage));
    if (!conversion.Valid()) return table;
    iconv_t cd = conversion.Get();
    for (int b = 0; b < 256; ++b) {
        char in = static_cast<char>(b);
        unsigned char out[8];
        char* inPtr = &in;
        char* outPtr = reinterpret_cast<char*>(out);
        size_t inLeft = 1, outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        // Windows-1258 holds a base letter back to combine it with a mark
        // that may follow: the flush gives it out.
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) continue;
        iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
        if (sizeof out - outLeft == 4)
            table[b] = static_cast<uint32_t>(out[0] | out[1] << 8 | out[2] << 16 | out[3] << 24);
    }
    return table;
}

