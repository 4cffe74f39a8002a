#include "pe/uPeResources.h"

#include <algorithm>
#include <array>
#include <map>
#include <tuple>

#include "system/io/uByteOrder.h"

bool TResourceId::operator<(const TResourceId& o) const {
    if (IsText != o.IsText) return IsText;
    return IsText ? Text < o.Text : Number < o.Number;
}

namespace {

constexpr uint32_t kSubdirectory = 0x80000000u;
constexpr size_t kMaxEntries = 65536;  // far more than any real executable holds
// Entries may share their data and names: every byte copied out of the tree
// (data, names as read, names again in each resource they name) counts.
constexpr uint64_t kMaxCopiedBytes = uint64_t{256} << 20;

// Reads the three levels (type, name, language) of a resource tree whose
// offsets count from the start of tree.
class TreeReader {
public:
    TreeReader(const TPeFile& image, std::string_view tree) : image_(image), tree_(tree) {}

    std::vector<TResource> Read() {
        Directory(0, 0, {});
        return std::move(found_);
    }

private:
    uint32_t At32(size_t offset) const { return LoadLE32(Bytes(offset, 4)); }
    uint32_t At16(size_t offset) const { return LoadLE16(Bytes(offset, 2)); }

    const unsigned char* Bytes(uint64_t offset, uint64_t n) const {
        if (offset > tree_.size() || n > tree_.size() - offset) throw EPeFormat("damaged resource tree");
        return reinterpret_cast<const unsigned char*>(tree_.data() + offset);
    }

    TResourceId Id(uint32_t field) {
        if (!(field & kSubdirectory)) return TResourceId::Of(field);
        uint32_t offset = field & ~kSubdirectory;
        uint32_t length = At16(offset);
        const unsigned char* text = Bytes(uint64_t{offset} + 2, uint64_t{length} * 2);
        Copy(uint64_t{length} * 2);
        TResourceId id;
        id.IsText = true;
        for (uint32_t i = 0; i < length; ++i) id.Text += static_cast<char16_t>(LoadLE16(text + 2 * i));
        return id;
    }

    void Copy(uint64_t bytes) {
        copied_ += bytes;
        if (copied_ > kMaxCopiedBytes)
            throw EPeFormat("resource tree with too much data and names to copy (its entries share them)");
    }

    // level 0: types, 1: names, 2: languages, whose entries lead to data.
    void Directory(uint32_t offset, int level, TResource path) {
        uint64_t count = uint64_t{At16(offset + 12)} + At16(offset + 14);
        Bytes(uint64_t{offset} + 16, count * 8);
        entries_ += count;
        if (entries_ > kMaxEntries) throw EPeFormat("resource tree with too many entries");
        for (uint64_t i = 0; i < count; ++i) {
            uint64_t entry = uint64_t{offset} + 16 + i * 8;
            TResourceId id = Id(At32(entry));
            uint32_t target = At32(entry + 4);
            bool subdirectory = (target & kSubdirectory) != 0;
            if (subdirectory != (level < 2)) throw EPeFormat("resource tree of an unusual shape");
            if (level == 0) path.Type = id;
            if (level == 1) path.Name = id;
            if (level < 2) {
                Directory(target & ~kSubdirectory, level + 1, path);
                continue;
            }
            if (id.IsText) throw EPeFormat("resource with a named language");
            path.Language = id.Number;
            uint32_t rva = At32(target), size = At32(target + 4);
            path.CodePage = At32(target + 8);
            Copy(uint64_t{size} + 2 * (path.Type.Text.size() + path.Name.Text.size()));
            std::string_view data = image_.ReadRva(rva, size);
            path.Data.assign(data.data(), data.size());
            found_.push_back(path);
        }
    }

    const TPeFile& image_;
    std::string_view tree_;
    size_t entries_ = 0;
    uint64_t copied_ = 0;
    std::vector<TResource> found_;
};

void Put16(std::string& s, size_t at, uint32_t v) {
    s[at] = static_cast<char>(v);
    s[at + 1] = static_cast<char>(v >> 8);
}

void Put32(std::string& s, size_t at, uint32_t v) {
    Put16(s, at, v & 0xFFFF);
    Put16(s, at + 2, v >> 16);
}

size_t Align(size_t v, size_t a) { return (v + a - 1) / a * a; }

// One directory of the tree being written: its entries' ids and what each
// leads to (a child directory or a resource's data entry).
struct NewDirectory {
    std::vector<TResourceId> ids;
    std::vector<size_t> children;  // directory indexes, or resource indexes at the last level
    size_t offset = 0;
};

}  // namespace

std::vector<TResource> ReadResources(const TPeFile& image) {
    TPeDirectory dir = image.Directory(pdResource);
    if (dir.VirtualAddress == 0 || dir.Size == 0) return {};
    size_t i = image.SectionOf(dir.VirtualAddress);
    if (i == image.Sections().size()) throw EPeFormat("the resource tree lies in no section");
    const TPeSection& s = image.Sections()[i];
    uint32_t inSection = dir.VirtualAddress - s.VirtualAddress;
    if (inSection >= s.SizeOfRawData) throw EPeFormat("the resource tree lies outside its section's data");
    return TreeReader(image, image.ReadRva(dir.VirtualAddress, s.SizeOfRawData - inSection)).Read();
}

namespace {

using Levels = std::array<std::vector<NewDirectory>, 3>;

// The tree of sorted resources by level: the root, one directory per type,
// one per name, whose entries lead to the resources' data entries.
Levels BuildTree(const std::vector<TResource>& resources) {
    Levels levels = {std::vector<NewDirectory>(1), {}, {}};
    for (size_t k = 0; k < resources.size(); ++k) {
        const TResource& r = resources[k];
        NewDirectory& root = levels[0][0];
        if (root.ids.empty() || !(root.ids.back() == r.Type)) {
            root.ids.push_back(r.Type);
            root.children.push_back(levels[1].size());
            levels[1].emplace_back();
        }
        NewDirectory& type = levels[1].back();
        if (type.ids.empty() || !(type.ids.back() == r.Name)) {
            type.ids.push_back(r.Name);
            type.children.push_back(levels[2].size());
            levels[2].emplace_back();
        }
        levels[2].back().ids.push_back(TResourceId::Of(r.Language));
        levels[2].back().children.push_back(k);
    }
    return levels;
}

void WriteDirectories(std::string& out, const Levels& levels, std::map<std::u16string, size_t>& texts,
                      size_t entriesAt) {
    for (size_t l = 0; l < levels.size(); ++l)
        for (const NewDirectory& d : levels[l]) {
            size_t named =
                std::count_if(d.ids.begin(), d.ids.end(), [](const TResourceId& id) { return id.IsText; });
            Put16(out, d.offset + 12, static_cast<uint32_t>(named));
            Put16(out, d.offset + 14, static_cast<uint32_t>(d.ids.size() - named));
            for (size_t e = 0; e < d.ids.size(); ++e) {
                size_t at = d.offset + 16 + 8 * e;
                const TResourceId& id = d.ids[e];
                Put32(out, at, id.IsText ? kSubdirectory | static_cast<uint32_t>(texts[id.Text]) : id.Number);
                size_t child = d.children[e];
                Put32(out, at + 4,
                      l < 2 ? kSubdirectory | static_cast<uint32_t>(levels[l + 1][child].offset)
                            : static_cast<uint32_t>(entriesAt + 16 * child));
            }
        }
    for (const auto& [text, at] : texts) {
        Put16(out, at, static_cast<uint32_t>(text.size()));
        for (size_t i = 0; i < text.size(); ++i) Put16(out, at + 2 + 2 * i, text[i]);
    }
}

}  // namespace

std::string LayoutResources(std::vector<TResource> resources, uint32_t sectionRva) {
    auto key = [](const TResource& r) { return std::tie(r.Type, r.Name, r.Language); };
    std::stable_sort(resources.begin(), resources.end(),
                     [&](const TResource& a, const TResource& b) { return key(a) < key(b); });
    for (size_t k = 1; k < resources.size(); ++k)
        if (!(key(resources[k - 1]) < key(resources[k]))) throw EPeFormat("the same resource twice");
    Levels levels = BuildTree(resources);

    // Directories, data entries, name texts, then the data, 8-aligned.
    size_t pos = 0;
    for (auto& level : levels)
        for (NewDirectory& d : level) {
            d.offset = pos;
            pos += 16 + 8 * d.ids.size();
        }
    size_t entriesAt = pos;
    pos += 16 * resources.size();
    std::map<std::u16string, size_t> texts;
    for (int l = 0; l < 2; ++l)
        for (NewDirectory& d : levels[l])
            for (const TResourceId& id : d.ids)
                if (id.IsText && texts.emplace(id.Text, pos).second) pos += 2 + 2 * id.Text.size();
    std::vector<size_t> dataAt;
    for (const TResource& r : resources) {
        pos = Align(pos, 8);
        dataAt.push_back(pos);
        pos += r.Data.size();
        if (pos >= (size_t{1} << 31)) throw EPeFormat("resources too large");
    }

    std::string out(Align(pos, 8), '\0');
    WriteDirectories(out, levels, texts, entriesAt);
    for (size_t k = 0; k < resources.size(); ++k) {
        size_t entry = entriesAt + 16 * k;
        Put32(out, entry, sectionRva + static_cast<uint32_t>(dataAt[k]));
        Put32(out, entry + 4, static_cast<uint32_t>(resources[k].Data.size()));
        Put32(out, entry + 8, resources[k].CodePage);
        out.replace(dataAt[k], resources[k].Data.size(), resources[k].Data);
    }
    return out;
}

void ReplaceResources(TPeFile& image, const std::vector<TResource>& resources) {
    TPeDirectory dir = image.Directory(pdResource);
    size_t index = image.SectionOf(dir.VirtualAddress);
    if (dir.Size == 0 || index == image.Sections().size() ||
        image.Sections()[index].VirtualAddress != dir.VirtualAddress)
        throw EPeFormat("the executable has no resource section of its own");
    std::string data = LayoutResources(resources, dir.VirtualAddress);
    image.DropOverlayAndSignature();
    image.ReplaceSectionData(index, data);
    image.SetDirectory(pdResource, {dir.VirtualAddress, static_cast<uint32_t>(data.size())});
    image.UpdateChecksum();
}
