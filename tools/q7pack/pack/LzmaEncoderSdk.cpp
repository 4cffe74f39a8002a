// The LZMA SDK's encoder (LzmaEnc.c, public domain, from Debian's lzma-dev)
// for the builds without liblzma: the Windows q7pack writes solid archives
// with it. Its streams differ from liblzma's bytes, not in format.
#include <cstdlib>

#include "LzmaEnc.h"
#include "tools/q7pack/common/PackError.h"
#include "tools/q7pack/pack/LzmaEncoder.h"

namespace {

void* Allocate(void*, size_t size) { return std::malloc(size); }
void Release(void*, void* address) { std::free(address); }
ISzAlloc kAllocator = {Allocate, Release};

}  // namespace

bool LzmaEncoderAvailable() { return true; }

std::string EncodeLzma(std::string_view data, const TLzmaSettings& settings, unsigned char* props) {
    CLzmaEncProps p;
    LzmaEncProps_Init(&p);
    p.level = 6;
    p.dictSize = settings.Dictionary < (1u << 12) ? 1u << 12 : settings.Dictionary;
    p.lc = settings.Lc, p.lp = settings.Lp, p.pb = settings.Pb;
    p.fb = settings.NiceLength, p.algo = 1, p.btMode = 1, p.mc = static_cast<UInt32>(settings.Depth);
    p.writeEndMark = 1;
    p.numThreads = 1;
    std::string out(data.size() + data.size() / 32 + 65536, '\0');
    SizeT written = out.size(), propsSize = LzmaPropsSize;
    if (LzmaEncode(reinterpret_cast<Byte*>(out.data()), &written, reinterpret_cast<const Byte*>(data.data()),
                   data.size(), &p, props, &propsSize, 1, nullptr, &kAllocator, &kAllocator) != SZ_OK)
        throw PackError("LZMA", "the encoder failed (out of memory?)");
    out.resize(written);
    return out;
}
