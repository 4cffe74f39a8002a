// Whole runs, statements, errors, conversions and the handlers' view of the
// arguments. Expressions and calls are in uScriptExpr.cpp.

#include "script/uScript.h"

#include "system/uSystem.h"

bool TScript::Run(bool skip) {
    if (!Parser || !Memory) return false;
    try {
        Parser->Reset();
        ErrorText.clear();
        Result = ZeroValue;
        Parser->Next();
        while (Parser->Token != tkEnd && Parser->Token != tkError) Statement(skip);
        return true;
    } catch (const ExceptionError&) {
        return false;
    } catch (const ExceptionReturn&) {
        return true;
    }
}

bool TScript::CheckAndRun() {
    if (!Parser) return false;
    if (!Parser->CheckText()) {
        ErrorText = Parser->ErrorText;
        return false;
    }
    return Run(true) && Run(false);
}

void TScript::Error(std::string_view message) { Error(message, {}); }

void TScript::Error(std::string_view message, std::string_view detail) {
    ErrorText.assign(message.data(), message.size());
    ErrorText.append(detail.data(), detail.size());
    if (Parser) Parser->SeekTo(Parser->TokenPosition());
    throw ExceptionError();
}

void TScript::Expect(TToken token, const char* message) {
    if (Parser->Token != token) Error(message);
}

// statement -> ';' | block | name-operand | if | while | return
void TScript::Statement(bool skip) {
    TLevel level(*this);
    switch (Parser->Token) {
        case tkSemicolon: Parser->Next(); break;
        case tkOpenBrace: Block(skip); break;
        case tkIdentifier: {
            TValue dropped;
            Unary(skip, dropped);
            break;
        }
        case tkIf: IfStatement(skip); break;
        case tkWhile: WhileStatement(skip); break;
        case tkReturn: ReturnStatement(skip); break;
        default: Error("statement expected");
    }
}

// block -> '{' { ';' | statement } '}'
void TScript::Block(bool skip) {
    Parser->Next();
    for (;;) {
        TToken t = Parser->Token;
        if (t == tkEnd) Error("} expected");
        if (t == tkCloseBrace) break;
        if (t == tkSemicolon)
            Parser->Next();
        else
            Statement(skip);
    }
    Parser->Next();
}

// The condition of if and while: expression ')', tested as an integer; it
// never holds while skipping. Leaves the parser behind the ')'.
bool TScript::Condition(bool skip) {
    TValue value;
    Expression(skip, value);
    Expect(tkCloseParen, ") expected");
    bool holds = !skip && ValueToInteger(value) != 0;
    Parser->Next();
    return holds;
}

// if -> 'if' '(' condition statement [ [';'] 'else' statement ]
void TScript::IfStatement(bool skip) {
    Parser->Next();
    Expect(tkOpenParen, "( expected");
    Parser->Next();
    bool holds = Condition(skip);
    Statement(skip || !holds);
    if (Parser->Token == tkSemicolon) {
        // One ';' between the first statement and its 'else' belongs to this
        // if ('if (0) a = 1; else a = 2;'); otherwise it stays for the caller.
        int32_t semicolon = Parser->TokenPosition();
        if (Parser->Next() != tkElse) {
            Parser->SeekTo(semicolon);
            Parser->Next();
        }
    }
    if (Parser->Token == tkElse) {
        Parser->Next();
        Statement(skip || holds);
    }
}

// while -> 'while' '(' condition statement; the lexer is rewound to the
// condition before every pass, which is scanned and evaluated afresh.
void TScript::WhileStatement(bool skip) {
    Parser->Next();
    Expect(tkOpenParen, "( expected");
    int32_t conditionStart = Parser->Position();
    for (;;) {
        Parser->Next();
        bool holds = Condition(skip);
        Statement(skip || !holds);
        if (!holds) return;
        Parser->SeekTo(conditionStart);
    }
}

// return -> 'return' [ expression ]. The value is built apart and stored
// at the end: a call in the expression may run the script again, and that
// nested run resets the shared Result when it starts.
void TScript::ReturnStatement(bool skip) {
    TToken t = Parser->Next();
    bool valued = t != tkSemicolon && t != tkCloseBrace && t != tkEnd;
    TValue value;
    if (valued) Expression(skip, value);
    if (skip) return;
    if (valued) Result = std::move(value);
    throw ExceptionReturn();
}

int32_t TScript::ValueToInteger(const TValue& value) {
    if (value.Kind == vkInteger) return value.Int;
    int32_t n = 0;
    if (!IntegerFromText(value.Str, n)) Error("cannot convert to integer: ", value.Str);
    return n;
}

std::string TScript::ValueToString(const TValue& value) {
    return value.Kind == vkInteger ? IntegerText(value.Int) : value.Str;
}

bool TScript::Arg(int32_t i, TValue& value) const {
    if (i < 1 || static_cast<int64_t>(ArgBase) + i > Stack.VariableCount()) return false;
    value = Stack.VariableAt(ArgBase + i - 1);
    return true;
}

int32_t TScript::ArgInt(int32_t i) {
    TValue value = ZeroValue;
    Arg(i, value);
    return ValueToInteger(value);
}

std::string TScript::ArgStr(int32_t i) const {
    TValue value = EmptyStringValue;
    Arg(i, value);
    return ValueToString(value);
}
