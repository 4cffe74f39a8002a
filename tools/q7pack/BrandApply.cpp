#include "tools/q7pack/BrandApply.h"

#include <algorithm>

#include "pe/uPeResources.h"
#include "system/uByteOrder.h"
#include "tools/q7pack/BrandDialog.h"
#include "tools/q7pack/BrandImages.h"
#include "tools/q7pack/BrandVersion.h"

namespace {

constexpr uint32_t kFirstPage = 101, kLastPage = 105;
constexpr uint32_t kEnglishUs = 0x409;

using Resources = std::vector<TResource>;

bool Is(const TResource& r, uint32_t type, uint32_t name) {
    return !r.Type.IsText && r.Type.Number == type && !r.Name.IsText && r.Name.Number == name;
}

TResource* Find(Resources& all, uint32_t type, uint32_t name) {
    for (TResource& r : all)
        if (Is(r, type, name)) return &r;
    return nullptr;
}

// The resource type/name, created in language when the stub lacks it.
TResource& FindOrAdd(Resources& all, uint32_t type, uint32_t name, uint32_t language) {
    if (TResource* r = Find(all, type, name)) return *r;
    all.push_back({TResourceId::Of(type), TResourceId::Of(name), language, 0, {}});
    return all.back();
}

void BrandPage(TResource& page, const TBrand& brand) {
    TDialogTemplate dialog = ParseDialog(page.Data);
    if (brand.title) dialog.caption = *brand.title;
    for (TDialogItem& item : dialog.items) {
        if (!item.titleIsText) continue;
        if (item.id == -1 && brand.footer) item.title = *brand.footer;
        auto text = brand.texts.find(static_cast<uint32_t>(item.id));
        if (text != brand.texts.end()) item.title = text->second;
    }
    for (const auto& [key, text] : brand.pageTexts) {
        if ((key >> 16) != page.Name.Number) continue;
        uint32_t id = key & 0xFFFF;  // a lambda may not capture a structured binding in C++17 (clang)
        auto item = std::find_if(dialog.items.begin(), dialog.items.end(),
                                 [&](const TDialogItem& i) { return static_cast<uint32_t>(i.id) == id; });
        if (item != dialog.items.end()) item->title = text;
    }
    page.Data = WriteDialog(dialog);
}

// A string-table block: 16 counted UTF-16 texts.
void SetString(Resources& all, uint32_t id, const std::u16string& text, uint32_t language) {
    TResource& block = FindOrAdd(all, rtString, id / 16 + 1, language);
    std::vector<std::u16string> texts(16);
    size_t at = 0;
    for (std::u16string& t : texts) {
        if (at + 2 > block.Data.size()) break;
        uint32_t length = LoadLE16(reinterpret_cast<const unsigned char*>(block.Data.data()) + at);
        if (length > (block.Data.size() - at - 2) / 2) throw EPeFormat("damaged string table");
        for (uint32_t c = 0; c < length; ++c)
            t += static_cast<char16_t>(
                LoadLE16(reinterpret_cast<const unsigned char*>(block.Data.data()) + at + 2 + 2 * c));
        at += 2 + 2 * length;
    }
    texts[id % 16] = text;
    block.Data.clear();
    for (const std::u16string& t : texts) {
        block.Data += static_cast<char>(t.size() & 0xFF);
        block.Data += static_cast<char>(t.size() >> 8);
        for (char16_t c : t) {
            block.Data += static_cast<char>(c & 0xFF);
            block.Data += static_cast<char>(c >> 8);
        }
    }
}

void SetIcon(Resources& all, const std::string& ico, uint32_t language) {
    if (TResource* group = Find(all, rtGroupIcon, 1)) {
        language = group->Language;
        const std::string g = group->Data;  // a copy: erasing below moves the resources
        for (size_t at = 6; at + 14 <= g.size(); at += 14) {
            uint32_t old = LoadLE16(reinterpret_cast<const unsigned char*>(g.data()) + at + 12);
            all.erase(std::remove_if(all.begin(), all.end(),
                                     [&](const TResource& r) { return Is(r, rtIcon, old); }),
                      all.end());
        }
    }
    uint32_t next = 1;
    for (const TResource& r : all)
        if (!r.Type.IsText && r.Type.Number == rtIcon && !r.Name.IsText)
            next = std::max(next, r.Name.Number + 1);
    TIconResources icons = IconResources(ico, static_cast<uint16_t>(next));
    if (next + icons.images.size() > 0xFFFF) throw EPeFormat("no free icon numbers left");
    FindOrAdd(all, rtGroupIcon, 1, language).Data = icons.group;
    for (size_t i = 0; i < icons.images.size(); ++i)
        all.push_back({TResourceId::Of(rtIcon), TResourceId::Of(next + static_cast<uint32_t>(i)), language, 0,
                       icons.images[i]});
}

}  // namespace

void ApplyBrand(TPeFile& image, const TBrand& brand) {
    Resources all = ReadResources(image);
    TResource* first = Find(all, rtDialog, kFirstPage);
    uint32_t language = first ? first->Language : kEnglishUs;
    for (TResource& r : all)
        if (!r.Type.IsText && r.Type.Number == rtDialog && !r.Name.IsText && r.Name.Number >= kFirstPage &&
            r.Name.Number <= kLastPage)
            BrandPage(r, brand);
    for (const auto& [id, text] : brand.strings) SetString(all, id, text, language);
    if (!brand.icon.empty()) SetIcon(all, brand.icon, language);
    if (!brand.bitmap.empty()) FindOrAdd(all, rtBitmap, 901, language).Data = brand.bitmap;
    if (brand.version) {
        all.erase(
            std::remove_if(all.begin(), all.end(),
                           [](const TResource& r) { return !r.Type.IsText && r.Type.Number == rtVersion; }),
            all.end());
        all.push_back(
            {TResourceId::Of(rtVersion), TResourceId::Of(1), language, 0, VersionResource(*brand.version)});
    }
    if (brand.manifestDescription || brand.executionLevel) {
        TResource& manifest = FindOrAdd(all, rtManifest, 1, language);
        manifest.Data = EditManifest(manifest.Data, brand.manifestDescription, brand.executionLevel);
    }
    ReplaceResources(image, all);
}

std::string Utf16ToUtf8(const std::u16string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

TInstallerIdentity ReadIdentity(const TPeFile& image) {
    TInstallerIdentity identity;
    Resources all = ReadResources(image);
    if (TResource* page = Find(all, rtDialog, kFirstPage))
        identity.title = Utf16ToUtf8(ParseDialog(page->Data).caption);
    if (TResource* version = Find(all, rtVersion, 1))
        identity.version = Utf16ToUtf8(VersionString(version->Data, u"ProductVersion"));
    return identity;
}
