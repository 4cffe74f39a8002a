#include "tools/q7pack/try/ShellLink.h"

#include <cstdio>

#include "system/io/uByteOrder.h"
#include "system/text/uCodePage.h"

namespace {

constexpr uint32_t kHeaderSize = 0x4C;
enum : uint32_t {
    kHasIdList = 0x1,
    kHasLinkInfo = 0x2,
    kHasName = 0x4,
    kHasRelativePath = 0x8,
    kHasWorkingDir = 0x10,
    kHasArguments = 0x20,
    kHasIconLocation = 0x40,
    kIsUnicode = 0x80,
};

// The link's bytes, read forward from a position; any read past the end
// makes the whole link unreadable.
struct TReader {
    const std::string& bytes;
    uint32_t codePage;
    size_t at = 0;
    bool bad = false;

    bool Has(size_t n) const { return !bad && n <= bytes.size() && at <= bytes.size() - n; }
    const unsigned char* At(size_t offset) const {
        return reinterpret_cast<const unsigned char*>(bytes.data()) + offset;
    }
    uint32_t U16(size_t offset) {
        return offset <= bytes.size() - 2 && bytes.size() >= 2 ? LoadLE16(At(offset)) : (bad = true, 0);
    }
    uint32_t U32(size_t offset) {
        return offset <= bytes.size() - 4 && bytes.size() >= 4 ? LoadLE32(At(offset)) : (bad = true, 0);
    }

    std::string Ansi(std::string_view text) const {
        if (IsPackageCodePage(codePage)) return CodePageToUtf8(text, codePage);
        std::string out;
        for (unsigned char c : text) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += c < 0x80 ? std::string(1, static_cast<char>(c)) : hex;
        }
        return out;
    }

    std::string Utf16(size_t offset, size_t units) {
        std::u16string text;
        for (size_t i = 0; i < units; ++i) text += static_cast<char16_t>(U16(offset + 2 * i));
        return Utf16ToUtf8(text);
    }

    // A NUL-terminated string at offset, ANSI or UTF-16.
    std::string Terminated(size_t offset, bool unicode) {
        size_t end = offset;
        while (end < bytes.size() && (unicode ? U16(end) != 0 : bytes[end] != '\0')) end += unicode ? 2 : 1;
        if (end >= bytes.size()) return (bad = true), "";
        return unicode ? Utf16(offset, (end - offset) / 2)
                       : Ansi(std::string_view(bytes).substr(offset, end - offset));
    }

    // One of the StringData entries: a count of characters and the characters.
    std::string Counted(bool unicode) {
        size_t count = U16(at);
        size_t size = count * (unicode ? 2 : 1);
        at += 2;
        if (!Has(size)) return (bad = true), "";
        std::string text = unicode ? Utf16(at, count) : Ansi(std::string_view(bytes).substr(at, size));
        at += size;
        // Some writers count the terminating NUL too.
        return text.substr(0, text.find('\0'));
    }

    // The LinkInfo structure at the reader's position: the local base path
    // (its Unicode form where the header has one) and the common suffix.
    std::string LinkInfo() {
        size_t start = at, size = U32(start), header = U32(start + 4);
        if (bad || size < 0x1C || !Has(size) || header > size) return (bad = true), "";
        at += size;
        if ((U32(start + 8) & 1) == 0) return "";
        bool unicode = header >= 0x24;
        size_t path = U32(start + (unicode ? 28 : 16)), suffix = U32(start + (unicode ? 32 : 24));
        if (path >= size || suffix >= size) return (bad = true), "";
        return Terminated(start + path, unicode) + Terminated(start + suffix, unicode);
    }
};

}  // namespace

std::optional<TShellLink> ReadShellLink(const std::string& bytes, uint32_t ansiCodePage) {
    static const char kClsid[] = "\x01\x14\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46";
    TReader r{bytes, ansiCodePage};
    if (bytes.size() < kHeaderSize || r.U32(0) != kHeaderSize || bytes.compare(4, 16, kClsid, 16) != 0)
        return std::nullopt;
    uint32_t flags = r.U32(0x14);
    TShellLink link;
    link.IconIndex = static_cast<int32_t>(r.U32(0x38));
    r.at = kHeaderSize;
    if (flags & kHasIdList) r.at += 2 + r.U16(r.at);
    if (flags & kHasLinkInfo) link.Target = r.LinkInfo();
    bool unicode = flags & kIsUnicode;
    std::string relative;
    for (auto [flag, field] : {std::pair{kHasName, &link.Description},
                               {kHasRelativePath, &relative},
                               {kHasWorkingDir, &link.Folder},
                               {kHasArguments, &link.Arguments},
                               {kHasIconLocation, &link.Icon}})
        if (flags & flag) *field = r.Counted(unicode);
    if (r.bad) return std::nullopt;
    if (link.Target.empty()) link.Target = relative;
    return link;
}
