// The PE reader and resource writer over a small image of our own with
// hostile damage. The installer executables the Windows presets build are
// branded and read back by brand_test.py, which checks their sections,
// relocations and checksum.

#include <gtest/gtest.h>

#include "pe/uPeResources.h"
#include "tests/support/PeImage.h"

namespace {

TResource Make(TResourceId type, TResourceId name, uint32_t language, std::string data) {
    TResource r;
    r.Type = std::move(type);
    r.Name = std::move(name);
    r.Language = language;
    r.Data = std::move(data);
    return r;
}

TResourceId Named(const std::u16string& text) {
    TResourceId id;
    id.IsText = true;
    id.Text = text;
    return id;
}

// A PE32 image of headers and one resource section holding tree.
std::string SmallImage(const std::string& tree) {
    const uint32_t n = static_cast<uint32_t>(tree.size());
    std::string image = PeImageBytes(224, {{0x200, n, 0x1000, ".rsrc"}}, 0x200);
    PutLE(image, kTestFileHeader, 0x14C, 2);  // i386
    PutLE(image, kTestFileHeader + 18, 0x10F, 2);
    // Alignments, sizes, and the resource directory.
    const std::pair<size_t, uint32_t> fields[] = {{32, 0x1000}, {36, 0x200},   {56, 0x2000 + n}, {60, 0x200},
                                                  {92, 16},     {112, 0x1000}, {116, n}};
    for (auto [at, v] : fields) PutLE(image, kTestOptionalHeader + at, v);
    return image + tree;
}

// Windows looks resources up by binary search: in each directory the named
// entries come first, in order, then the numbered ones.
TEST(PeResources, ATreeListsNamesBeforeNumbers) {
    std::vector<TResource> back = ReadResources(TPeFile(SmallImage(LayoutResources(
        {Make(TResourceId::Of(rtBitmap), TResourceId::Of(1), 0, "1"), Make(TResourceId::Of(rtBitmap), Named(u"B"), 0, "B"),
         Make(TResourceId::Of(rtBitmap), Named(u"A"), 0, "A")},
        0x1000))));
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0].Data + back[1].Data + back[2].Data, "AB1");
}

// Each damage is refused with EPeFormat, never read out of bounds (the
// sanitizer build watches) and never looped on.
TEST(PeFile, RefusesDamagedHeadersAndResourceTrees) {
    std::string tree =
        LayoutResources({Make(TResourceId::Of(rtBitmap), Named(u"BANNER"), 0x409, "pixels")}, 0x1000);
    const std::string good = SmallImage(tree);
    const size_t rsrc = 0x200, section = kTestOptionalHeader + 224;  // its one section's entry
    struct Damage {
        const char* what;
        size_t at;
        uint32_t value;
    } damages[] = {
        {"signature offset past the end", 0x3C, 0xFFFFFFF0},
        {"signature other than PE\\0\\0", 0x40, 0x00014550},
        {"section data one byte past the end", section + 16, static_cast<uint32_t>(tree.size() + 1)},
        {"unknown optional header", kTestOptionalHeader, 0x30B},
        {"section data past the end", section + 16, 0x7FFFFFFF},
        {"section data offset past the end", section + 20, 0xFFFFFF00},
        {"section data over the section table", section + 20, 0x100},
        {"root entry count beyond the tree", rsrc + 12, 0xFFFFFFFF},
        {"type directory pointing at the root", rsrc + 20, 0x80000000},
        {"type entry leading straight to a data entry", rsrc + 20, 16 * 3 + 8 * 3},
        {"name text past the end", rsrc + 16 + 8 + 16, 0x80FFFFF0},
        {"data entry leading out of the section", rsrc + 16 * 3 + 8 * 3, 0x00FFFFF0},
    };
    for (const Damage& d : damages) {
        std::string bad = good;
        PutLE(bad, d.at, d.value);
        EXPECT_THROW(ReadResources(TPeFile(bad)), EPeFormat) << d.what;
    }
    // 300 language entries sharing one megabyte: 300 MB of copies refused.
    std::vector<TResource> many;
    for (uint32_t language = 0; language < 300; ++language)
        many.push_back(Make(TResourceId::Of(rtBitmap), TResourceId::Of(1), language, "x"));
    std::string shared = LayoutResources(many, 0x1000);
    const size_t entries = 16 + 8 + 16 + 8 + 16 + 8 * 300;
    for (size_t k = 0; k < many.size(); ++k) {
        PutLE(shared, entries + 16 * k, 0x1000);
        PutLE(shared, entries + 16 * k + 4, 1 << 20);
    }
    EXPECT_THROW(ReadResources(TPeFile(SmallImage(shared + std::string(1 << 20, '\0')))), EPeFormat)
        << "data shared by many entries";

    // A section without raw data still counts where the installer looks for
    // its archive, so one "placed" past the file is damage too.
    std::string empty = good;
    PutLE(empty, section + 16, 0);
    PutLE(empty, section + 20, 0x10000);
    EXPECT_THROW(TPeFile{empty}, EPeFormat) << "empty section placed past the end";

    TResource twice = Make(TResourceId::Of(rtBitmap), TResourceId::Of(1), 0x409, "x");
    EXPECT_THROW(ReadResources(TPeFile(SmallImage(LayoutResources({twice, twice}, 0x1000)))), EPeFormat)
        << "the same resource twice";

    std::string cut = good.substr(0, 0x100);
    EXPECT_THROW(TPeFile{cut}, EPeFormat) << "file cut in its headers";
}

}  // namespace
