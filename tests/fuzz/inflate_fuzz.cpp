// Fuzz target over our inflate, checked against zlib's (Disagreement): the
// first input byte chooses the size of the pieces the rest comes in, the
// rest is taken as a zlib stream.

#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/fuzz/Require.h"
#include "tests/support/InflateReference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static const size_t kSteps[] = {1, 2, 3, 7, 64, 4093, 32768, 1 << 20};
    std::string stream(reinterpret_cast<const char*>(data) + 1, size - 1);
    TInflateTotals totals;
    bool ok;
    Require(Disagreement(stream, kSteps[data[0] & 7], totals, ok).empty());
    return 0;
}
