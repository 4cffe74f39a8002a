#include "tools/q7pack/brand/BrandApply.h"

#include <algorithm>
#include <cstring>

#include "pe/uInstallerMarks.h"
#include "pe/uPeResources.h"
#include "system/io/uByteOrder.h"
#include "system/text/uCodePage.h"
#include "system/text/uUtf8.h"
#include "tools/q7pack/brand/BrandDialog.h"
#include "tools/q7pack/brand/BrandImages.h"
#include "tools/q7pack/brand/BrandVersion.h"

namespace {

constexpr uint32_t kEnglishUs = 0x409;
constexpr uint32_t kRcData = 10;

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

bool IsPage(const TResource& r) {
    return !r.Type.IsText && r.Type.Number == rtDialog && !r.Name.IsText && r.Name.Number >= kFirstPage &&
           r.Name.Number <= kLastPage;
}

bool IsStringBlock(const TResource& r) { return !r.Type.IsText && r.Type.Number == rtString; }

void BrandPage(TResource& page, const TBrandTexts& brand, const std::optional<std::u16string>& footer) {
    TDialogTemplate dialog = ParseDialog(page.Data);
    if (brand.Title) dialog.Caption = *brand.Title;
    for (TDialogItem& item : dialog.Items) {
        if (!item.TitleIsText) continue;
        if (item.Id == -1 && footer) item.Title = *footer;
        auto text = brand.Texts.find(static_cast<uint32_t>(item.Id));
        if (text != brand.Texts.end()) item.Title = text->second;
    }
    for (const auto& [key, text] : brand.PageTexts) {
        if ((key >> 16) != page.Name.Number) continue;
        uint32_t id = key & 0xFFFF;  // a lambda may not capture a structured binding in C++17 (clang)
        auto item = std::find_if(dialog.Items.begin(), dialog.Items.end(),
                                 [&](const TDialogItem& i) { return static_cast<uint32_t>(i.Id) == id; });
        if (item != dialog.Items.end()) item->Title = text;
    }
    page.Data = WriteDialog(dialog);
}

// A string-table block: 16 counted UTF-16 texts.
void SetString(Resources& all, uint32_t id, const std::u16string& text, uint32_t language) {
    auto found = std::find_if(all.begin(), all.end(), [&](const TResource& r) {
        return Is(r, rtString, id / 16 + 1) && r.Language == language;
    });
    if (found == all.end()) {
        all.push_back({TResourceId::Of(rtString), TResourceId::Of(id / 16 + 1), language, 0, {}});
        found = all.end() - 1;
    }
    TResource& block = *found;
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
    if (next + icons.Images.size() > 0xFFFF) throw EPeFormat("no free icon numbers left");
    FindOrAdd(all, rtGroupIcon, 1, language).Data = icons.Group;
    for (size_t i = 0; i < icons.Images.size(); ++i)
        all.push_back({TResourceId::Of(rtIcon), TResourceId::Of(next + static_cast<uint32_t>(i)), language, 0,
                       icons.Images[i]});
}

// One set of pages and one string table per language, tagged with its
// language id, made from the stub's own; the stub's are dropped.
void WriteLanguages(Resources& all, const TBrand& brand) {
    Resources pages, blocks;
    for (const TResource& r : all) {
        if (IsPage(r)) pages.push_back(r);
        if (IsStringBlock(r)) blocks.push_back(r);
    }
    all.erase(std::remove_if(all.begin(), all.end(), [](const TResource& r) { return IsPage(r) || IsStringBlock(r); }),
              all.end());
    for (const TBrandLanguage& language : brand.Languages) {
        for (TResource page : pages) {
            page.Language = language.Id;
            BrandPage(page, language.Texts, brand.Footer);
            all.push_back(std::move(page));
        }
        for (TResource block : blocks) {
            block.Language = language.Id;
            all.push_back(std::move(block));
        }
        for (const auto& [id, text] : language.Texts.Strings) SetString(all, id, text, language.Id);
    }
}

TResourceId MarkName(const char* mark) { return {0, std::u16string(mark, mark + std::strlen(mark)), true}; }

// A mark of the installer (kOptionsResource, kOwnArchiveResource): there or
// not.
void SetMark(Resources& all, const char* mark, bool set, uint32_t language) {
    TResourceId name = MarkName(mark);
    all.erase(std::remove_if(
                  all.begin(), all.end(),
                  [&](const TResource& r) { return r.Type == TResourceId::Of(kRcData) && r.Name == name; }),
              all.end());
    if (set) all.push_back({TResourceId::Of(kRcData), name, language, 0, "1"});
}

}  // namespace

void BrandResources(std::vector<TResource>& all, const TBrand& brand) {
    TResource* first = Find(all, rtDialog, kFirstPage);
    uint32_t language = first ? first->Language : kEnglishUs;
    if (!brand.Languages.empty()) {
        WriteLanguages(all, brand);
    } else {
        for (TResource& r : all)
            if (IsPage(r)) BrandPage(r, brand, brand.Footer);
        for (const auto& [id, text] : brand.Strings) SetString(all, id, text, language);
    }
    if (!brand.Icon.empty()) SetIcon(all, brand.Icon, language);
    if (!brand.Bitmap.empty()) FindOrAdd(all, rtBitmap, 901, language).Data = brand.Bitmap;
    if (brand.Version) {
        all.erase(
            std::remove_if(all.begin(), all.end(),
                           [](const TResource& r) { return !r.Type.IsText && r.Type.Number == rtVersion; }),
            all.end());
        std::vector<uint16_t> languages;
        for (const TBrandLanguage& l : brand.Languages) languages.push_back(l.Id);
        all.push_back({TResourceId::Of(rtVersion), TResourceId::Of(1), languages.empty() ? language : languages[0],
                       0, VersionResource(*brand.Version, languages)});
    }
    if (brand.Options) SetMark(all, kOptionsResource, *brand.Options, language);
    SetMark(all, kOwnArchiveResource, !brand.ArchiveFiles, language);
    if (brand.ManifestDescription || brand.ExecutionLevel) {
        TResource& manifest = FindOrAdd(all, rtManifest, 1, language);
        manifest.Data = EditManifest(manifest.Data, brand.ManifestDescription, brand.ExecutionLevel);
    }
    if (brand.CodePage == kUtf8CodePage) {
        TResource& manifest = FindOrAdd(all, rtManifest, 1, language);
        manifest.Data = WithUtf8CodePage(manifest.Data);
    }
}

void ApplyBrand(TPeFile& image, const TBrand& brand) {
    Resources all = ReadResources(image);
    BrandResources(all, brand);
    ReplaceResources(image, all);
}

std::string BrandedStub(const std::string& file, const TBrand& brand) {
    TPeFile image(file);
    // An archive behind the image stays; a signature does not.
    size_t end = file.size();
    TPeDirectory signature = image.Directory(pdCertificate);
    if (signature.Size != 0 && signature.VirtualAddress >= image.DataEnd() && signature.VirtualAddress < end)
        end = signature.VirtualAddress;
    size_t archive = std::min<size_t>(image.DataEnd(), end);
    ApplyBrand(image, brand);
    return image.Bytes() + file.substr(archive, end - archive);
}

std::string ProgramVersionResource(const TPeFile& image) {
    Resources all = ReadResources(image);
    TResource* version = Find(all, rtVersion, 1);
    return version ? version->Data : std::string();
}

TInstallerIdentity ReadIdentity(const TPeFile& image) {
    TInstallerIdentity identity;
    Resources all = ReadResources(image);
    if (TResource* page = Find(all, rtDialog, kFirstPage))
        identity.Title = Utf16ToUtf8(ParseDialog(page->Data).Caption);
    if (TResource* manifest = Find(all, rtManifest, 1))
        identity.Utf8 = manifest->Data.find("UTF-8</activeCodePage>") != std::string::npos;
    if (TResource* version = Find(all, rtVersion, 1))
        identity.Version = Utf16ToUtf8(VersionString(version->Data, u"ProductVersion"));
    const TResourceId own = MarkName(kOwnArchiveResource);
    identity.OwnArchiveOnly = std::any_of(all.begin(), all.end(), [&](const TResource& r) {
        return r.Type == TResourceId::Of(kRcData) && r.Name == own;
    });
    return identity;
}
