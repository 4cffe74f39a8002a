#include "tools/q7pack/brand/BrandVersion.h"

#include <cstdio>

#include "pe/uPeFile.h"
#include "system/io/uByteOrder.h"

namespace {

void Put16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void Pad4(std::string& out) { out.append((4 - out.size() % 4) % 4, '\0'); }

std::string Utf16Bytes(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) Put16(out, c);
    Put16(out, 0);
    return out;
}

// One node of a version resource: length, value length (in words for a
// text value), type, key, the value and the children, each 4-byte aligned.
std::string Node(const std::u16string& key, const std::string& value, uint32_t valueLength, bool text,
                 const std::string& children) {
    std::string out(6, '\0');
    out += Utf16Bytes(key);
    Pad4(out);
    out += value;
    Pad4(out);
    out += children;
    out[0] = static_cast<char>(out.size() & 0xFF);
    out[1] = static_cast<char>(out.size() >> 8);
    out[2] = static_cast<char>(valueLength & 0xFF);
    out[3] = static_cast<char>(valueLength >> 8);
    out[4] = text ? 1 : 0;
    return out;
}

std::u16string Ascii16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::string XmlEscape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

}  // namespace

std::string VersionResource(const TBrandVersion& v, const std::vector<uint16_t>& languages) {
    std::string fixed;
    Put32(fixed, 0xFEEF04BD);  // signature
    Put32(fixed, 0x00010000);  // structure version
    Put32(fixed, uint32_t{v.FileVersion[0]} << 16 | v.FileVersion[1]);
    Put32(fixed, uint32_t{v.FileVersion[2]} << 16 | v.FileVersion[3]);
    Put32(fixed, uint32_t{v.ProductVersion[0]} << 16 | v.ProductVersion[1]);
    Put32(fixed, uint32_t{v.ProductVersion[2]} << 16 | v.ProductVersion[3]);
    Put32(fixed, 0x3F);     // flags mask
    Put32(fixed, 0);        // flags
    Put32(fixed, 0x40004);  // VOS_NT_WINDOWS32
    Put32(fixed, 1);        // VFT_APP
    Put32(fixed, 0);
    Put32(fixed, 0);
    Put32(fixed, 0);
    std::string strings;
    for (const auto& [key, value] : v.Strings) {
        Pad4(strings);
        strings += Node(Ascii16(key), Utf16Bytes(value), static_cast<uint32_t>(value.size() + 1), true, "");
    }
    std::string tables, translation;
    for (uint16_t language : languages.empty() ? std::vector<uint16_t>{0x0409} : languages) {
        char key[9];
        std::snprintf(key, sizeof key, "%04X04B0", language);  // the language, Unicode
        Pad4(tables);
        tables += Node(Ascii16(key), "", 0, true, strings);
        Put16(translation, language);
        Put16(translation, 1200);
    }
    std::string children = Node(u"StringFileInfo", "", 0, true, tables);
    Pad4(children);
    children += Node(u"VarFileInfo", "", 0, true, Node(u"Translation", translation, static_cast<uint32_t>(translation.size()), false, ""));
    return Node(u"VS_VERSION_INFO", fixed, static_cast<uint32_t>(fixed.size()), false, children);
}

namespace {

// Searches the nodes at data[begin, end) and below for key; bounded by the
// lengths each node states, which are checked.
std::u16string FindString(const std::string& data, size_t begin, size_t end, const std::u16string& key,
                          int depth) {
    auto at = [&](size_t o) { return LoadLE16(reinterpret_cast<const unsigned char*>(data.data()) + o); };
    for (size_t pos = begin; depth < 5 && pos + 6 <= end;) {
        size_t length = at(pos), valueLength = at(pos + 2);
        if (length < 6 || length > end - pos) return {};
        std::u16string name;
        size_t p = pos + 6;
        for (; p + 2 <= pos + length && at(p) != 0; p += 2) name += static_cast<char16_t>(at(p));
        p = (p + 2 + 3) & ~size_t{3};
        bool isText = at(pos + 4) == 1;
        size_t valueBytes = isText ? valueLength * 2 : valueLength;
        if (name == key && isText && p + valueBytes <= pos + length) {
            std::u16string value;
            for (size_t q = p; q + 2 <= p + valueBytes && at(q) != 0; q += 2)
                value += static_cast<char16_t>(at(q));
            return value;
        }
        size_t children = (p + valueBytes + 3) & ~size_t{3};
        if (children < pos + length) {
            std::u16string found = FindString(data, children, pos + length, key, depth + 1);
            if (!found.empty()) return found;
        }
        pos = (pos + length + 3) & ~size_t{3};
    }
    return {};
}

}  // namespace

std::u16string VersionString(const std::string& resource, const std::u16string& key) {
    return FindString(resource, 0, resource.size(), key, 0);
}

namespace {

// The stub's manifest is edited where its assembly element ends; every
// element q7pack replaces must lie whole in front of that end.
class ManifestEditor {
public:
    explicit ManifestEditor(std::string manifest) : text_(std::move(manifest)) {}

    // Removes the element from open to close (and the blanks and line
    // break around it) when the manifest has one.
    void Remove(const std::string& open, const std::string& close) {
        size_t b = text_.find(open);
        if (b == std::string::npos) return;
        size_t e = text_.find(close, b);
        if (b > End() || e == std::string::npos || e + close.size() > End())
            throw EPeFormat("its manifest cannot be edited: " + open + " is not closed by " + close +
                            " before </assembly>");
        e += close.size();
        while (b > 0 && text_[b - 1] == ' ') --b;
        if (e < text_.size() && text_[e] == '\n') ++e;
        text_.erase(b, e - b);
    }
    // Inserts text right behind the assembly's identity, or at its end.
    void InsertBehindIdentity(const std::string& text) {
        size_t identity = text_.find("<assemblyIdentity");
        size_t at = identity == std::string::npos ? std::string::npos : text_.find("/>", identity);
        if (at == std::string::npos || at > End()) return InsertAtEnd(text);
        // Behind its line where the identity ends one, else right behind it
        // (the stub's manifest is one line; a later element's line break
        // must not take the text into that element).
        at += 2;
        text_.insert(at < text_.size() && text_[at] == '\n' ? at + 1 : at, text);
    }
    void InsertAtEnd(const std::string& text) { text_.insert(End(), text); }
    const std::string& Text() const { return text_; }

private:
    size_t End() const { return text_.rfind("</assembly>"); }

    std::string text_;
};

}  // namespace

std::string EditManifest(std::string manifest, const std::optional<std::string>& description,
                         const std::optional<std::string>& executionLevel) {
    if (manifest.find("</assembly>") == std::string::npos)
        manifest =
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
            "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n</assembly>\n";
    ManifestEditor editor(std::move(manifest));
    if (description) {
        editor.Remove("<description>", "</description>");
        editor.InsertBehindIdentity("  <description>" + XmlEscape(*description) + "</description>\n");
    }
    if (executionLevel) {
        editor.Remove("<trustInfo", "</trustInfo>");
        editor.InsertAtEnd(
            "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">\n"
            "    <security>\n"
            "      <requestedPrivileges>\n"
            "        <requestedExecutionLevel level=\"" +
            *executionLevel +
            "\" uiAccess=\"false\"/>\n"
            "      </requestedPrivileges>\n"
            "    </security>\n"
            "  </trustInfo>\n");
    }
    return editor.Text();
}

std::string WithUtf8CodePage(std::string manifest) {
    static const char kElement[] =
        "<activeCodePage xmlns=\"http://schemas.microsoft.com/SMI/2019/WindowsSettings\">UTF-8</activeCodePage>";
    if (manifest.find("<activeCodePage") != std::string::npos) return manifest;
    if (manifest.find("</assembly>") == std::string::npos) manifest = EditManifest(manifest, std::nullopt, std::nullopt);
    size_t settings = manifest.find("<windowsSettings>");
    if (settings != std::string::npos) return manifest.insert(settings + 17, std::string("\n      ") + kElement);
    return manifest.insert(manifest.rfind("</assembly>"), std::string("  <application xmlns=\"urn:schemas-microsoft-com:asm.v3\">\n"
                                                                      "    <windowsSettings>\n      ") +
                                                          kElement + "\n    </windowsSettings>\n  </application>\n");
}
