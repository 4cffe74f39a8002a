// Fuzz target over what q7pack brand reads besides a stub's headers. The
// first byte chooses the reader, the rest is its input: a brand file; an
// icon; a banner; a page dialog, a string-table block, an icon group or a
// manifest of the stub, rewritten by a brand that sets everything; a whole
// stub, branded, whose archive and signature are split off.

#include <cstdint>
#include <string>

#include "pe/uPeResources.h"
#include "startup/uPeImage.h"
#include "system/uUtf8.h"
#include "tools/q7pack/BrandApply.h"
#include "tools/q7pack/BrandDialog.h"
#include "tools/q7pack/BrandImages.h"
#include "tools/q7pack/BrandVersion.h"
#include "tools/q7pack/PackError.h"

namespace {

void Require(bool condition) {
    if (!condition) __builtin_trap();
}

TBrand FullBrand() {
    const std::string png = std::string("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\0\x10\0\0\0\x10\x08\x06\0\0\0", 29);
    TBrand b = ParseBrand(
        "[installer]\ntitle = Fuzz\nfooter = a\\nb\n[texts]\n211 = x\n103.280 = y\n[strings]\n1 = s\n"
        "65519 = t\n[version]\nproduct-version = 1.2\n[manifest]\ndescription = <&>\nexecution-level = asInvoker\n",
        "brand.ini");
    b.icon = CheckIcon(std::string("\0\0\1\0\1\0\x10\x10\0\0\1\0\x20\0\x21\0\0\0\x16\0\0\0", 22) + png + "crc!",
                       "fuzz.ico");
    b.bitmap = "dib";
    return b;
}

// The resources a brand rewrites, each alone in a stub: the fuzzed bytes
// are its data.
const TResourceId kRewritten[][2] = {{TResourceId::Of(rtDialog), TResourceId::Of(102)},
                                     {TResourceId::Of(rtString), TResourceId::Of(1)},
                                     {TResourceId::Of(rtGroupIcon), TResourceId::Of(1)},
                                     {TResourceId::Of(rtManifest), TResourceId::Of(1)}};

void Rewrite(size_t which, const std::string& data, const TBrand& brand) {
    std::vector<TResource> all = {{kRewritten[which][0], kRewritten[which][1], 0x409, 0, data}};
    all.push_back({TResourceId::Of(rtIcon), TResourceId::Of(1), 0x409, 0, "old icon"});
    BrandResources(all, brand);
    for (const TResource& r : all)
        if (r.Type == TResourceId::Of(rtDialog)) Require(ParseDialog(r.Data).caption == *brand.title);
    LayoutResources(all, 0x1000);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const TBrand full = FullBrand();
    const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
    try {
        if (data[0] == 0) {
            TBrand brand = ParseBrand(input, "/nonexistent/brand.ini");
            std::vector<TResource> all;
            BrandResources(all, brand);  // written into a stub without resources
            for (const TResource& r : all)
                if (r.Type == TResourceId::Of(rtVersion) && brand.version)
                    Require(VersionString(r.Data, u"ProductVersion") == brand.version->strings["ProductVersion"]);
                else if (r.Type == TResourceId::Of(rtManifest))
                    Require(Utf8ToUtf16(r.Data).has_value());
        } else if (data[0] == 1) {
            TIconResources icon = IconResources(CheckIcon(input, "fuzz.ico"), 1);
            size_t bytes = 0;
            for (const std::string& image : icon.images) bytes += image.size();
            Require(bytes <= input.size());
        } else if (data[0] == 2) {
            Require(BannerDib(input, "fuzz.bmp").size() <= input.size());
        } else if (data[0] < 3 + std::size(kRewritten)) {
            Rewrite(data[0] - 3, input, full);
        } else {
            std::string branded = BrandedStub(input, full);
            TPeFile image(branded);
            Require(image.Directory(pdCertificate).Size == 0);
            Require(AppendedArchiveStart(reinterpret_cast<const unsigned char*>(branded.data()), branded.size())
                        .Offset == static_cast<int32_t>(image.DataEnd()));
            std::string title = ReadIdentity(image).title;  // empty for a stub without page 101
            Require(title.empty() || title == "Fuzz");
        }
    } catch (const EPeFormat&) {
    } catch (const PackError&) {
    }
    return 0;
}
