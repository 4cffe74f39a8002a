#pragma once
// Resizing a picture smoothly, for the pages' banner: shrinking averages
// the pixels each new one covers, growing blends the two nearest, so a
// banner drawn large stays clean at every display scale. Portable.

#include <cstdint>
#include <vector>

// pixels: width by height 32-bit pixels, rows top down, each of four 8-bit
// channels scaled alike. Answers toWidth by toHeight pixels; the empty
// vector when a size is not 1 to 8192 or pixels holds fewer than
// width * height.
std::vector<uint32_t> ScaleImage(const std::vector<uint32_t>& pixels, int32_t width, int32_t height,
                                 int32_t toWidth, int32_t toHeight);
