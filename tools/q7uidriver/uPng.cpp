#include "tools/q7uidriver/uPng.h"

#include "tools/q7uidriver/uScreen.h"

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

void Put32(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
}

// One chunk: length, type, data, CRC of type and data.
void Chunk(std::string& out, const char* type, const std::string& data) {
    Put32(out, static_cast<uint32_t>(data.size()));
    std::string body = std::string(type, 4) + data;
    out += body;
    Put32(out, static_cast<uint32_t>(
                   crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

// Rows of filter byte 0 and RGB triples, compressed as one zlib stream.
bool ImageData(const std::vector<uint32_t>& pixels, int w, int h, std::string& out) {
    std::string raw;
    raw.reserve(static_cast<size_t>(h) * (1 + 3 * static_cast<size_t>(w)));
    for (int y = 0; y < h; ++y) {
        raw += '\0';
        for (int x = 0; x < w; ++x) {
            uint32_t p = pixels[static_cast<size_t>(y) * w + x];
            raw += static_cast<char>((p >> 16) & 0xFF);
            raw += static_cast<char>((p >> 8) & 0xFF);
            raw += static_cast<char>(p & 0xFF);
        }
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    out.assign(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
                  static_cast<uLong>(raw.size()), 9) != Z_OK)
        return false;
    out.resize(size);
    return true;
}

}  // namespace

bool SaveScreenPng(const RECT& rect, const std::wstring& path) {
    std::vector<uint32_t> pixels = Pixels(nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    if (pixels.empty()) return false;
    int w = rect.right - rect.left, h = rect.bottom - rect.top;
    std::string header, data;
    Put32(header, static_cast<uint32_t>(w));
    Put32(header, static_cast<uint32_t>(h));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, no interlace
    if (!ImageData(pixels, w, h, data)) return false;
    std::string png = "\x89PNG\r\n\x1a\n";
    Chunk(png, "IHDR", header);
    Chunk(png, "IDAT", data);
    Chunk(png, "IEND", "");
    std::unique_ptr<FILE, int (*)(FILE*)> file(_wfopen(path.c_str(), L"wb"), fclose);
    return file && fwrite(png.data(), 1, png.size(), file.get()) == png.size();
}
