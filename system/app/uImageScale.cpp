#include "system/app/uImageScale.h"

#include <algorithm>

namespace {

constexpr uint32_t kOne = 1 << 16;  // the weights of one new pixel add up to this
// Larger sizes would overflow the 32-bit arithmetic below; no banner is.
constexpr int32_t kLargest = 8192;

// Calls take(source pixel, weight) for each source pixel that new pixel i
// of `to` along an axis of `from` pixels is made of.
template <typename Take>
void ForTaps(uint32_t from, uint32_t to, uint32_t i, Take take) {
    if (from >= to) {
        // It covers [a, b) of the source, in 1/to of a pixel.
        uint32_t a = i * from, b = a + from;
        for (uint32_t j = a / to; j * to < b; ++j) take(j, (std::min(b, (j + 1) * to) - std::max(a, j * to)) * kOne / from);
        return;
    }
    // Its centre lies between two source pixels, in 1/(2 to) of one.
    uint32_t centre = (2 * i + 1) * from > to ? (2 * i + 1) * from - to : 0;
    uint32_t j = centre / (2 * to), part = j + 1 < from ? (centre - j * 2 * to) * kOne / (2 * to) : 0;
    take(j, kOne - part);
    if (part != 0) take(j + 1, part);
}

// One axis: lines of `from` pixels become lines of `to`; a line's pixels
// lie step apart and lines lineStep apart, in source and result alike.
void Resample(const uint32_t* in, size_t inStep, size_t inLineStep, uint32_t* out, size_t outStep,
              size_t outLineStep, uint32_t from, uint32_t to, size_t lines) {
    for (size_t line = 0; line < lines; ++line)
        for (uint32_t i = 0; i < to; ++i) {
            uint32_t sum[4] = {};
            ForTaps(from, to, i, [&](uint32_t j, uint32_t weight) {
                uint32_t pixel = in[line * inLineStep + j * inStep];
                for (int c = 0; c < 4; ++c) sum[c] += (pixel >> (8 * c) & 0xFF) * weight;
            });
            uint32_t pixel = 0;
            for (int c = 0; c < 4; ++c) pixel |= std::min<uint32_t>((sum[c] + kOne / 2) >> 16, 0xFF) << (8 * c);
            out[line * outLineStep + i * outStep] = pixel;
        }
}

}  // namespace

std::vector<uint32_t> ScaleImage(const std::vector<uint32_t>& pixels, int32_t width, int32_t height,
                                 int32_t toWidth, int32_t toHeight) {
    for (int32_t size : {width, height, toWidth, toHeight})
        if (size <= 0 || size > kLargest) return {};
    size_t w = static_cast<size_t>(width), h = static_cast<size_t>(height), tw = static_cast<size_t>(toWidth);
    if (pixels.size() < w * h) return {};
    std::vector<uint32_t> rows(tw * h), out(tw * static_cast<size_t>(toHeight));
    Resample(pixels.data(), 1, w, rows.data(), 1, tw, static_cast<uint32_t>(width), static_cast<uint32_t>(toWidth), h);
    Resample(rows.data(), tw, 1, out.data(), tw, 1, static_cast<uint32_t>(height), static_cast<uint32_t>(toHeight), tw);
    return out;
}
