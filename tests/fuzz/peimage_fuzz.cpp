// Fuzz target over the PE header arithmetic that finds an appended archive.
// The first four input bytes give the size of the readable region (at most
// the rest of the input, which is copied to a buffer of exactly that size,
// so any read past it is caught); the rest are the header bytes.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "pe/uAppendedArchive.h"
#include "system/io/uByteOrder.h"
#include "tests/fuzz/Require.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    size_t region = LoadLE32(data) % (size - 4 + 1);
    auto image = std::make_unique<unsigned char[]>(region);
    if (region > 0) std::memcpy(image.get(), data + 4, region);

    std::optional<uint32_t> end = PeImageDataEnd(image.get(), region);
    TAppendedArchiveStart start = AppendedArchiveStart(image.get(), region);
    switch (start.Kind) {
        case TAppendedArchiveStart::NotAnImage:
            Require(!end);
            break;
        case TAppendedArchiveStart::Unreachable:
            Require(end && *end > static_cast<uint32_t>(INT32_MAX));
            break;
        case TAppendedArchiveStart::Reachable:
            Require(end && start.Offset >= 0 && *end == static_cast<uint32_t>(start.Offset));
            break;
    }
    return 0;
}
