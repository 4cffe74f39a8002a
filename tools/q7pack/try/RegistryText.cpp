#include "tools/q7pack/try/RegistryText.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "system/text/uUtf8.h"
#include "tools/q7pack/common/PackError.h"

namespace {

// One line of a registry file, read from left to right; a fault names the
// file and the line.
class TLine {
public:
    TLine(const std::string& text, const std::string& file, size_t number)
        : text_(text), file_(file), number_(number) {}

    bool AtEnd() const { return at_ >= text_.size(); }
    char Peek() const { return AtEnd() ? '\0' : text_[at_]; }
    bool Take(const std::string& word) {
        if (text_.compare(at_, word.size(), word) != 0) return false;
        at_ += word.size();
        return true;
    }
    void Expect(const std::string& word) {
        if (!Take(word)) Fail("'" + word + "' expected");
    }
    [[noreturn]] void Fail(const std::string& what) const {
        throw PackError(file_, std::to_string(number_) + ": " + what + " (not a Wine registry file?)");
    }

    // A hex number of at most digits digits; at least one is needed.
    uint32_t Hex(size_t digits) {
        uint32_t value = 0;
        size_t n = 0;
        for (int digit; n < digits && (digit = HexDigit(Peek())) >= 0; ++n, ++at_)
            value = value * 16 + static_cast<uint32_t>(digit);
        if (n == 0) Fail("hex digit expected");
        return value;
    }

    // Text up to the unescaped end character, as UTF-16 code units: Wine
    // writes \x with up to four hex digits, \ with up to three octal ones,
    // the C letter escapes, and a backslash before anything else that
    // stands for itself.
    std::u16string String(char end) {
        std::u16string out;
        while (!AtEnd() && Peek() != end) {
            if (Peek() != '\\') {
                int32_t cp = NextUtf8(text_, at_);
                if (cp < 0) Fail("text that is not UTF-8");
                AppendUnit(out, static_cast<uint32_t>(cp));
                continue;
            }
            ++at_;
            out += Escaped();
        }
        Expect(std::string(1, end));
        return out;
    }

private:
    static int HexDigit(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    static void AppendUnit(std::u16string& out, uint32_t cp) {
        if (cp < 0x10000) {
            out += static_cast<char16_t>(cp);
            return;
        }
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }

    char16_t Escaped() {
        static const std::string kLetters = "abtnvfre", kCodes = "\a\b\t\n\v\f\r\x1b";
        char c = Peek();
        if (AtEnd()) Fail("escape at the end of the line");
        if (c == 'x') {
            ++at_;
            return static_cast<char16_t>(Hex(4));
        }
        if (c >= '0' && c <= '7') {
            uint32_t value = 0;
            for (size_t n = 0; n < 3 && Peek() >= '0' && Peek() <= '7'; ++n)
                value = value * 8 + (text_[at_++] - '0');
            return static_cast<char16_t>(value);
        }
        ++at_;
        size_t letter = kLetters.find(c);
        return static_cast<char16_t>(letter == std::string::npos ? static_cast<unsigned char>(c)
                                                                 : kCodes[letter]);
    }

    const std::string& text_;
    const std::string& file_;
    size_t number_;
    size_t at_ = 0;
};

// UTF-16 code units as little-endian bytes, with the terminating NUL the
// registry keeps.
std::string Utf16Bytes(const std::u16string& text) {
    std::string out;
    for (char16_t unit : text) {
        out += static_cast<char>(unit & 0xFF);
        out += static_cast<char>(unit >> 8);
    }
    return out.append(2, '\0');
}

// The data behind "name"=: a string, str(N):"...", dword:X, hex:... or hex(N):...
TRegValue ValueData(TLine& line) {
    TRegValue value;
    if (line.Take("\"")) return {kRegSz, Utf16Bytes(line.String('"'))};
    if (line.Take("str(")) {
        value.Type = line.Hex(8);
        line.Expect("):\"");
        value.Data = Utf16Bytes(line.String('"'));
        return value;
    }
    if (line.Take("dword:")) {
        uint32_t n = line.Hex(8);
        for (int shift = 0; shift < 32; shift += 8) value.Data += static_cast<char>((n >> shift) & 0xFF);
        value.Type = kRegDword;
        return value;
    }
    line.Expect("hex");
    value.Type = kRegBinary;
    if (line.Take("(")) {
        value.Type = line.Hex(8);
        line.Expect(")");
    }
    line.Expect(":");
    while (!line.AtEnd()) {
        value.Data += static_cast<char>(line.Hex(2));
        if (!line.AtEnd()) line.Expect(",");
    }
    return value;
}

// The lines of text, a line that ends in '\' joined with the next one (Wine
// wraps long hex data so), carriage returns dropped.
template <typename Each>
void ForEachLine(const std::string& text, Each each) {
    std::string joined;
    size_t number = 0, first = 0;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? text.size() : end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (joined.empty())
            first = number;
        else
            line.erase(0, line.find_first_not_of(" \t"));
        joined += line;
        if (!joined.empty() && joined.back() == '\\' && at < text.size()) {
            joined.pop_back();
            continue;
        }
        each(joined, first);
        joined.clear();
    }
}

std::u16string Units(const std::string& bytes) {
    std::u16string units;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                       static_cast<unsigned char>(bytes[i + 1]) << 8);
    return units;
}

}  // namespace

bool TPathLess::operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto rank = [](char c) { return c == '\\' ? 0 : static_cast<unsigned char>(c) + 1; };
        return rank(x) < rank(y);
    });
}

void ReadRegistryText(const std::string& text, const std::string& root, const std::string& file,
                      TRegistry& registry) {
    TRegValues* key = nullptr;
    ForEachLine(text, [&](const std::string& text, size_t number) {
        TLine line(text, file, number);
        if (line.AtEnd() || line.Peek() == ';' || line.Peek() == '#' || line.Take("WINE REGISTRY Version 2"))
            return;
        if (line.Take("[")) {
            std::string path = root + "\\" + Utf16ToUtf8(line.String(']'));
            key = &registry[path];
            // Wine leaves out a key that holds only keys: its keys hold it.
            for (size_t cut; (cut = path.rfind('\\')) != std::string::npos && cut > root.size();)
                if (!registry.emplace(path = path.substr(0, cut), TRegValues()).second) break;
            return;
        }
        if (!key) line.Fail("a value outside a key");
        std::string name = line.Take("@") ? "" : (line.Expect("\""), Utf16ToUtf8(line.String('"')));
        line.Expect("=");
        (*key)[name] = ValueData(line);
    });
}

std::vector<std::string> RegTexts(const TRegValue& value) {
    if (value.Type != kRegSz && value.Type != kRegExpandSz && value.Type != kRegMultiSz) return {};
    std::u16string units = Units(value.Data);
    if (!units.empty() && units.back() == u'\0') units.pop_back();
    if (value.Type != kRegMultiSz) return {Utf16ToUtf8(units.substr(0, units.find(u'\0')))};
    if (!units.empty() && units.back() == u'\0') units.pop_back();
    std::vector<std::string> texts;
    for (size_t at = 0, end; !units.empty() && at <= units.size(); at = end + 1) {
        end = std::min(units.find(u'\0', at), units.size());
        texts.push_back(Utf16ToUtf8(units.substr(at, end - at)));
    }
    return texts;
}
