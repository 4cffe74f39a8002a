#include "system/app/uImageScale.h"

#include <gtest/gtest.h>

namespace {

// Grey pixels: the same value in each of the four channels.
std::vector<uint32_t> Grey(std::initializer_list<uint32_t> values) {
    std::vector<uint32_t> out;
    for (uint32_t v : values) out.push_back(v * 0x01010101u);
    return out;
}

// Shrinking averages the source pixels each new one covers, part by part;
// growing blends the two nearest and keeps the edge pixels; each channel
// on its own; sizes that cannot be give nothing.
TEST(ScaleImage, AveragesWhenShrinkingBlendsWhenGrowing) {
    struct Case {
        const char* what;
        std::vector<uint32_t> from;
        int32_t width, height, toWidth, toHeight;
        std::vector<uint32_t> expected;
    } cases[] = {
        {"same size", Grey({1, 2, 3, 4}), 2, 2, 2, 2, Grey({1, 2, 3, 4})},
        {"halved across", Grey({0, 200, 100, 100}), 4, 1, 2, 1, Grey({100, 100})},
        {"halved down", Grey({0, 200, 100, 100}), 1, 4, 1, 2, Grey({100, 100})},
        {"three to two", Grey({0, 90, 180}), 3, 1, 2, 1, Grey({30, 150})},
        {"two to four", Grey({0, 255}), 2, 1, 4, 1, Grey({0, 64, 191, 255})},
        {"one to many", Grey({77}), 1, 1, 3, 2, Grey({77, 77, 77, 77, 77, 77})},
        {"channels apart", {0x00FF8000, 0x00FF0080}, 2, 1, 1, 1, {0x00FF4040}},
        {"too few pixels", Grey({1, 2, 3}), 2, 2, 1, 1, {}},
        {"no size", Grey({1}), 1, 1, 0, 1, {}},
        {"too large", Grey({1}), 1, 1, 8193, 1, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ScaleImage(c.from, c.width, c.height, c.toWidth, c.toHeight), c.expected) << c.what;
}

}  // namespace
