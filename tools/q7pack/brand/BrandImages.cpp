#include "tools/q7pack/brand/BrandImages.h"

#include <algorithm>
#include <utility>

#include "system/io/uByteOrder.h"
#include "tools/q7pack/common/PackError.h"

namespace {

// The banner sizes the installer takes: the page's banner area at 100 %,
// 150 % and 200 % display scale (drawn there without resampling, and
// resampled smoothly at every other scale), and the older 526 by 88,
// stretched to the page's width.
constexpr std::pair<int32_t, int32_t> kBannerSizes[] = {{612, 88}, {918, 132}, {1224, 176}, {526, 88}};
// Windows picks one image of an icon per size and depth: real icons hold a
// few dozen at most.
constexpr uint32_t kMaxIconImages = 256;

const unsigned char* At(const std::string& s, size_t offset) {
    return reinterpret_cast<const unsigned char*>(s.data()) + offset;
}

bool Fits(size_t size, uint64_t offset, uint64_t n) { return offset <= size && n <= size - offset; }

bool KnownDepth(uint32_t bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

uint64_t RowBytes(uint64_t width, uint32_t bits) { return (width * bits + 31) / 32 * 4; }

uint32_t LoadBE32(const unsigned char* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// Why a PNG icon image cannot be loaded: its header chunk (IHDR, 13 bytes
// right behind the signature) must be whole and give the directory's size.
std::string PngFault(const std::string& image, uint32_t width, uint32_t height) {
    if (image.size() < 8 + 8 + 13 + 4 || LoadBE32(At(image, 8)) != 13 || image.compare(12, 4, "IHDR") != 0)
        return "a PNG without its header chunk";
    if (LoadBE32(At(image, 16)) != width || LoadBE32(At(image, 20)) != height)
        return "its PNG's size differs from the directory's";
    return {};
}

// Why one icon image cannot be loaded, or an empty text.
std::string IconImageFault(const std::string& image, uint32_t width, uint32_t height) {
    if (image.compare(0, 8, "\x89PNG\r\n\x1A\n") == 0) return PngFault(image, width, height);
    if (image.size() < 40 || LoadLE32(At(image, 0)) != 40)
        return "neither PNG nor a bitmap with a 40-byte header";
    uint32_t bits = LoadLE16(At(image, 14));
    if (LoadLE32(At(image, 4)) != width || LoadLE32(At(image, 8)) != 2 * height)
        return "its bitmap's size differs from the directory's";
    if (LoadLE16(At(image, 12)) != 1 || !KnownDepth(bits) || LoadLE32(At(image, 16)) != 0)
        return "a bitmap of an unknown depth or compressed";
    uint32_t used = LoadLE32(At(image, 32));
    uint64_t palette = bits <= 8 ? uint64_t{used != 0 ? used : 1u << bits} * 4 : 0;
    uint64_t needed = 40 + palette + (RowBytes(width, bits) + RowBytes(width, 1)) * height;
    if (needed > image.size()) return "its bitmap is cut short";
    return {};
}

}  // namespace

std::string CheckIcon(const std::string& bytes, const std::string& file) {
    if (bytes.size() < 6 || LoadLE16(At(bytes, 0)) != 0 || LoadLE16(At(bytes, 2)) != 1 ||
        LoadLE16(At(bytes, 4)) == 0)
        throw PackError(file, "not an icon (.ico) file");
    uint32_t count = LoadLE16(At(bytes, 4));
    if (count > kMaxIconImages)
        throw PackError(file, "an icon of " + std::to_string(count) + " images; at most " +
                                  std::to_string(kMaxIconImages) + " are taken");
    if (!Fits(bytes.size(), 6, uint64_t{count} * 16)) throw PackError(file, "icon directory cut short");
    std::vector<std::pair<uint64_t, uint32_t>> spans;  // each image's offset and number
    for (uint32_t i = 0; i < count; ++i) {
        const unsigned char* entry = At(bytes, 6 + 16 * i);
        uint32_t width = entry[0] ? entry[0] : 256, height = entry[1] ? entry[1] : 256;
        uint32_t size = LoadLE32(entry + 8), offset = LoadLE32(entry + 12);
        std::string where = "image " + std::to_string(i + 1) + " (" + std::to_string(width) + "x" +
                            std::to_string(height) + ")";
        if (!Fits(bytes.size(), offset, size))
            throw PackError(file, where + " lies past the end of the file");
        if (offset < 6 + 16 * count) throw PackError(file, where + " overlaps the icon directory");
        spans.emplace_back(offset, i);
        std::string fault = IconImageFault(bytes.substr(offset, size), width, height);
        if (!fault.empty()) throw PackError(file, where + " cannot be loaded: " + fault);
    }
    // Each image is copied into a resource of its own: shared bytes would
    // multiply.
    std::sort(spans.begin(), spans.end());
    auto sizeOf = [&](uint32_t i) { return LoadLE32(At(bytes, 6 + 16 * i + 8)); };
    for (size_t k = 1; k < spans.size(); ++k)
        if (spans[k].first < spans[k - 1].first + sizeOf(spans[k - 1].second))
            throw PackError(file, "images " + std::to_string(spans[k - 1].second + 1) + " and " +
                                      std::to_string(spans[k].second + 1) + " share their bytes");
    return bytes;
}

std::string BannerDib(const std::string& bytes, const std::string& file) {
    if (bytes.size() < 14 + 40 || bytes[0] != 'B' || bytes[1] != 'M')
        throw PackError(file, "not a Windows bitmap (.bmp) file");
    uint32_t pixelsAt = LoadLE32(At(bytes, 10)), headerSize = LoadLE32(At(bytes, 14));
    if (headerSize != 40 && headerSize != 108 && headerSize != 124)
        throw PackError(file, "a bitmap header of " + std::to_string(headerSize) +
                                  " bytes; save it as a Windows 3 or later bitmap");
    if (!Fits(bytes.size(), 14, headerSize)) throw PackError(file, "bitmap header cut short");
    int32_t width = static_cast<int32_t>(LoadLE32(At(bytes, 18)));
    int32_t height = static_cast<int32_t>(LoadLE32(At(bytes, 22)));
    uint32_t bits = LoadLE16(At(bytes, 28)), compression = LoadLE32(At(bytes, 30)),
             used = LoadLE32(At(bytes, 46));
    int32_t rows = height == INT32_MIN ? 0 : height < 0 ? -height : height;
    if (std::find(std::begin(kBannerSizes), std::end(kBannerSizes), std::pair{width, rows}) == std::end(kBannerSizes))
        throw PackError(file, "the banner is " + std::to_string(width) + " by " + std::to_string(rows) +
                                  " pixels; it must be 612 by 88, 918 by 132, 1224 by 176 or 526 by 88");
    bool bitfields = compression == 3 && (bits == 16 || bits == 32);
    // Run-length bitmaps (8 or 4 bits, bottom-up) are what Windows loads
    // natively at a fraction of the size; the stub's own banner is one.
    bool runLength = (compression == 1 && bits == 8) || (compression == 2 && bits == 4);
    if (LoadLE16(At(bytes, 26)) != 1 || !KnownDepth(bits) || (compression != 0 && !bitfields && !runLength))
        throw PackError(file, "a bitmap of " + std::to_string(bits) + " bits per pixel with compression " +
                                  std::to_string(compression) +
                                  "; use 1, 4, 8, 16, 24 or 32 bits, uncompressed, or 8 or 4 bits run-length");
    if (runLength && height < 0) throw PackError(file, "a run-length bitmap stored top-down");
    if (bits <= 8 && used > (1u << bits)) throw PackError(file, "a palette larger than the bit depth allows");
    uint64_t palette = bits <= 8 ? uint64_t{used != 0 ? used : 1u << bits} * 4 : 0;
    uint64_t masks = bitfields && headerSize == 40 ? 12 : 0;
    uint64_t pixels = runLength ? LoadLE32(At(bytes, 34)) : RowBytes(static_cast<uint32_t>(width), bits) * static_cast<uint32_t>(rows);
    if ((runLength && pixels == 0) || !Fits(bytes.size(), 14, headerSize + masks + palette) ||
        !Fits(bytes.size(), pixelsAt, pixels))
        throw PackError(file, "bitmap data cut short");
    return bytes.substr(14, headerSize + masks + palette) + bytes.substr(pixelsAt, pixels);
}

TIconResources IconResources(const std::string& ico, uint16_t firstId) {
    TIconResources out;
    uint32_t count = LoadLE16(At(ico, 4));
    out.Group = ico.substr(0, 6);
    for (uint32_t i = 0; i < count; ++i) {
        size_t entry = 6 + 16 * i;
        uint32_t size = LoadLE32(At(ico, entry + 8)), offset = LoadLE32(At(ico, entry + 12));
        out.Images.push_back(ico.substr(offset, size));
        uint16_t id = static_cast<uint16_t>(firstId + i);
        out.Group += ico.substr(entry, 12);
        out.Group += static_cast<char>(id & 0xFF);
        out.Group += static_cast<char>(id >> 8);
    }
    return out;
}
