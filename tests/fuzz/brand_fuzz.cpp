// Fuzz target over what q7pack brand and list read. The first byte chooses
// the reader, the rest is its input: 0 a brand file; 1 an icon; 2 a banner;
// 3 to 6 a page dialog, a string-table block, an icon group or a manifest
// of a stub, rewritten by a brand that sets everything; 7 a whole stub,
// branded, whose archive and signature are split off; 8 an installer whose
// resources list reads and whose tree is laid out anew.

#include <algorithm>
#include <cstdint>
#include <string>
#include <tuple>

#include "pe/uAppendedArchive.h"
#include "pe/uPeResources.h"
#include "system/text/uUtf8.h"
#include "tests/fuzz/Require.h"
#include "tools/q7pack/brand/BrandApply.h"
#include "tools/q7pack/brand/BrandDialog.h"
#include "tools/q7pack/brand/BrandImages.h"
#include "tools/q7pack/brand/BrandVersion.h"
#include "tools/q7pack/common/PackError.h"

namespace {

TBrand FullBrand() {
    TBrand b = ParseBrand(
        "[installer]\ntitle = Fuzz\nfooter = a\\nb\n[texts]\n211 = x\n103.280 = y\n[strings]\n1 = s\n"
        "65519 = t\n[version]\nproduct-version = 1.2\n[manifest]\ndescription = <&>\nexecution-level = "
        "asInvoker\n",
        "brand.ini");
    b.Icon = CheckIcon(std::string("\0\0\1\0\1\0\x10\x10\0\0\1\0\x20\0\x21\0\0\0\x16\0\0\0\x89PNG\r\n\x1A\n"
                                   "\0\0\0\x0DIHDR\0\0\0\x10\0\0\0\x10\x08\x06\0\0\0crc!",
                                   55),
                       "fuzz.ico");
    b.Bitmap = "dib";
    return b;
}

// Type and name of the resources modes 3 to 6 rewrite.
const uint32_t kRewritten[][2] = {{rtDialog, 102}, {rtString, 1}, {rtGroupIcon, 1}, {rtManifest, 1}};

// The resources the tree is written from come back as read, in tree order.
void LaidOutAnew(TPeFile& image) {
    std::vector<TResource> resources = ReadResources(image);
    ReadIdentity(image);
    ReplaceResources(image, resources);
    std::vector<TResource> back = ReadResources(TPeFile(image.Bytes()));
    auto key = [](const TResource& r) { return std::tie(r.Type, r.Name, r.Language); };
    std::stable_sort(resources.begin(), resources.end(), [&](auto& a, auto& b) { return key(a) < key(b); });
    Require(back.size() == resources.size());
    for (size_t i = 0; i < back.size(); ++i)
        Require(key(back[i]) == key(resources[i]) && back[i].Data == resources[i].Data);
}

void Read(uint8_t mode, const std::string& input, const TBrand& full) {
    if (mode == 0) {
        TBrand brand = ParseBrand(input, "/nonexistent/brand.ini");
        std::vector<TResource> all;
        BrandResources(all, brand);  // written into a stub without resources
        for (const TResource& r : all)
            if (r.Type == TResourceId::Of(rtVersion))
                Require(VersionString(r.Data, u"ProductVersion") == brand.Version->Strings["ProductVersion"]);
            else if (r.Type == TResourceId::Of(rtManifest))
                Require(Utf8ToUtf16(r.Data).has_value());
    } else if (mode == 1) {
        size_t bytes = 0;
        for (const std::string& image : IconResources(CheckIcon(input, "fuzz.ico"), 1).Images)
            bytes += image.size();
        Require(bytes <= input.size());
    } else if (mode == 2) {
        Require(BannerDib(input, "fuzz.bmp").size() <= input.size());
    } else if (mode < 7) {
        const uint32_t* which = kRewritten[mode - 3];
        std::vector<TResource> all = {{TResourceId::Of(which[0]), TResourceId::Of(which[1]), 0x409, 0, input},
                                      {TResourceId::Of(rtIcon), TResourceId::Of(1), 0x409, 0, "old icon"}};
        BrandResources(all, full);
        for (const TResource& r : all)
            if (r.Type == TResourceId::Of(rtDialog)) Require(ParseDialog(r.Data).Caption == u"Fuzz");
        LayoutResources(all, 0x1000);
    } else if (mode == 7) {
        std::string branded = BrandedStub(input, full);
        TPeFile image(branded);
        Require(image.Directory(pdCertificate).Size == 0);
        auto bytes = reinterpret_cast<const unsigned char*>(branded.data());
        Require(AppendedArchiveStart(bytes, branded.size()).Offset == static_cast<int32_t>(image.DataEnd()));
        std::string title = ReadIdentity(image).Title;  // empty for a stub without page 101
        Require(title.empty() || title == "Fuzz");
    } else {
        TPeFile image(input);
        LaidOutAnew(image);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const TBrand full = FullBrand();
    try {
        if (size > 0) Read(data[0], std::string(reinterpret_cast<const char*>(data) + 1, size - 1), full);
    } catch (const EPeFormat&) {
    } catch (const PackError&) {
    }
    return 0;
}
