// Our inflate against zlib's over the inflate fuzz target's seeds (every
// block kind, matches at distances 1 and 32768, every kind of damage, each
// named ok-, bad- or cut- for how it ends), input in pieces of odd sizes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/support/InflateReference.h"

TEST(Inflate, AgreesWithZlibOnEverySeedInPiecesOfAnySizeAndOnEveryCut) {
    int seeds = 0;
    for (const auto& seed : std::filesystem::directory_iterator(Q7_INFLATE_SEEDS)) {
        std::ifstream in(seed.path(), std::ios::binary);
        std::string name = seed.path().filename().string(), stream(std::istreambuf_iterator<char>(in), {});
        stream.erase(0, 1);  // the fuzz target's piece size
        bool cutAll = name == "ok-flushed", ok;
        for (size_t size = cutAll ? 0 : stream.size(); size <= stream.size(); ++size)
            for (int32_t step : {1, 7, 4093, 1 << 20}) {
                TInflateTotals totals;
                std::string what =
                    name + ", " + std::to_string(size) + " bytes in pieces of " + std::to_string(step);
                EXPECT_EQ(Disagreement(stream.substr(0, size), step, totals, ok), "") << what;
                EXPECT_EQ(ok, name.rfind("ok-", 0) == 0 && size == stream.size()) << what;
                EXPECT_EQ(totals.inputEnded, name.rfind("cut-", 0) == 0 || size < stream.size()) << what;
            }
        ++seeds;
    }
    EXPECT_GE(seeds, 40);
}
