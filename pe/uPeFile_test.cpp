// The PE reader and resource writer over the installer executables the
// Windows presets built (skipped for a preset not built yet), and over a
// small image of our own with hostile damage.

#include <gtest/gtest.h>

#include <filesystem>

#include "pe/uPeResources.h"
#include "tests/support/TempDir.h"

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

bool SameResources(const std::vector<TResource>& a, const std::vector<TResource>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!(a[i].Type == b[i].Type) || !(a[i].Name == b[i].Name) || a[i].Language != b[i].Language ||
            a[i].CodePage != b[i].CodePage || a[i].Data != b[i].Data)
            return false;
    return true;
}

std::string_view RawData(const TPeFile& image, size_t i) {
    const TPeSection& s = image.Sections()[i];
    return std::string_view(image.Bytes()).substr(s.PointerToRawData, s.SizeOfRawData);
}

void CheckInstaller(const char* preset) {
    std::string path = std::string(Q7_SOURCE_DIR) + "/build/" + preset + "/startup/q7patcher.exe";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " not built";
    TPeFile stub(ReadFileBytes(path));
    EXPECT_EQ(stub.ComputeChecksum(), stub.StoredChecksum()) << "the linker's checksum";
    std::vector<TResource> resources = ReadResources(stub);
    ASSERT_GE(resources.size(), 8u);
    size_t rsrc = stub.SectionOf(stub.Directory(pdResource).VirtualAddress);
    ASSERT_EQ(stub.Sections()[rsrc].Name, ".rsrc");

    // Written back unchanged, and once grown by 200 KB so that what lies
    // behind the resources moves: the tree reads back the same, every other
    // section keeps its bytes, and the header checksum is right.
    std::vector<TResource> grown = resources;
    grown.push_back(Make(TResourceId::Of(10), TResourceId::Of(77), 0x409, std::string(200000, 'x')));
    for (const auto& wanted : {resources, grown}) {
        TPeFile copy = stub;
        ReplaceResources(copy, wanted);
        TPeFile reread(copy.Bytes());
        std::vector<TResource> back = ReadResources(reread);
        std::vector<TResource> sorted = wanted;
        std::stable_sort(sorted.begin(), sorted.end(), [](const TResource& a, const TResource& b) {
            return std::tie(a.Type, a.Name, a.Language) < std::tie(b.Type, b.Name, b.Language);
        });
        EXPECT_TRUE(SameResources(back, sorted)) << preset;
        ASSERT_EQ(reread.Sections().size(), stub.Sections().size());
        for (size_t i = 0; i < stub.Sections().size(); ++i) {
            if (i == rsrc) continue;
            EXPECT_EQ(RawData(reread, i), RawData(stub, i))
                << preset << " section " << stub.Sections()[i].Name;
        }
        EXPECT_EQ(reread.ComputeChecksum(), reread.StoredChecksum());
        const TPeSection& last = reread.Sections().back();
        EXPECT_EQ(reread.Directory(pdBaseReloc).VirtualAddress, last.VirtualAddress) << preset;
        EXPECT_EQ(reread.DataEnd(), reread.Bytes().size());
    }
}

TEST(PeResourcesOfTheInstaller, Win32RoundTripsAndGrows) { CheckInstaller("win32"); }
TEST(PeResourcesOfTheInstaller, Win64RoundTripsAndGrows) { CheckInstaller("win64"); }

void Put32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
}

// A PE32 image of headers and one resource section holding tree.
std::string SmallImage(const std::string& tree) {
    std::string image(0x200, '\0');
    image[0] = 'M', image[1] = 'Z';
    Put32(image, 0x3C, 0x40);
    image.replace(0x40, 4, std::string("PE\0\0", 4));
    Put32(image, 0x44, 0x0001014C);  // i386, one section
    Put32(image, 0x54, 0x010F00E0);  // optional header of 224 bytes
    const size_t opt = 0x58;
    Put32(image, opt, 0x10B);
    Put32(image, opt + 32, 0x1000);
    Put32(image, opt + 36, 0x200);
    Put32(image, opt + 56, 0x2000 + static_cast<uint32_t>(tree.size()));
    Put32(image, opt + 60, 0x200);
    Put32(image, opt + 92, 16);
    Put32(image, opt + 96 + 16, 0x1000);
    Put32(image, opt + 96 + 20, static_cast<uint32_t>(tree.size()));
    const size_t section = opt + 224;
    image.replace(section, 5, ".rsrc");
    Put32(image, section + 8, static_cast<uint32_t>(tree.size()));
    Put32(image, section + 12, 0x1000);
    Put32(image, section + 16, static_cast<uint32_t>(tree.size()));
    Put32(image, section + 20, 0x200);
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
    const size_t rsrc = 0x200;
    struct Damage {
        const char* what;
        size_t at;
        uint32_t value;
    } damages[] = {
        {"signature offset past the end", 0x3C, 0xFFFFFFF0},
        {"signature other than PE\\0\\0", 0x40, 0x00014550},
        {"section data one byte past the end", 0x58 + 224 + 16, static_cast<uint32_t>(tree.size() + 1)},
        {"unknown optional header", 0x58, 0x30B},
        {"section data past the end", 0x58 + 224 + 16, 0x7FFFFFFF},
        {"section data offset past the end", 0x58 + 224 + 20, 0xFFFFFF00},
        {"section data over the section table", 0x58 + 224 + 20, 0x100},
        {"root entry count beyond the tree", rsrc + 12, 0xFFFFFFFF},
        {"type directory pointing at the root", rsrc + 20, 0x80000000},
        {"type entry leading straight to a data entry", rsrc + 20, 16 * 3 + 8 * 3},
        {"name text past the end", rsrc + 16 + 8 + 16, 0x80FFFFF0},
        {"data entry leading out of the section", rsrc + 16 * 3 + 8 * 3, 0x00FFFFF0},
    };
    for (const Damage& d : damages) {
        std::string bad = good;
        Put32(bad, d.at, d.value);
        EXPECT_THROW(ReadResources(TPeFile(bad)), EPeFormat) << d.what;
    }
    // 300 language entries sharing one megabyte: 300 MB of copies refused.
    std::vector<TResource> many;
    for (uint32_t language = 0; language < 300; ++language)
        many.push_back(Make(TResourceId::Of(rtBitmap), TResourceId::Of(1), language, "x"));
    std::string shared = LayoutResources(many, 0x1000);
    const size_t entries = 16 + 8 + 16 + 8 + 16 + 8 * 300;
    for (size_t k = 0; k < many.size(); ++k) {
        Put32(shared, entries + 16 * k, 0x1000);
        Put32(shared, entries + 16 * k + 4, 1 << 20);
    }
    EXPECT_THROW(ReadResources(TPeFile(SmallImage(shared + std::string(1 << 20, '\0')))), EPeFormat)
        << "data shared by many entries";

    // A section without raw data still counts where the installer looks for
    // its archive, so one "placed" past the file is damage too.
    std::string empty = good;
    Put32(empty, 0x58 + 224 + 16, 0);
    Put32(empty, 0x58 + 224 + 20, 0x10000);
    EXPECT_THROW(TPeFile{empty}, EPeFormat) << "empty section placed past the end";

    TResource twice = Make(TResourceId::Of(rtBitmap), TResourceId::Of(1), 0x409, "x");
    EXPECT_THROW(ReadResources(TPeFile(SmallImage(LayoutResources({twice, twice}, 0x1000)))), EPeFormat)
        << "the same resource twice";

    std::string cut = good.substr(0, 0x100);
    EXPECT_THROW(TPeFile{cut}, EPeFormat) << "file cut in its headers";
}

}  // namespace
