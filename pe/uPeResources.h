#pragma once
// The resources of a PE image as a flat list of entries (type, name,
// language, data), read from its resource tree and written back as a new
// resource section. The tree of a hostile file is read with every offset
// checked; only the usual three levels are accepted.

#include <cstdint>
#include <string>
#include <vector>

#include "pe/uPeFile.h"

// A resource type or name: a number, or a text (UTF-16) when Text is set.
struct TResourceId {
    uint32_t Number = 0;
    std::u16string Text;
    bool IsText = false;

    static TResourceId Of(uint32_t number) { return {number, {}, false}; }
    bool operator==(const TResourceId& o) const {
        return IsText == o.IsText && Number == o.Number && Text == o.Text;
    }
    bool operator<(const TResourceId& o) const;  // texts first, then numbers: the order of the tree
};

struct TResource {
    TResourceId Type;
    TResourceId Name;
    uint32_t Language = 0;
    uint32_t CodePage = 0;
    std::string Data;
};

// Resource types the brand touches.
enum : uint32_t {
    rtIcon = 3,
    rtBitmap = 2,
    rtDialog = 5,
    rtString = 6,
    rtGroupIcon = 14,
    rtVersion = 16,
    rtManifest = 24
};

// Every resource of the image, in tree order. Raises EPeFormat when the
// tree is damaged; an image without resources gives an empty list.
std::vector<TResource> ReadResources(const TPeFile& image);

// The bytes of a resource section holding resources, placed at address
// sectionRva: directories, data entries, names, then the data.
std::string LayoutResources(std::vector<TResource> resources, uint32_t sectionRva);

// Writes resources as the image's new resource section (the section the
// resource directory starts), moving what lies behind it, and recomputes
// the header checksum. Drops any overlay and signature.
void ReplaceResources(TPeFile& image, const std::vector<TResource>& resources);
