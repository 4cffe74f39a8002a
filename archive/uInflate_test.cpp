// Our inflate against zlib's (Disagreement) over the inflate fuzz target's
// seeds, which tests/fuzz/make_corpus.py writes: every block kind, matches
// at distances 1 and 32768, every kind of damage, each named for how it
// ends (ok-, bad- or cut-); the input comes in pieces of odd sizes.
#include "archive/uInflate.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/support/InflateReference.h"

namespace {

std::string Stream(const std::filesystem::path& seed) {
    std::ifstream in(seed, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return bytes.substr(1);  // the fuzz target's choice of piece size
}

TEST(Inflate, AgreesWithZlibOnEverySeedInPiecesOfAnySize) {
    int seeds = 0;
    for (const auto& seed : std::filesystem::directory_iterator(Q7_INFLATE_SEEDS)) {
        std::string name = seed.path().filename().string(), stream = Stream(seed.path());
        for (size_t step : {1, 7, 4093, 1 << 20}) {
            TInflateTotals totals;
            bool ok;
            EXPECT_EQ(Disagreement(stream, step, totals, ok), "") << name << ", pieces of " << step;
            EXPECT_EQ(ok, name.rfind("ok-", 0) == 0) << name;
            EXPECT_EQ(totals.inputEnded, name.rfind("cut-", 0) == 0) << name;
        }
        ++seeds;
    }
    EXPECT_GE(seeds, 38);
}

// Cut anywhere, a stream of many blocks fails as cut short.
TEST(Inflate, EveryCutOfAStreamEndsAsCutShort) {
    std::string stream = Stream(std::string(Q7_INFLATE_SEEDS) + "/ok-flushed");
    for (size_t size = 0; size < stream.size(); ++size) {
        TInflateTotals totals;
        bool ok;
        EXPECT_EQ(Disagreement(stream.substr(0, size), 5, totals, ok), "") << size;
        EXPECT_TRUE(totals.inputEnded) << size;
    }
}

}  // namespace
