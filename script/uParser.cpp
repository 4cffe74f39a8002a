#include "script/uParser.h"

#include <algorithm>
#include <cstring>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }

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

TToken TParser::Failed(const char* at, std::string message) {
    Current = static_cast<size_t>(at - Text.c_str());
    ErrorText = std::move(message);
    return Token = tkError;
}

// Skips bytes 1 to 32 and comments; stops at the first byte of a token, at
// the NUL that ends the text, or at the opening of an unterminated comment
// (which Next then reports).
const char* TParser::SkipBlankAndComments(const char* p) {
    for (;;) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c >= 1 && c <= 32) {
            ++p;
        } else if (c == '/' && p[1] == '*') {
            const char* close = std::strstr(p + 2, "*/");
            if (!close) return p;
            p = close + 2;
        } else if (c == '/' && p[1] == '/') {
            p += 2;
            while (*p && *p != '\r' && *p != '\n') ++p;
        } else {
            return p;
        }
    }
}

TToken TParser::Next() {
    TokenText = {};
    if (!ErrorText.empty()) ErrorText.clear();
    const char* p = SkipBlankAndComments(Text.c_str() + Current);
    char c = *p;
    // The end token starts behind trailing blanks and comments, so errors
    // raised there point at the very end of the text.
    if (c == '\0') return Found(tkEnd, p, p);
    if (c == '/' && p[1] == '*') return Failed(p, "comment not terminated");
    if (IsLetter(c)) return ScanName(p);
    if (IsDigit(c) || c == '$') return ScanInteger(p);
    if (c == '"') return ScanString(p);
    return ScanOperator(p);
}

TToken TParser::ScanName(const char* p) {
    const char* end = p + 1;
    while (IsLetter(*end) || IsDigit(*end)) ++end;
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

TToken TParser::ScanOperator(const char* p) {
    // Each operator takes its longest form.
    bool eq = p[1] == '=';
    switch (p[0]) {
        case '!': return eq ? Found(tkNotEqual, p, p + 2) : Found(tkNot, p, p + 1);
        case '=': return eq ? Found(tkEqual, p, p + 2) : Found(tkAssign, p, p + 1);
        case '<': return eq ? Found(tkLessEqual, p, p + 2) : Found(tkLess, p, p + 1);
        case '>': return eq ? Found(tkGreaterEqual, p, p + 2) : Found(tkGreater, p, p + 1);
        case '+': return p[1] == '+' ? Found(tkIncrement, p, p + 2) : Found(tkPlus, p, p + 1);
        case '-': return p[1] == '-' ? Found(tkDecrement, p, p + 2) : Found(tkMinus, p, p + 1);
        case '*': return p[1] == '/' ? Failed(p, "nested comment") : Found(tkMultiply, p, p + 1);
        case '/': return Found(tkDivide, p, p + 1);
        case '%': return Found(tkModulo, p, p + 1);
        case '&': return Found(tkAnd, p, p + 1);
        case '|': return Found(tkOr, p, p + 1);
        case '^': return Found(tkXor, p, p + 1);
        case '(': return Found(tkOpenParen, p, p + 1);
        case ')': return Found(tkCloseParen, p, p + 1);
        case '{': return Found(tkOpenBrace, p, p + 1);
        case '}': return Found(tkCloseBrace, p, p + 1);
        case ',': return Found(tkComma, p, p + 1);
        case ';': return Found(tkSemicolon, p, p + 1);
        default: return Failed(p, std::string("invalid character: ") + p[0]);
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
