#include "script/uParser.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char* const kNames[] = {"end", "error", "id", ",",   ";",   "=", "==", "<=", "<",    ">=",    ">",
                              "!=",  "(",     ")",  "int", "str", "{", "}",  "&",  "|",    "^",     "!",
                              "+",   "++",    "-",  "--",  "*",   "/", "%",  "if", "else", "while", "return"};

// The token stream as one line: kinds, with the text of names, integers and
// strings in brackets; a lexical error ends it with its message and where
// the lexer stopped.
std::string Tokens(std::string_view text) {
    TParser p;
    p.SetText(text);
    std::string out;
    for (;;) {
        TToken t = p.Next();
        if (!out.empty()) out += ' ';
        out += kNames[t];
        if (t == tkIdentifier || t == tkInteger || t == tkString) out += "[" + std::string(p.TokenText) + "]";
        if (t == tkError) out += "[" + p.ErrorText + "]@" + std::to_string(p.Position());
        if (t == tkEnd || t == tkError) return out;
    }
}

TEST(Lexer, TokenStreams) {
    const struct {
        std::string text, tokens;
    } cases[] = {
        // Operators take their longest form.
        {"a==b a=b a< =b", "id[a] == id[b] id[a] = id[b] id[a] < = id[b] end"},
        {"a--b a- -b a+++b", "id[a] -- id[b] id[a] - - id[b] id[a] ++ + id[b] end"},
        {"!= ! <= >= > % & | ^ ( ) { } , ; * / !!x", "!= ! <= >= > % & | ^ ( ) { } , ; * / ! ! id[x] end"},
        // Keywords are lower case and whole; integers are lexemes only.
        {"if else while return If WHILE Return _x9 elsewhere",
         "if else while return id[If] id[WHILE] id[Return] id[_x9] id[elsewhere] end"},
        {"12ab 9x $ 0x 0X 0X1f $fFg 007 -5",
         "int[12] id[ab] int[9] id[x] int[$] int[0x] int[0X] int[0X1f] int[$fF] id[g] int[007] - int[5] end"},
        // Strings keep every byte and end on their line.
        {"\"C:\\dir\\file.exe\" \"\" \"\xe1\xe8/*x*/\"",
         "str[C:\\dir\\file.exe] str[] str[\xe1\xe8/*x*/] end"},
        {"x = \"abc\ndef\"", "id[x] = error[string not terminated]@4"},
        {"\"abc\r\"", "error[string not terminated]@0"},
        {std::string("\"ab\0c\"", 6), "error[string not terminated]@0"},
        // Blanks and comments are skipped; block comments do not nest.
        {"", "end"},
        {" \t\r\n\x01\x1f a // to the end", "id[a] end"},
        {"a // x\r\nb /* \n * */ c /**/ d", "id[a] id[b] id[c] id[d] end"},
        {"a // a lone CR ends it too\rb", "id[a] id[b] end"},
        {"// \xe1\xe8\n/* \xff */x", "id[x] end"},
        {"/* a /* b */ c */", "id[c] error[nested comment]@15"},
        {"a */", "id[a] error[nested comment]@2"},
        {"ab  /* never closed", "id[ab] error[comment not terminated]@4"},
        {"/*/ x", "error[comment not terminated]@0"},
        {"/\xe1*/ x", "/ error[invalid character: \xe1]@1"},
        // A NUL ends the text.
        {std::string("a\0#", 3), "id[a] end"},
    };
    for (const auto& c : cases) EXPECT_EQ(Tokens(c.text), c.tokens) << c.text;
    for (char c : std::string("#'.:?@[\\]`~\x7f\x80\xff"))
        EXPECT_EQ(Tokens(std::string("x ") + c), std::string("id[x] error[invalid character: ") + c + "]@2");
}

TEST(Lexer, AnErrorOrTheEndRepeatsAndKeepsThePositions) {
    TParser p;
    p.SetText("ab  /* never closed");
    p.Next();
    EXPECT_EQ(p.Next(), tkError);
    EXPECT_EQ(p.TokenPosition(), 0) << "the start of the last token found stays";
    EXPECT_EQ(p.Next(), tkError) << "scanning again reports the same error";
    EXPECT_EQ(p.Position(), 4);
    p.SetText(std::string("a\0#", 3));
    p.Next();
    EXPECT_EQ(p.Next(), tkEnd);
    EXPECT_EQ(p.Next(), tkEnd);
    EXPECT_EQ(p.Position(), 1);
}

TEST(Lexer, LineAndColumnCountFromOne) {
    TParser p;
    auto at = [&](int32_t offset) {
        p.SeekTo(offset);
        int32_t line, column;
        p.LineAndColumn(line, column);
        return std::to_string(line) + ":" + std::to_string(column);
    };
    p.SetText("ab\r\ncd\n\tef");
    // A carriage return belongs to the line it ends; a tab is one column.
    EXPECT_EQ(at(0) + " " + at(2) + " " + at(3) + " " + at(4) + " " + at(6) + " " + at(9),
              "1:1 1:3 1:4 2:1 2:3 3:3");
    p.SetText(std::string("a\0\nb", 4));
    EXPECT_EQ(at(4), "1:2") << "the walk stops at a NUL";
}

}  // namespace
