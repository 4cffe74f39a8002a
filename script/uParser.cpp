#include "script/uParser.h"

#include <algorithm>
#include <cstring>

namespace {

// What a byte starts: a one-byte token (its kind, below cFirstClass) or one
// of these classes. Next dispatches on the table, since it is the engine's
// innermost routine.
enum : uint8_t {
    cFirstClass = 64,
    cEnd = cFirstClass,
    cBlank,
    cName,
    cDigit,
    cDollar,
    cQuote,
    cSlash,
    cPair,  // ! = < > + - * : a one- or two-byte operator
    cInvalid,
};

struct TByteClasses {
    uint8_t Of[256];
    constexpr void Set(char c, uint8_t kind) { Of[static_cast<unsigned char>(c)] = kind; }
    constexpr TByteClasses() : Of() {
        for (int c = 0; c < 256; ++c) Of[c] = cInvalid;
        Of[0] = cEnd;
        for (int c = 1; c <= 32; ++c) Of[c] = cBlank;
        for (int c = 'a'; c <= 'z'; ++c) Of[c] = cName;
        for (int c = 'A'; c <= 'Z'; ++c) Of[c] = cName;
        Set('_', cName);
        for (int c = '0'; c <= '9'; ++c) Of[c] = cDigit;
        Set('$', cDollar);
        Set('"', cQuote);
        Set('/', cSlash);
        for (char c : {'!', '=', '<', '>', '+', '-', '*'}) Set(c, cPair);
        Set('%', tkModulo);
        Set('&', tkAnd);
        Set('(', tkOpenParen);
        Set(')', tkCloseParen);
        Set(',', tkComma);
        Set(';', tkSemicolon);
        Set('^', tkXor);
        Set('{', tkOpenBrace);
        Set('|', tkOr);
        Set('}', tkCloseBrace);
    }
};

constexpr TByteClasses kBytes;

uint8_t ClassOf(char c) { return kBytes.Of[static_cast<unsigned char>(c)]; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsNameByte(char c) { return ClassOf(c) == cName || ClassOf(c) == cDigit; }

// The one keyword a name may be, chosen by its first letter.
TToken KeywordOrName(std::string_view name) {
    switch (name[0]) {
        case 'e': return name == "else" ? tkElse : tkIdentifier;
        case 'i': return name == "if" ? tkIf : tkIdentifier;
        case 'r': return name == "return" ? tkReturn : tkIdentifier;
        case 'w': return name == "while" ? tkWhile : tkIdentifier;
        default: return tkIdentifier;
    }
}

}  // namespace

void TParser::SetText(std::string_view text) {
    Text.assign(text.data(), text.size());
    Reset();
}

void TParser::Reset() {
    Current = 0;
    TokenStart = 0;
    Token = tkEnd;
    TokenText = {};
    ErrorText.clear();
}

void TParser::SeekTo(int32_t offset) {
    Reset();
    if (offset > 0) Current = std::min(static_cast<size_t>(offset), Text.size());
}

TToken TParser::Found(TToken kind, const char* start, const char* end) {
    TokenStart = static_cast<size_t>(start - Text.c_str());
    Current = static_cast<size_t>(end - Text.c_str());
    return Token = kind;
}

TToken TParser::Failed(const char* at, std::string_view message, std::string_view detail) {
    Current = static_cast<size_t>(at - Text.c_str());
    ErrorText.assign(message.data(), message.size());
    ErrorText.append(detail.data(), detail.size());
    return Token = tkError;
}

// A comment that starts at p ('/*' or '//'): the byte behind it, or null
// when a block comment is not closed. Block comments do not nest.
const char* TParser::SkipComment(const char* p) {
    if (p[1] == '*') {
        const char* close = std::strstr(p + 2, "*/");
        return close ? close + 2 : nullptr;
    }
    p += 2;
    while (*p && *p != '\r' && *p != '\n') ++p;
    return p;
}

// The common case, blanks and a one-byte token, stays short; everything else
// goes on in Scan.
TToken TParser::Next() {
    TokenText = {};
    if (!ErrorText.empty()) ErrorText.clear();
    const char* p = Text.c_str() + Current;
    while (ClassOf(*p) == cBlank) ++p;
    uint8_t kind = ClassOf(*p);
    if (kind < cFirstClass) return Found(static_cast<TToken>(kind), p, p + 1);
    return Scan(p);
}

TToken TParser::Scan(const char* p) {
    uint8_t kind;
    for (;;) {
        kind = ClassOf(*p);
        if (kind == cBlank) {
            ++p;
            continue;
        }
        if (kind != cSlash || (p[1] != '*' && p[1] != '/')) break;
        const char* after = SkipComment(p);
        if (!after) return Failed(p, "comment not terminated");
        p = after;
    }
    if (kind < cFirstClass) return Found(static_cast<TToken>(kind), p, p + 1);
    switch (kind) {
        case cName: return ScanName(p);
        case cDigit:
        case cDollar: return ScanInteger(p);
        case cQuote: return ScanString(p);
        case cSlash: return Found(tkDivide, p, p + 1);
        case cPair: return ScanOperator(p);
        // The end token starts behind trailing blanks and comments, so errors
        // raised there point at the very end of the text.
        case cEnd: return Found(tkEnd, p, p);
        default: return Failed(p, "invalid character: ", std::string_view(p, 1));
    }
}

TToken TParser::ScanName(const char* p) {
    const char* end = p + 1;
    while (IsNameByte(*end)) ++end;
    std::string_view name(p, static_cast<size_t>(end - p));
    TToken kind = KeywordOrName(name);
    if (kind == tkIdentifier) TokenText = name;
    return Found(kind, p, end);
}

// The lexeme only; the evaluator converts and checks the value.
TToken TParser::ScanInteger(const char* p) {
    const char* end = p;
    if (*end == '$') {
        ++end;
        while (IsHexDigit(*end)) ++end;
    } else if (end[0] == '0' && (end[1] == 'x' || end[1] == 'X')) {
        end += 2;
        while (IsHexDigit(*end)) ++end;
    } else {
        while (IsDigit(*end)) ++end;
    }
    TokenText = std::string_view(p, static_cast<size_t>(end - p));
    return Found(tkInteger, p, end);
}

// No escapes: a backslash is an ordinary byte, so Windows paths read as typed.
TToken TParser::ScanString(const char* p) {
    const char* end = p + 1;
    while (*end != '"') {
        if (*end == '\0' || *end == '\r' || *end == '\n') return Failed(p, "string not terminated");
        ++end;
    }
    TokenText = std::string_view(p + 1, static_cast<size_t>(end - p - 1));
    return Found(tkString, p, end + 1);
}

// The operators with a one- and a two-byte form; the longest match wins.
TToken TParser::ScanOperator(const char* p) {
    bool eq = p[1] == '=';
    switch (p[0]) {
        case '!': return eq ? Found(tkNotEqual, p, p + 2) : Found(tkNot, p, p + 1);
        case '=': return eq ? Found(tkEqual, p, p + 2) : Found(tkAssign, p, p + 1);
        case '<': return eq ? Found(tkLessEqual, p, p + 2) : Found(tkLess, p, p + 1);
        case '>': return eq ? Found(tkGreaterEqual, p, p + 2) : Found(tkGreater, p, p + 1);
        case '+': return p[1] == '+' ? Found(tkIncrement, p, p + 2) : Found(tkPlus, p, p + 1);
        case '-': return p[1] == '-' ? Found(tkDecrement, p, p + 2) : Found(tkMinus, p, p + 1);
        default: return p[1] == '/' ? Failed(p, "nested comment") : Found(tkMultiply, p, p + 1);
    }
}

bool TParser::CheckText() {
    Reset();
    while (Next() != tkEnd)
        if (Token == tkError) return false;
    return true;
}

void TParser::LineAndColumn(int32_t& line, int32_t& column) const {
    line = 1;
    column = 1;
    for (size_t i = 0; i < Current && Text[i] != '\0'; ++i) {
        if (Text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
}
