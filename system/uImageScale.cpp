#include "system/uImageScale.h"

#include <algorithm>

namespace {

constexpr uint32_t kOne = 1 << 16;  // the weights of one new pixel add up to this

// The source pixels one new pixel takes, from first on, and their weights.
struct TTaps {
    int32_t first = 0;
    std::vector<uint32_t> weights;
};

// For each of `to` new pixels along an axis of `from` source pixels.
std::vector<TTaps> AxisTaps(int32_t from, int32_t to) {
    std::vector<TTaps> taps(static_cast<size_t>(to));
    for (int32_t i = 0; i < to; ++i) {
        TTaps& t = taps[static_cast<size_t>(i)];
        if (from >= to) {
            // The new pixel covers [a, b) of the source, in 1/to of a pixel.
            int64_t a = int64_t{i} * from, b = a + from;
            t.first = static_cast<int32_t>(a / to);
            for (int64_t j = t.first; j * to < b; ++j) {
                int64_t covered = std::min(b, (j + 1) * to) - std::max(a, j * to);
                t.weights.push_back(static_cast<uint32_t>(covered * kOne / from));
            }
        } else {
            // Its centre lies between two source pixels, in 1/(2 to) of one.
            int64_t centre = std::max<int64_t>(0, (2 * int64_t{i} + 1) * from - to);
            t.first = static_cast<int32_t>(std::min<int64_t>(centre / (2 * to), from - 1));
            uint32_t part = static_cast<uint32_t>((centre - t.first * 2 * int64_t{to}) * kOne / (2 * to));
            if (part == 0 || t.first + 1 == from)
                t.weights = {kOne};
            else
                t.weights = {kOne - part, part};
        }
    }
    return taps;
}

// One new pixel: the weighted sum of count source pixels step apart.
uint32_t Blend(const uint32_t* source, size_t step, const TTaps& taps) {
    uint32_t sum[4] = {};
    for (size_t k = 0; k < taps.weights.size(); ++k)
        for (int c = 0; c < 4; ++c) sum[c] += (source[k * step] >> (8 * c) & 0xFF) * taps.weights[k];
    uint32_t pixel = 0;
    for (int c = 0; c < 4; ++c) pixel |= std::min<uint32_t>((sum[c] + kOne / 2) >> 16, 0xFF) << (8 * c);
    return pixel;
}

}  // namespace

std::vector<uint32_t> ScaleImage(const std::vector<uint32_t>& pixels, int32_t width, int32_t height,
                                 int32_t toWidth, int32_t toHeight) {
    if (width <= 0 || height <= 0 || toWidth <= 0 || toHeight <= 0 ||
        pixels.size() / static_cast<size_t>(width) < static_cast<size_t>(height))
        return {};
    size_t w = static_cast<size_t>(width), tw = static_cast<size_t>(toWidth);
    std::vector<TTaps> across = AxisTaps(width, toWidth), down = AxisTaps(height, toHeight);
    std::vector<uint32_t> rows(tw * static_cast<size_t>(height)), out(tw * static_cast<size_t>(toHeight));
    for (size_t y = 0; y < static_cast<size_t>(height); ++y)
        for (size_t x = 0; x < tw; ++x) rows[y * tw + x] = Blend(&pixels[y * w + static_cast<size_t>(across[x].first)], 1, across[x]);
    for (size_t y = 0; y < static_cast<size_t>(toHeight); ++y)
        for (size_t x = 0; x < tw; ++x) out[y * tw + x] = Blend(&rows[static_cast<size_t>(down[y].first) * tw + x], tw, down[y]);
    return out;
}
