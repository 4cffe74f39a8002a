#pragma once
// Checks of the pictures a brand brings, so that what Windows cannot draw
// is refused by q7pack instead of showing as an empty page.

#include <cstdint>
#include <string>
#include <vector>

// The .ico file unchanged when every image in it is one the platform loads
// (PNG, or an uncompressed bitmap with its mask). Raises PackError naming
// file otherwise.
std::string CheckIcon(const std::string& bytes, const std::string& file);

// The banner as the resource stores it: the .bmp without its file header,
// palette and pixels joined. 526 by 88 pixels, 1, 4, 8, 16, 24 or 32 bits
// per pixel, uncompressed. Raises PackError naming file otherwise.
std::string BannerDib(const std::string& bytes, const std::string& file);

// The group-icon resource and the icon images of an .ico file checked by
// CheckIcon, the images numbered from firstId.
struct TIconResources {
    std::string Group;
    std::vector<std::string> Images;
};
TIconResources IconResources(const std::string& ico, uint16_t firstId);
