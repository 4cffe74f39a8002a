#include "startup/uPeImage.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

void Put16(std::vector<unsigned char>& b, size_t at, uint32_t v) {
    b[at] = v & 0xFF;
    b[at + 1] = (v >> 8) & 0xFF;
}

void Put32(std::vector<unsigned char>& b, size_t at, uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

struct Section {
    uint32_t pointer, size;
};

// A minimal image: DOS header, signature at 0x80, file header, an optional
// header of the given size, then the section table.
std::vector<unsigned char> Image(uint32_t optionalHeaderSize, std::vector<Section> sections) {
    const size_t table = 0x80 + 4 + 20 + optionalHeaderSize;
    std::vector<unsigned char> b(table + 40 * sections.size(), 0);
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, 0x80);
    b[0x80] = 'P';
    b[0x81] = 'E';
    Put16(b, 0x84 + 2, static_cast<uint32_t>(sections.size()));
    Put16(b, 0x84 + 16, optionalHeaderSize);
    for (size_t i = 0; i < sections.size(); ++i) {
        Put32(b, table + 40 * i + 16, sections[i].size);
        Put32(b, table + 40 * i + 20, sections[i].pointer);
    }
    return b;
}

TEST(AppendedArchiveStart, IsReachableOnlyBelow2GiBWithoutWrapping) {
    using K = TAppendedArchiveStart;
    struct Case {
        std::vector<Section> sections;
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
            auto image = Image(optional, c.sections);
            EXPECT_EQ(PeImageDataEnd(image.data(), image.size()), c.dataEnd);
            TAppendedArchiveStart start = AppendedArchiveStart(image.data(), image.size());
            EXPECT_EQ(start.Kind, c.kind) << c.dataEnd.value_or(0);
            if (c.kind == K::Reachable) {
                EXPECT_EQ(static_cast<uint32_t>(start.Offset), *c.dataEnd);
            }
        }
    std::string archive = "px\0\0\0\0\0\0";
    EXPECT_EQ(
        AppendedArchiveStart(reinterpret_cast<const unsigned char*>(archive.data()), archive.size()).Kind,
        K::NotAnImage);
}

TEST(PeImageDataEnd, RefusesWhatIsNotAPeImage) {
    auto good = Image(224, {{0x400, 0x200}});
    auto noMz = good;
    noMz[0] = 'X';
    auto noPe = good;
    noPe[0x81] = 'X';
    auto farSignature = good;
    Put32(farSignature, 0x3C, 0xFFFFFFF0u);
    auto shortTable = good;
    shortTable.resize(good.size() - 1);
    auto manySections = good;
    Put16(manySections, 0x84 + 2, 0xFFFF);
    for (const auto* image : {&noMz, &noPe, &farSignature, &shortTable, &manySections})
        EXPECT_FALSE(PeImageDataEnd(image->data(), image->size()).has_value());
    EXPECT_FALSE(PeImageDataEnd(good.data(), 0x20).has_value());
    std::string archive = "px\0\0\0\0\0\0";
    EXPECT_FALSE(PeImageDataEnd(reinterpret_cast<const unsigned char*>(archive.data()), archive.size()));
}

}  // namespace
