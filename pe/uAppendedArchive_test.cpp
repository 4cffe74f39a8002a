#include "pe/uAppendedArchive.h"

#include <gtest/gtest.h>

#include "tests/support/PeImage.h"

namespace {

const unsigned char* Bytes(const std::string& b) { return reinterpret_cast<const unsigned char*>(b.data()); }

TEST(AppendedArchiveStart, IsReachableOnlyBelow2GiBWithoutWrapping) {
    using K = TAppendedArchiveStart;
    struct Case {
        std::vector<TTestSection> sections;
        std::optional<uint32_t> dataEnd;
        K::TKind kind;
    } cases[] = {
        {{{0x400, 0x1000}, {0x3400, 0x200}, {0x1400, 0x2000}}, 0x3600u, K::Reachable},
        {{{0x400, 0x1000}, {0x7FFFFF00u, 0xFF}}, 0x7FFFFFFFu, K::Reachable},
        {{{0x400, 0x1000}, {0x7FFFFF00u, 0x100}}, 0x80000000u, K::Unreachable},
        {{{0x400, 0x1000}, {0x80000000u, 0x10}}, 0x80000010u, K::Unreachable},
        {{{0xFFFFFF00u, 0x200}, {0x400, 0x200}}, 0xFFFFFFFFu, K::Unreachable},  // 2^32 + 0x100 saturates
        // Raw data over the headers or over another section's: no image
        // that anyone could edit, so no archive behind it either.
        {{{0x100, 0x200}}, std::nullopt, K::NotAnImage},
        {{{0x400, 0x1000}, {0x1200, 0x10}}, std::nullopt, K::NotAnImage},
        {{{0x400, 0}, {0x400, 0x10}}, 0x410u, K::Reachable},  // an empty section takes no room
        {{}, 0u, K::Reachable},
    };
    for (uint32_t optional : {224u, 240u})
        for (const Case& c : cases) {
            std::string image = PeImageBytes(optional, c.sections);
            EXPECT_EQ(PeImageDataEnd(Bytes(image), image.size()), c.dataEnd);
            TAppendedArchiveStart start = AppendedArchiveStart(Bytes(image), image.size());
            EXPECT_EQ(start.Kind, c.kind) << c.dataEnd.value_or(0);
            if (c.kind == K::Reachable) {
                EXPECT_EQ(static_cast<uint32_t>(start.Offset), *c.dataEnd);
            }
        }
    std::string archive = "px\0\0\0\0\0\0";
    EXPECT_EQ(AppendedArchiveStart(Bytes(archive), archive.size()).Kind, K::NotAnImage);
}

TEST(PeImageDataEnd, RefusesWhatIsNotAPeImage) {
    const std::string good = PeImageBytes(224, {{0x400, 0x200}});
    std::string noMz = good, noPe = good, farSignature = good, shortTable = good.substr(0, good.size() - 1),
                manySections = good;
    noMz[0] = 'X';
    noPe[0x41] = 'X';
    PutLE(farSignature, 0x3C, 0xFFFFFFF0u);
    PutLE(manySections, kTestFileHeader + 2, 0xFFFF, 2);
    for (const std::string& image : {noMz, noPe, farSignature, shortTable, manySections})
        EXPECT_FALSE(PeImageDataEnd(Bytes(image), image.size()).has_value());
    EXPECT_FALSE(PeImageDataEnd(Bytes(good), 0x20).has_value());
    std::string archive = "px\0\0\0\0\0\0";
    EXPECT_FALSE(PeImageDataEnd(Bytes(archive), archive.size()));
}

}  // namespace
