#pragma once
// The lexer of the control-script language. It scans one token at a time, on
// demand, straight from its private copy of the text; the evaluator rewinds it
// to run a loop body again. It knows characters, tokens and keywords, nothing
// of values or statements, and never raises: problems show as tkError.

#include <cstdint>
#include <string>
#include <string_view>

enum TToken : uint8_t {
    tkEnd,
    tkError,
    tkIdentifier,
    tkComma,
    tkSemicolon,
    tkAssign,
    tkEqual,
    tkLessEqual,
    tkLess,
    tkGreaterEqual,
    tkGreater,
    tkNotEqual,
    tkOpenParen,
    tkCloseParen,
    tkInteger,
    tkString,
    tkOpenBrace,
    tkCloseBrace,
    tkAnd,
    tkOr,
    tkXor,
    tkNot,
    tkPlus,
    tkIncrement,
    tkMinus,
    tkDecrement,
    tkMultiply,
    tkDivide,
    tkModulo,
    tkIf,
    tkElse,
    tkWhile,
    tkReturn,
};

class TParser {
public:
    TParser() = default;
    // TokenText points into Text, so a parser is never copied.
    TParser(const TParser&) = delete;
    TParser& operator=(const TParser&) = delete;

    // Takes a private copy of the text, then Reset. Precedes everything else.
    void SetText(std::string_view text);
    // Back to the start of the text with tkEnd as the current token.
    void Reset();
    // Scans the token that starts at Current; stores and returns its kind.
    TToken Next();
    int32_t Position() const { return static_cast<int32_t>(Current); }
    int32_t TokenPosition() const { return static_cast<int32_t>(TokenStart); }
    // Reset, then moves Current forward by offset (never past the end).
    void SeekTo(int32_t offset);
    // Scans the whole text; false with Token = tkError, ErrorText and
    // Position() at the offending lexeme when a lexical error is found.
    bool CheckText();
    // Line and column of Current, both counted from 1.
    void LineAndColumn(int32_t& line, int32_t& column) const;

    TToken Token = tkEnd;
    // Name of an identifier, whole lexeme of an integer, contents of a string;
    // empty otherwise. Points into Text and is valid until the next scan.
    std::string_view TokenText;
    std::string ErrorText;
    std::string Text;

private:
    TToken Found(TToken kind, const char* start, const char* end);
    [[gnu::cold, gnu::noinline]] TToken Failed(const char* at, std::string_view message,
                                               std::string_view detail = {});
    const char* SkipComment(const char* p);
    [[gnu::noinline]] TToken Scan(const char* p);
    TToken ScanString(const char* p);
    TToken ScanInteger(const char* p);
    TToken ScanName(const char* p);
    TToken ScanOperator(const char* p);

    size_t Current = 0;
    size_t TokenStart = 0;
};
