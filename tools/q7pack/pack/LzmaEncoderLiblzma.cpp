#include <lzma.h>

#include "tools/q7pack/common/PackError.h"
#include "tools/q7pack/pack/LzmaEncoder.h"

bool LzmaEncoderAvailable() { return true; }

std::string EncodeLzma(std::string_view data, const TLzmaSettings& settings, unsigned char* props) {
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 6);
    options.dict_size = std::max<uint32_t>(settings.Dictionary, LZMA_DICT_SIZE_MIN);
    options.lc = static_cast<uint32_t>(settings.Lc);
    options.lp = static_cast<uint32_t>(settings.Lp);
    options.pb = static_cast<uint32_t>(settings.Pb);
    options.nice_len = static_cast<uint32_t>(settings.NiceLength);
    options.depth = static_cast<uint32_t>(settings.Depth);
    lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    // LZMA grows incompressible data by a little over 1 %.
    std::string out(data.size() + data.size() / 32 + 65536, '\0');
    size_t written = 0;
    if (lzma_raw_buffer_encode(filters, nullptr, reinterpret_cast<const uint8_t*>(data.data()), data.size(),
                               reinterpret_cast<uint8_t*>(out.data()), &written, out.size()) != LZMA_OK)
        throw PackError("LZMA", "the encoder failed (out of memory?)");
    out.resize(written);
    props[0] = static_cast<unsigned char>((settings.Pb * 5 + settings.Lp) * 9 + settings.Lc);
    for (int i = 0; i < 4; ++i) props[1 + i] = static_cast<unsigned char>(options.dict_size >> (8 * i));
    return out;
}
