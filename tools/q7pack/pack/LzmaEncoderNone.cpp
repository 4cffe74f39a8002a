#include "tools/q7pack/pack/LzmaEncoder.h"
#include "tools/q7pack/common/PackError.h"

bool LzmaEncoderAvailable() { return false; }

std::string EncodeLzma(std::string_view, const TLzmaSettings&, unsigned char*) {
    throw PackError("--solid",
                    "this build of q7pack has no LZMA encoder (liblzma): it writes the zlib format only");
}
