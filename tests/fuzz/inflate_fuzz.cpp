// Fuzz target over our inflate, checked against zlib's (Disagreement): the
// first input byte chooses the size of the pieces the rest, a zlib stream,
// comes in.
#include <string>

#include "tests/fuzz/Require.h"
#include "tests/support/InflateReference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int32_t kSteps[] = {1, 2, 3, 7, 64, 4093, 32768, 1 << 20};
    if (size < 1) return 0;
    TInflateTotals totals;
    bool ok;
    Require(Disagreement(std::string(reinterpret_cast<const char*>(data) + 1, size - 1), kSteps[data[0] & 7],
                         totals, ok)
                .empty());
    return 0;
}
