// Fuzz target over the executable readers q7pack runs on installers from
// anyone: the PE headers, the resource tree, and what `list` reads from it
// (the first page's caption, the version). Whatever parses is also written
// back as a new resource section, which must read back the same.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "pe/uPeFile.h"
#include "pe/uPeResources.h"
#include "tools/q7pack/BrandApply.h"
#include "tools/q7pack/PackError.h"

namespace {

void Require(bool condition) {
    if (!condition) __builtin_trap();
}

// The writer lays the tree out in the order Windows searches it, so a tree
// that was out of order reads back sorted: compare in that order.
void SortAsTheTree(std::vector<TResource>& resources) {
    std::stable_sort(resources.begin(), resources.end(), [](const TResource& a, const TResource& b) {
        if (!(a.Type == b.Type)) return a.Type < b.Type;
        if (!(a.Name == b.Name)) return a.Name < b.Name;
        return a.Language < b.Language;
    });
}

bool SameResources(const std::vector<TResource>& a, const std::vector<TResource>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!(a[i].Type == b[i].Type) || !(a[i].Name == b[i].Name) || a[i].Language != b[i].Language ||
            a[i].Data != b[i].Data)
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        TPeFile image(std::string(reinterpret_cast<const char*>(data), size));
        Require(image.DataEnd() <= image.Bytes().size());
        std::vector<TResource> resources = ReadResources(image);
        ReadIdentity(image);
        // A tree that reads is laid out anew; the copy reads back the same.
        ReplaceResources(image, resources);
        TPeFile copy(image.Bytes());
        SortAsTheTree(resources);
        Require(SameResources(ReadResources(copy), resources));
    } catch (const EPeFormat&) {
    } catch (const PackError&) {
    }
    return 0;
}
