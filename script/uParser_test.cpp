#include "script/uParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char* const kNames[] = {"end", "error", "id", ",", ";", "=", "==", "<=", "<", ">=", ">",
                              "!=",  "(",     ")",  "int", "str", "{", "}", "&", "|", "^", "!",
                              "+",   "++",    "-",  "--",  "*",  "/", "%", "if", "else", "while", "return"};

// The token stream as one line: kinds, with the text of names, integers and
// strings in brackets; a lexical error ends it with its message.
std::string Tokens(std::string_view text) {
    TParser p;
    p.SetText(text);
    std::string out;
    for (;;) {
        TToken t = p.Next();
        if (!out.empty()) out += ' ';
        out += kNames[t];
        if (t == tkIdentifier || t == tkInteger || t == tkString) out += "[" + std::string(p.TokenText) + "]";
        if (t == tkError) out += "[" + p.ErrorText + "]";
        if (t == tkEnd || t == tkError) return out;
    }
}

TEST(Lexer, OperatorsTakeTheirLongestForm) {
    EXPECT_EQ(Tokens("a==b a=b a< =b"), "id[a] == id[b] id[a] = id[b] id[a] < = id[b] end");
    EXPECT_EQ(Tokens("a--b a- -b a+++b"), "id[a] -- id[b] id[a] - - id[b] id[a] ++ + id[b] end");
    EXPECT_EQ(Tokens("!= ! <= >= > % & | ^ ( ) { } , ; * /"),
              "!= ! <= >= > % & | ^ ( ) { } , ; * / end");
    EXPECT_EQ(Tokens("!!x"), "! ! id[x] end");
}

TEST(Lexer, NamesKeywordsAndIntegerLexemes) {
    EXPECT_EQ(Tokens("if else while return If WHILE Return _x9 elsewhere"),
              "if else while return id[If] id[WHILE] id[Return] id[_x9] id[elsewhere] end");
    EXPECT_EQ(Tokens("12ab 9x $ 0x 0X 0X1f $fFg 007 -5"),
              "int[12] id[ab] int[9] id[x] int[$] int[0x] int[0X] int[0X1f] int[$fF] id[g] int[007] - int[5] end");
}

TEST(Lexer, StringsKeepEveryByteAndEndOnTheLine) {
    EXPECT_EQ(Tokens("\"C:\\dir\\file.exe\" \"\" \"\xe1\xe8/*x*/\""),
              "str[C:\\dir\\file.exe] str[] str[\xe1\xe8/*x*/] end");
    TParser p;
    p.SetText("x = \"abc\ndef\"");
    EXPECT_FALSE(p.CheckText());
    EXPECT_EQ(p.ErrorText, "string not terminated");
    EXPECT_EQ(p.Position(), 4) << "at the opening quote";
    EXPECT_EQ(Tokens("\"abc\r\""), "error[string not terminated]");
    EXPECT_EQ(Tokens(std::string("\"ab\0c\"", 6)), "error[string not terminated]");
}

TEST(Lexer, CommentsAndBlanksAreSkipped) {
    EXPECT_EQ(Tokens(""), "end");
    EXPECT_EQ(Tokens(" \t\r\n\x01\x1f a // to the end"), "id[a] end");
    EXPECT_EQ(Tokens("a // x\r\nb /* \n * */ c /**/ d"), "id[a] id[b] id[c] id[d] end");
    EXPECT_EQ(Tokens("/* a /* b */ c */"), "id[c] error[nested comment]");
    EXPECT_EQ(Tokens("/*/ x"), "error[comment not terminated]");
    EXPECT_EQ(Tokens("/\xe1*/ x"), "/ error[invalid character: \xe1]");
    EXPECT_EQ(Tokens("// \xe1\xe8\n/* \xff */x"), "id[x] end");
}

TEST(Lexer, ErrorsStayAtTheOffendingLexeme) {
    TParser p;
    p.SetText("ab  /* never closed");
    EXPECT_EQ(p.Next(), tkIdentifier);
    EXPECT_EQ(p.Next(), tkError);
    EXPECT_EQ(p.ErrorText, "comment not terminated");
    EXPECT_EQ(p.Position(), 4);
    EXPECT_EQ(p.TokenPosition(), 0) << "the start of the last token found stays";
    EXPECT_EQ(p.Next(), tkError) << "scanning again reports the same error";
    EXPECT_EQ(p.Position(), 4);

    p.SetText("a */");
    EXPECT_FALSE(p.CheckText());
    EXPECT_EQ(p.ErrorText, "nested comment");
    EXPECT_EQ(p.Position(), 2);

    for (char c : std::string("#'.:?@[\\]`~\x7f\x80\xff")) {
        p.SetText(std::string("x ") + c);
        EXPECT_FALSE(p.CheckText());
        EXPECT_EQ(p.ErrorText, std::string("invalid character: ") + c);
        EXPECT_EQ(p.Position(), 2);
    }
}

TEST(Lexer, NulEndsTheTextAndTheEndRepeats) {
    TParser p;
    p.SetText(std::string("a\0#", 3));
    EXPECT_TRUE(p.CheckText());
    p.Reset();
    EXPECT_EQ(p.Next(), tkIdentifier);
    EXPECT_EQ(p.Next(), tkEnd);
    EXPECT_EQ(p.Next(), tkEnd);
    EXPECT_EQ(p.Position(), 1);
}

TEST(Lexer, TokenPositionsAndRewinding) {
    TParser p;
    p.SetText("  abc = 12;");
    EXPECT_EQ(p.Token, tkEnd);
    p.Next();
    EXPECT_EQ(p.TokenPosition(), 2);
    EXPECT_EQ(p.Position(), 5);
    p.Next();
    p.Next();
    EXPECT_EQ(p.TokenText, "12");
    p.SeekTo(6);
    EXPECT_EQ(p.Token, tkEnd);
    EXPECT_EQ(p.TokenPosition(), 0);
    EXPECT_EQ(p.Next(), tkAssign);
    p.SeekTo(1000);
    EXPECT_EQ(p.Position(), 11);
    EXPECT_EQ(p.Next(), tkEnd);
    p.SeekTo(-3);
    EXPECT_EQ(p.Position(), 0);
    p.SeekTo(0);
    EXPECT_EQ(p.Next(), tkIdentifier);
    EXPECT_EQ(p.TokenText, "abc");
}

TEST(Lexer, LineAndColumnCountFromOne) {
    TParser p;
    p.SetText("ab\r\ncd\n\tef");
    auto at = [&](int32_t offset) {
        p.SeekTo(offset);
        int32_t line, column;
        p.LineAndColumn(line, column);
        return std::to_string(line) + ":" + std::to_string(column);
    };
    EXPECT_EQ(at(0), "1:1");
    EXPECT_EQ(at(2), "1:3");
    EXPECT_EQ(at(3), "1:4") << "a carriage return belongs to the line it ends";
    EXPECT_EQ(at(4), "2:1");
    EXPECT_EQ(at(6), "2:3");
    EXPECT_EQ(at(9), "3:3") << "a tab is one column";
    p.SetText(std::string("a\0\nb", 4));
    EXPECT_EQ(at(4), "1:2") << "the walk stops at a NUL";
}

}  // namespace
